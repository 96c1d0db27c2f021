#!/usr/bin/env bash
# Writes the bash completion of a program from the program's own --help, and each of its
# commands' --help, so that Tab offers exactly the commands and options --help lists
# (and the manual, which the man_pages test holds to --help): none can drift from the
# others. What goes where a value or an operand goes is said by the help's placeholders:
# FILE, PATH and OUT.* take a file, DIR a directory, others (N, NAME, LIST) are typed;
# a program's operands take the files given in its line of the table below, a command's
# those its usage line names (see operand_action).
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

value_kind() {
  case $1 in
    DIR) echo dir ;;
    FILE | PATH | OUT.*) echo file ;;
    *) echo none ;;
  esac
}

# The case arms of one option list (on standard input): what goes after each option
# that takes a value.
value_arms() {
  local kinds="" o p
  declare -A by_kind=()
  while read -r o p; do
    [ -n "$p" ] || continue
    by_kind[$(value_kind "$p")]+="${by_kind[$(value_kind "$p")]:+|}$o"
  done
  [ -z "${by_kind[file]-}" ] || kinds+="    ${by_kind[file]}) _filedir; return ;;"$'\n'
  [ -z "${by_kind[dir]-}" ] || kinds+="    ${by_kind[dir]}) _filedir -d; return ;;"$'\n'
  [ -z "${by_kind[none]-}" ] || kinds+="    ${by_kind[none]}) return ;;"$'\n'
  printf '%s' "$kinds"
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

# The words of an option list (standard input) that take a value.
value_options() { awk 'NF == 2 { print $1 }' | paste -sd '|'; }

# --options PROGRAM [COMMAND]: the options as read from the help, "OPTION [PLACEHOLDER]"
# a line, for the test that holds them to what the program's parser accepts.
if [ "$program" = --options ]; then
  "$out" "${@:3}" --help </dev/null | options_of
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
    value_arms < <(options_of <<<"$help") | sed 's/^/    /'
    echo '      esac'
    echo "      COMPREPLY=(\$(compgen -W \"$commands $(options_of <<<"$help" | words_of)\" -- \"\$cur\"))"
    echo '      return ;;'
    for c in $commands; do
      command_help=$("$program" "$c" --help </dev/null)
      echo "    $c)"
      echo '      case $prev in'
      value_arms < <(options_of <<<"$command_help") | sed 's/^/    /'
      echo '      esac'
      echo "      [[ \$cur == -* ]] && COMPREPLY=(\$(compgen -W \"$(options_of <<<"$command_help" | words_of)\" -- \"\$cur\")) && return"
      values=$(options_of <<<"$command_help" | value_options)
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
    value_arms < <(options_of <<<"$help")
    echo '  esac'
    echo "  [[ \$cur == -* ]] && COMPREPLY=(\$(compgen -W \"$(options_of <<<"$help" | words_of)\" -- \"\$cur\")) && return"
    echo "  $operands"
  fi
  echo '} &&'
  echo "  complete -F $function_name $name"
} >"$out.tmp"
mv "$out.tmp" "$out"
