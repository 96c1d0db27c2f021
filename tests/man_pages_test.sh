#!/usr/bin/env bash
# Every program's manual page and its --help name the same options, and for a program
# with commands the same commands: an option or command that one of them lists and the
# other does not is a failure, named with the program and the side it is missing from.
#   usage: man_pages_test.sh MAN_DIR BIN_DIR PROGRAM...
# The help's options are the lines that begin (after up to eight blanks) with a dash;
# its commands, the lines of its "Commands:" block. The page's options are those in the
# tags of its .TP/.TQ paragraphs; its commands, the first word of each tag of its
# COMMANDS section. A program with commands has each command's --help read too.
set -euo pipefail

# Options defined by a help text on standard input, one per line.
help_options() {
  grep -E '^ {1,8}-' | sed -E 's/^ +//' |
    grep -oE '^(-[A-Za-z0-9](, )?)?(--[a-z0-9][a-z0-9-]*)?' | tr ',' '\n' | tr -d ' ' |
    grep -E '^-' || true
}

# Commands listed by a help text on standard input, one per line.
help_commands() {
  sed -n '/^Commands:/,/^$/p' | sed -n 's/^  \([a-z][a-z0-9-]*\) .*/\1/p'
}

# The tag lines of a page's tagged paragraphs, from the lines after .TP or .TQ.
page_tags() {
  local page=$1
  awk 'tag { print; tag = 0; next } /^\.(TP|TQ)/ { tag = 1 }' "$page"
}

# Options in the tags of a manual page, one per line.
page_options() {
  local page=$1
  page_tags "$page" |
    grep -oE '\\-\\-[a-z0-9]([a-z0-9-]|\\-)*|\\-[A-Za-z0-9]([^A-Za-z0-9-]|$)' |
    sed -E 's/\\-/-/g; s/^(-[A-Za-z0-9]).*/\1/; s/^(--[a-z0-9-]+).*/\1/' || true
}

# Commands of a manual page: the first word of each tag in its COMMANDS section.
page_commands() {
  local page=$1
  awk '/^\.SH/ { inside = ($0 ~ /COMMANDS/) } inside' "$page" |
    awk 'tag { print; tag = 0; next } /^\.(TP|TQ)/ { tag = 1 }' |
    sed -E 's/^\.[A-Z]+ +//; s/\\f[A-Z]//g; s/"//g' | awk '{ print $1 }'
}

# Lines of the first list that are not in the second, both as files.
missing_from() {
  local from=$1 in=$2
  comm -23 <(sort -u "$from") <(sort -u "$in")
}

fails=0
report() { # report PROGRAM KIND SIDE NAME...
  local program=$1 kind=$2 side=$3
  shift 3
  local name
  for name in "$@"; do
    echo "FAIL $program: $kind $name $side"
    fails=$((fails + 1))
  done
}

check_program() {
  local man_dir=$1 bin=$2 program=$3
  local page=$man_dir/$program.1 work
  work=$(mktemp -d)
  if [[ ! -f $page ]]; then
    echo "FAIL $program: no manual page $page"
    fails=$((fails + 1))
    return
  fi
  "$bin/$program" --help >"$work/help" </dev/null
  help_commands <"$work/help" >"$work/help_commands"
  local command
  while read -r command; do
    "$bin/$program" "$command" --help >>"$work/help" </dev/null
  done <"$work/help_commands"
  help_options <"$work/help" >"$work/help_options"
  page_options "$page" >"$work/page_options"
  page_commands "$page" >"$work/page_commands"
  if [[ ! -s $work/help_options ]]; then
    echo "FAIL $program: --help lists no option (is its layout still read right?)"
    fails=$((fails + 1))
  fi
  mapfile -t lost < <(missing_from "$work/help_options" "$work/page_options")
  report "$program" option "in --help, not in $program.1" "${lost[@]}"
  mapfile -t lost < <(missing_from "$work/page_options" "$work/help_options")
  report "$program" option "in $program.1, not in --help" "${lost[@]}"
  mapfile -t lost < <(missing_from "$work/help_commands" "$work/page_commands")
  report "$program" command "in --help, not in $program.1" "${lost[@]}"
  mapfile -t lost < <(missing_from "$work/page_commands" "$work/help_commands")
  report "$program" command "in $program.1, not in --help" "${lost[@]}"
  echo "checked $program: $(sort -u "$work/help_options" | wc -l) options," \
    "$(wc -l <"$work/help_commands") commands"
  rm -rf "$work"
}

main() {
  local man_dir=$1 bin=$2
  shift 2
  local program
  for program in "$@"; do check_program "$man_dir" "$bin" "$program"; done
  if ((fails > 0)); then
    echo "$fails differences between manual pages and --help"
    exit 1
  fi
}

main "$@"
