# Shared by the packaging tests: failures are counted, the script ends with their number.
export LC_ALL=C.UTF-8
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# The first column of one section ("Options:", "Positionals:", "Subcommands:") of CLI11's --help.
help_section() {
  awk -v s="$1" '$0 == s { on = 1; next } /^$/ { on = 0 } on && /^  [^ ]/ { print $1 }'
}

# The long options a --help text lists, one a line, sorted (--help itself left out).
help_options() {
  help_section "Options:" | tr ',' '\n' | grep '^--' | grep -vx -- --help | sort
}
