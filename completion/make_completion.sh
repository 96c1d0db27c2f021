#!/usr/bin/env bash
# Writes the bash completion of a program from the program's own option table, which it
# prints with the hidden --options-table and from which its --help is written (the batch,
# a script, has its --help only), so that Tab offers exactly the commands and options
# --help lists (and the manual, which the man_pages test holds to --help): none can drift
# from the others. After an option, its value: a file of the table's pattern, one of its
# words, or nothing to offer for a number or a time. From a help text, FILE, PATH and
# OUT.* take a file, DIR a directory, others are typed. A program's operands take the
# files given in its line of the table below, a command's those its usage line names
# (see operand_action).
#   usage: make_completion.sh PROGRAM OUT
#          make_completion.sh --options PROGRAM [COMMAND]
# shellcheck disable=SC2016 # the lines written are bash code, expanded when it runs
set -euo pipefail
program=$1 out=$2
name=${program##*/}

# The operands of each program: the extended glob of the files offered ("" for any
# file; "-" for none).
operand_files() {
  case $1 in
    conv2model) echo - ;;
    conv2model-prepare) echo '@(grib|grib1|grib2|grb|grb1|grb2|GRIB|GRB|grib2.*|nc|nc4|NC|cdf|netcdf)' ;;
    *) echo "" ;;
  esac
}

# The options of a help text on standard input, one "OPTION PLACEHOLDER" line each (no
# placeholder for a flag): "-j, --jobs N" gives "-j N" and "--jobs N".
options_of() {
  grep -E '^ {1,8}-' | sed -E 's/^ +//; s/ {2,}.*//' | while read -r line; do
    local placeholder=""
    case $line in *" "[A-Z]*) placeholder=${line##* } line=${line% *} ;; esac
    local IFS=,
    for o in $line; do
      o=${o# }
      echo "$o${placeholder:+ $placeholder}"
    done
  done
}

# The commands of a help text on standard input.
commands_of() {
  sed -n '/^Commands:/,/^$/p' | sed -n 's/^  \([a-z][a-z0-9-]*\) .*/\1/p'
}

# The options of the program's COMMAND ("" for the program itself), one "OPTION KIND
# VALUES" line each, tab-separated: from its option table where it prints one, else
# from its help (KIND file, dir, word or none; no VALUES).
table_of() {
  local command=$1 table
  # The program's own table holds every command's, each line naming its command.
  if table=$("$program" --options-table </dev/null 2>/dev/null) &&
    [ -n "$table" ]; then
    # COMMAND LONG SHORT KIND VALUE_NAME VALUES HELP
    awk -F'\t' -v c="$command" -v OFS='\t' '$1 == c {
      if ($2 != "") print $2, $4, $6
      if ($3 != "") print $3, $4, $6 }' <<<"$table"
    return
  fi
  "$program" ${command:+"$command"} --help </dev/null | options_of | while read -r o p; do
    case $p in
      "") printf '%s\tnone\t\n' "$o" ;;
      DIR) printf '%s\tdir\t\n' "$o" ;;
      FILE | PATH | OUT.*) printf '%s\tfile\t\n' "$o" ;;
      *) printf '%s\tword\t\n' "$o" ;;
    esac
  done
}

# The case arms of one option table (on standard input): what goes after each option
# that takes a value.
value_arms() {
  local o kind values action
  while IFS=$'\t' read -r o kind values; do
    case $kind in
      none) continue ;;
      dir) action="_filedir -d" ;;
      file) action="_filedir${values:+ '${values#\*.}'}" ;;
      word) action="${values:+COMPREPLY=(\$(compgen -W \"$values\" -- \"\$cur\"))}" ;;
      *) action="" ;;
    esac
    echo "    $o) ${action:+$action; }return ;;"
  done
}

words_of() { awk '{ print $1 }' | paste -sd ' '; }

# What completes an operand named PLACEHOLDER in a command's usage line: a work file
# (WORKFILE, or the A and B compared), an output of the extension it names (OUT.png),
# nothing for a value typed (FIELD, LEVEL).
operand_action() {
  case $1 in
    WORKFILE | A | B) echo "_filedir ORUwrk" ;;
    OUT.*) echo "_filedir ${1#OUT.}" ;;
    *) echo ":" ;;
  esac
}

# The case arms that complete a command's operands by their position, from its usage
# line on standard input ("Usage: PROGRAM COMMAND [OPTION]... WORKFILE OUT.nc"); an
# optional operand ([LEVEL]) is typed, and the operands after it are counted as if it
# were not there. Past the last, the last one's action.
operand_arms() {
  local usage n=0 action=":" word
  usage=$(sed -n 's/^Usage: [^ ]* [^ ]* //p' | head -1)
  for word in $usage; do
    case $word in \[* | *...) continue ;; esac
    action=$(operand_action "$word")
    echo "        $n) $action ;;"
    n=$((n + 1))
  done
  echo "        *) $action ;;"
}

# The options of a table (standard input) that take a value.
value_options() { awk -F'\t' '$2 != "none" { print $1 }' | paste -sd '|'; }

# --options PROGRAM [COMMAND]: the options as read from the table, "OPTION KIND VALUES"
# a line, for the test that holds them to what the program's parser accepts.
if [ "$program" = --options ]; then
  program=$out
  table_of "${3-}"
  exit
fi

help=$("$program" --help </dev/null)
commands=$(commands_of <<<"$help" | paste -sd ' ')
function_name=_$(tr -c 'a-zA-Z0-9\n' _ <<<"$name")
files=$(operand_files "$name")
operands=$(case $files in -) echo "return" ;; "") echo "_filedir" ;; *) echo "_filedir '$files'" ;; esac)

{
  echo "# bash completion for $name, written by the build from '$name --help'; do not edit."
  echo "$function_name() {"
  echo '  local cur prev words cword'
  echo '  _init_completion || return'
  if [ -n "$commands" ]; then
    echo '  local command="" i'
    echo '  for ((i = 1; i < cword; i++)); do'
    echo '    case ${words[i]} in -*) ;; *) command=${words[i]}; break ;; esac'
    echo '  done'
    echo '  case $command in'
    echo "    \"\")"
    echo '      case $prev in'
    value_arms < <(table_of "") | sed 's/^/    /'
    echo '      esac'
    echo "      COMPREPLY=(\$(compgen -W \"$commands $(table_of "" | words_of)\" -- \"\$cur\"))"
    echo '      return ;;'
    for c in $commands; do
      command_help=$("$program" "$c" --help </dev/null)
      echo "    $c)"
      echo '      case $prev in'
      value_arms < <(table_of "$c") | sed 's/^/    /'
      echo '      esac'
      echo "      [[ \$cur == -* ]] && COMPREPLY=(\$(compgen -W \"$(table_of "$c" | words_of)\" -- \"\$cur\")) && return"
      values=$(table_of "$c" | value_options)
      echo '      local n=0 j'
      echo '      for ((j = i + 1; j < cword; j++)); do'
      echo '        case ${words[j]} in'
      [ -z "$values" ] || echo "          $values) ((j++)) ;;"
      echo '          -*) ;;'
      echo '          *) ((n++)) ;;'
      echo '        esac'
      echo '      done'
      echo '      case $n in'
      operand_arms <<<"$command_help"
      echo '      esac'
      echo '      return ;;'
    done
    echo '    *) return ;;'
    echo '  esac'
  else
    echo '  case $prev in'
    value_arms < <(table_of "")
    echo '  esac'
    echo "  [[ \$cur == -* ]] && COMPREPLY=(\$(compgen -W \"$(table_of "" | words_of)\" -- \"\$cur\")) && return"
    echo "  $operands"
  fi
  echo '} &&'
  echo "  complete -F $function_name $name"
} >"$out.tmp"
mv "$out.tmp" "$out"
