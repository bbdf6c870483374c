#!/usr/bin/env bash
# The bash completion of kestrow-cli: valid syntax, the commands and options --help lists, category
# names, and the indexes of the backups under the root the command line names.
set -uo pipefail
completion=$1 cli=$2 mkdemo=$3
. "$(dirname "$0")/common.sh"

bash -n "$completion" || fail "syntax of $completion"
. "$completion"

# The completions of the last word after `kestrow-cli WORDS...`, sorted, on one line.
complete_words() {
  COMP_WORDS=("$cli" "$@")
  COMP_CWORD=$#
  COMP_LINE="${COMP_WORDS[*]}"
  COMP_POINT=${#COMP_LINE}
  _kestrow_cli 2>/dev/null
  printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd' '
}
expect() {
  [[ $2 == "$3" ]] || fail "kestrow-cli $1<Tab>: '$2', expected '$3'"
}

expect "e" "$(complete_words e)" "export extract extract-all"
expect "" "$(complete_words '')" "$("$cli" --help | help_section "Subcommands:" | sort | paste -sd' ')"
expect "-" "$(complete_words -)" "--help --password-file --root --version"
for command in $("$cli" --help | help_section "Subcommands:"); do
  expected=$( (echo --help --root --password-file | tr ' ' '\n'; "$cli" "$command" --help | help_options) |
    sort | paste -sd' ')
  expect "$command 0 --" "$(complete_words "$command" 0 --)" "$expected"
done
expect "export 0 " "$(complete_words export 0 '')" \
  "calendar calls contacts files messages notes photos safari voicemail"
expect "search 0 --category n" "$(complete_words search 0 --category n)" "notes"
expect "timeline 0 --to 2024 --category m" "$(complete_words timeline 0 --to 2024 --category m)" "messages"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
"$mkdemo" "$root" >/dev/null || fail "kestrow-mkdemo"
indexes=$("$cli" --root "$root" list | cut -f1 | sort | paste -sd' ')
[[ -n $indexes ]] || fail "no demo backups listed"
expect "--root $root open " "$(complete_words --root "$root" open '')" "$indexes"
expect "extract-all 1 --root $root" "$(complete_words extract-all --root "$root" '')" "$indexes"
expect "open 0 " "$(complete_words --root "$root" open 0 '')" ""
exit $failures
