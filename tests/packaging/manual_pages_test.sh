#!/usr/bin/env bash
# The manual pages name exactly the commands, arguments, options, exit codes and environment variables
# that the programs' --help names, and render without a warning.
set -uo pipefail
pages=$1 cli=$2 gui=${3:-}
. "$(dirname "$0")/common.sh"

# "command:pos:NAME" and "command:opt:--name" lines of a manual page ("-" is the program itself):
# commands are the .SS headings of COMMANDS (the command, then its arguments in capitals), options
# the .TP items of OPTIONS and of each command.
man_entries() {
  sed 's/\\-/-/g; s/\\f[BIRP]//g' "$1" | awk '
    /^\.SH / { section = $2; command = "-"; next }
    section == "COMMANDS" && /^\.SS / {
      gsub(/"/, ""); command = $2
      for (i = 3; i <= NF; i++) print command ":pos:" $i
      next
    }
    /^\.TP/ { item = 1; next }
    item && (section == "OPTIONS" || section == "COMMANDS") {
      line = $0
      while (match(line, /--[a-z][a-z-]*/)) {
        print command ":opt:" substr(line, RSTART, RLENGTH); line = substr(line, RSTART + RLENGTH)
      }
    }
    { item = 0 }' | sort -u
}

# The same lines from kestrow-cli's --help and each command's --help.
help_entries() {
  "$cli" --help | help_section "Options:" | tr ',' '\n' | grep '^--' | sed 's/^/-:opt:/'
  for command in $("$cli" --help | help_section "Subcommands:"); do
    "$cli" "$command" --help >/tmp/help.$$ || fail "$command --help"
    help_section "Positionals:" </tmp/help.$$ | sed "s/^/$command:pos:/"
    help_options </tmp/help.$$ | sed "s/^/$command:opt:/"
  done
  rm -f /tmp/help.$$
}

# Sections' .TP items by their first word: exit codes and environment variables.
man_items() {
  sed 's/\\-/-/g; s/\\f[BIRP]//g' "$2" | awk -v s="$1" '/^\.SH / { on = ($2 == s); next }
    on && /^\.TP/ { item = 1; next } on && item { gsub(/"[^"]*"/, ""); for (i = 2; i <= NF; i++) print $i }
    { item = 0 }' | sort -u
}

for page in "$pages"/kestrow-cli.1 ${gui:+"$pages"/kestrow.1}; do
  warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
  [[ -z $warnings ]] || fail "$page renders with warnings: $warnings"
done

drift=$(diff <(help_entries | sort -u) <(man_entries "$pages/kestrow-cli.1"))
[[ -z $drift ]] || fail "kestrow-cli.1 and --help differ (< only in --help, > only in the page):"$'\n'"$drift"

codes=$("$cli" --help | grep '^Exit codes:' | grep -o '[0-9]\+' | sort -u)
drift=$(diff <(echo "$codes") <(man_items "EXIT" "$pages/kestrow-cli.1" | grep -x '[0-9]*'))
[[ -z $drift ]] || fail "exit codes of kestrow-cli.1 and --help differ:"$'\n'"$drift"

for command in "" $("$cli" --help | help_section "Subcommands:"); do
  "$cli" $command --help | grep -o 'KESTROW_[A-Z_]*'
done | sort -u | while read -r variable; do
  man_items ENVIRONMENT "$pages/kestrow-cli.1" | grep -qx "$variable" || echo "$variable"
done >/tmp/missing.$$
[[ ! -s /tmp/missing.$$ ]] || fail "kestrow-cli.1 leaves out $(cat /tmp/missing.$$)"
rm -f /tmp/missing.$$

if [[ -n $gui ]]; then
  usage=$("$gui" --help) || fail "kestrow --help"
  for word in $(grep -o -- '--[a-z-]*\|[A-Z_]\{4,\}' <<<"$usage" | grep -v KESTROW_); do
    man_entries "$pages/kestrow.1" | grep -q ":$word\$" ||
      sed 's/\\-/-/g; s/\\f[BIRP]//g' "$pages/kestrow.1" | grep -q "^\.I $word\$" || fail "kestrow.1 leaves out $word"
  done
  for option in $(man_entries "$pages/kestrow.1" | sed -n 's/^-:opt://p'); do
    "$gui" "$option" >/dev/null || fail "kestrow.1 lists $option, which kestrow refuses"
  done
  [[ $("$gui" --version) == "kestrow $("$cli" --version | cut -d' ' -f2)" ]] || fail "kestrow --version"
fi
exit $failures
