#!/usr/bin/env bash
# The bash completion of every program, as bash-completion runs it: the options Tab
# offers are those the program's --help lists (for each command of a program with
# commands, and the commands themselves; the man_pages test holds the manual pages to
# the same lists), and files are offered where a file goes: GRIB and NetCDF files for prepare, work files for inspect,
# directories for the batch's directory options, the choices of a word, nothing where a
# number goes.
#   usage: completion_test.sh BIN_DIR COMPLETION_DIR SCRATCH PROGRAM...
set -euo pipefail
bin=$(cd "$1" && pwd) completions=$(cd "$2" && pwd) scratch=$3
shift 3
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
loader=/usr/share/bash-completion/bash_completion
[ -f "$loader" ] || fail "bash-completion is not installed (tools/install_deps.sh tests)"

rm -rf "$scratch"
mkdir -p "$scratch/files/sub"
touch "$scratch"/files/{gfs.grib2,era5.nc,notes.txt,eu.bin,eu.bin.ORUwrk,eu.bin.ORUwrk.gdsinfo}

# complete PROGRAM WORD...: what Tab offers for the last WORD, one per line, sorted.
complete_words() {
  local program=$1
  shift
  (cd "$scratch/files" && bash --norc --noprofile -c '
    source "$1" && source "$2"
    shift 2
    COMP_WORDS=("$@") COMP_CWORD=$(($# - 1)) COMP_LINE="$*" COMP_POINT=${#COMP_LINE}
    registered=$(complete -p "$1") && fn=${registered##*-F } && fn=${fn%% *}
    "$fn" "$1" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    [ ${#COMPREPLY[@]} -eq 0 ] || printf "%s\n" "${COMPREPLY[@]}"' \
    _ "$loader" "$completions/$program" "$program" "$@" 2>/dev/null) | sort
}

# The options and commands of a help text, parsed as the man_pages test parses them,
# which holds the manual pages to the same lists.
# shellcheck disable=SC1091
source "$(dirname "$0")/../../tests/help_text.sh"

same() {
  local what=$1 expected=$2 found=$3
  [ "$expected" = "$found" ] || fail "$what:
$(diff <(echo "$expected") <(echo "$found"))"
}

for p in "$@"; do
  [ -f "$completions/$p" ] || fail "no completion for $p"
  help=$("$bin/$p" --help)
  commands=$(help_commands <<<"$help" | sort)
  if [ -z "$commands" ]; then
    same "$p: options offered vs --help" "$(help_options <<<"$help" | sort)" \
      "$(complete_words "$p" -)"
  else
    same "$p: commands offered vs --help" \
      "$(sort <<<"$commands"$'\n'"$(help_options <<<"$help")")" "$(complete_words "$p" "")"
    for c in $commands; do
      same "$p $c: options offered vs --help" \
        "$("$bin/$p" "$c" --help | help_options | sort)" "$(complete_words "$p" "$c" -)"
    done
  fi
done

# The options as the completion reads them (the table, or the batch's --help) are those
# the program's parser accepts, each taking a value exactly when the table says so: a flag
# before --help is accepted (status 0); an option with a value too, refused without its
# value (64), and it takes a --help after it for its value (so no help, status not 0);
# an option the program does not know is refused. Run in the scratch directory.
generator=$(dirname "$0")/../make_completion.sh
status_of() { (cd "$scratch" && timeout 60 "$@" </dev/null >/dev/null 2>&1) && echo 0 || echo $?; }
for p in "$@"; do
  commands=$(help_commands < <("$bin/$p" --help))
  for c in "" $commands; do
    args=(${c:+"$c"})
    [ "$(status_of "$bin/$p" "${args[@]}" --no-such-option --help)" = 64 ] ||
      fail "$p $c: an unknown option is not refused"
    while IFS=$'\t' read -r option kind _; do
      case $option in -h | --help | --version) continue ;; esac
      if [ "$kind" = none ]; then
        [ "$(status_of "$bin/$p" "${args[@]}" "$option" --help)" = 0 ] ||
          fail "$p $c: $option, a flag in --help, is not accepted as one"
      else
        [ "$(status_of "$bin/$p" "${args[@]}" "$option" 1 --help)" = 0 ] ||
          fail "$p $c: $option ($kind) is not accepted with a value"
        [ "$(status_of "$bin/$p" "${args[@]}" "$option")" = 64 ] ||
          fail "$p $c: $option is accepted without its value ($kind)"
        [ "$(status_of "$bin/$p" "${args[@]}" "$option" --help)" != 0 ] ||
          fail "$p $c: $option takes no value, but its table says $kind"
      fi
    done < <("$generator" --options "$bin/$p" ${c:+"$c"})
  done
done

# Files where files go.
has() { [ "$1" = "$2" ] || fail "$3: offered '$(paste -sd ' ' <<<"$1")', expected '$(paste -sd ' ' <<<"$2")'"; }
for p in "$@"; do
  case $p in
    conv2model-prepare)
      has "$(complete_words "$p" "")" $'era5.nc\ngfs.grib2\nsub' "$p FILE"
      has "$(complete_words "$p" --levels "")" "" "$p --levels"
      ;;
    conv2model-inspect)
      has "$(complete_words "$p" stats "")" $'eu.bin.ORUwrk\nsub' "$p stats WORKFILE"
      has "$(complete_words "$p" compare --tolerance "")" "" "$p compare --tolerance"
      has "$(complete_words "$p" netcdf --grib-edition "")" $'1\n2' "$p netcdf --grib-edition"
      ;;
    conv2model-batch)
      has "$(complete_words "$p" --run-dir "")" "sub" "$p --run-dir"
      has "$(complete_words "$p" --list "")" "$(cd "$scratch/files" && printf "%s\n" * | sort)" "$p --list"
      has "$(complete_words "$p" --jobs "")" "" "$p --jobs"
      ;;
    conv2model)
      has "$(complete_words "$p" "")" "" "$p"
      ;;
  esac
done
echo "completion checked: $*"
