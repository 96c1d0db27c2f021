#!/usr/bin/env bash
# Every program's manual page and its --help name the same options, and for a program
# with commands the same commands: an option or command that one of them lists and the
# other does not is a failure, named with the program and the side it is missing from.
#   usage: man_pages_test.sh MAN_DIR BIN_DIR PROGRAM...
# The help's options are the lines that begin (after up to eight blanks) with a dash;
# its commands, the lines of its "Commands:" block. The page's options are those in the
# tags of its .TP/.TQ paragraphs; its commands, the first word of each tag of its
# COMMANDS section. A program with commands has each command's --help read too, and
# each option is checked for each command (see page_command_options).
set -euo pipefail

# help_options and help_commands: what a help text lists.
# shellcheck disable=SC1091
source "$(dirname "$0")/help_text.sh"

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

# For a program with commands, "COMMAND OPTION" for each option of the page's OPTIONS
# section and each command it is given for: the commands in the parentheses after its
# tag, such as '.RB ( netcdf ", " png )', or, without them, every command.
page_command_options() {
  local page=$1 commands=$2
  awk '/^\.SH/ { inside = ($0 ~ /OPTIONS/) } inside' "$page" |
    awk -v all="$commands" '
      function flush(   n, c, k, m, o, t) {
        n = split(which == "" ? all : which, c, " ")
        m = split(tags, o, " ")
        for (k = 1; k <= n; ++k) for (t = 1; t <= m; ++t) print c[k], o[t]
        tags = ""; which = ""
      }
      /^\.TP/ { flush(); expect = 1; next }
      /^\.TQ/ { expect = 1; next }
      /^\.SH/ { flush(); next }
      expect {
        expect = 0; line = $0
        gsub(/\\f[A-Z]/, "", line); gsub(/\\-/, "-", line); gsub(/[^-A-Za-z0-9]/, " ", line)
        n = split(line, w, " ")
        for (k = 1; k <= n; ++k)
          if (w[k] ~ /^--[a-z0-9][a-z0-9-]*$/ || w[k] ~ /^-[A-Za-z0-9]$/) tags = tags " " w[k]
        next
      }
      /^\.RB \(/ && which == "" { which = $0; gsub(/^\.RB \(|[",)]/, " ", which) }
      END { flush() }'
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
  : >"$work/help_pairs"
  while read -r command; do
    "$bin/$program" "$command" --help >"$work/command_help" </dev/null
    cat "$work/command_help" >>"$work/help"
    help_options <"$work/command_help" | sed "s/^/$command /" >>"$work/help_pairs"
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
  if [[ -s $work/help_commands ]]; then
    page_command_options "$page" "$(tr '\n' ' ' <"$work/help_commands")" >"$work/page_pairs"
    mapfile -t lost < <(missing_from "$work/help_pairs" "$work/page_pairs")
    report "$program" "command and option" "in --help, not in $program.1's OPTIONS" "${lost[@]}"
    mapfile -t lost < <(missing_from "$work/page_pairs" "$work/help_pairs")
    report "$program" "command and option" "in $program.1's OPTIONS, not in --help" "${lost[@]}"
  fi
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
