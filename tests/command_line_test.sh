#!/usr/bin/env bash
# The command line of the real binary: --help, -h and --version answer without reading
# standard input, any other argument is refused before anything is read or written, and
# a run without arguments converts as it always has, on a terminal too.
#   usage: command_line_test.sh CONV2MODEL GOLDEN_DIR VERSION
set -uo pipefail
bin=$(realpath "$1") golden=$(realpath "$2") version=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fails=0
check() { # check WHAT CONDITION...
  local what=$1
  shift
  if "$@"; then echo "ok   $what"; else
    echo "FAIL $what"
    fails=$((fails + 1))
  fi
}

# A fresh copy of a worked conversion's case, as the working directory $case.
fresh_case() {
  rm -rf "$scratch/case"
  cp -r "$golden/$1/case/." "$scratch/case/" 2>/dev/null || {
    mkdir -p "$scratch/case"
    cp -r "$golden/$1/case/." "$scratch/case/"
  }
  chmod -R u+w "$scratch/case"
  case=$scratch/case
}
says_all() { # says_all TEXT WORD...: TEXT holds every WORD
  local text=$1 w
  shift
  for w in "$@"; do grep -qF -- "$w" <<<"$text" || return 1; done
}
listing() { (cd "$case" && find . -type f -printf '%P %s %T@\n' | sort); }

# Runs the binary in $case with the case's standard input and the given arguments.
# Whatever it leaves unread of standard input comes out after it in $rest: the two
# share one open file, so a program that reads nothing leaves all of it.
run() {
  (cd "$case" && { "$bin" "$@" >"$scratch/out" 2>"$scratch/err"; echo $? >"$scratch/status"; \
    cat >"$scratch/rest"; } <stdin.txt)
  status=$(cat "$scratch/status")
  out=$(cat "$scratch/out")
  err=$(cat "$scratch/err")
  rest_is_all=$(cmp -s "$scratch/rest" "$case/stdin.txt" && echo yes || echo no)
}

fresh_case 01-valid-none
before=$(listing)

for h in --help -h; do
  run "$h"
  check "$h: status 0, usage on standard output" \
    test "$status" = 0 -a "${out%%$'\n'*}" = "Usage: conv2model < LINES" -a -z "$err"
  check "$h: the usage names the input, the grid file, the outputs, the statuses, the manual" \
    says_all "$out" "line 1" "./InputModelInf.txt" ORUwrk.gdsinfo "Exit status" \
    "64  a wrong command line" "man conv2model"
  check "$h: standard input not read, no file written" \
    test "$rest_is_all" = yes -a "$(listing)" = "$before"
done

run --version
check "--version: 'conv2model $version', status 0, nothing read" \
  test "$status" = 0 -a "$out" = "conv2model $version" -a -z "$err" -a "$rest_is_all" = yes
run --version --help
check "--help and --version together: the help" test "$status" = 0 -a "${out:0:6}" = Usage:

# Each line: the arguments, then the one the diagnostic names.
while IFS='|' read -r args first; do
  if [ -z "$args" ]; then run ""; else run $args; fi
  check "argument(s) '$args': status 64, one line naming '$first' and --help" \
    test "$status" = 64 -a -z "$out" -a "$err" = \
    "conv2model: unknown argument '$first': the input comes on standard input; see 'conv2model --help'"
  check "argument(s) '$args': standard input not read, no file written" \
    test "$rest_is_all" = yes -a "$(listing)" = "$before"
done <<'END'
--help --version bogus|bogus
bogus --help|bogus
-|-
--|--
--helpx|--helpx
--version=1|--version=1
x.bin|x.bin
|
END

# Without arguments: the log, the status and the outputs of the worked conversion, and
# nothing on standard error.
run
worked=$golden/01-valid-none/expected
check "no argument: the worked conversion's status, standard error empty" \
  test "$status" = "$(cat "$worked/status")" -a -z "$err"
check "no argument: the worked conversion's log, byte for byte" cmp -s "$scratch/out" "$worked/stdout"

# Standard input on a terminal: one line on standard error says what the run waits for,
# then the conversion goes on as before.
if ! command -v script >/dev/null 2>&1; then
  check "a terminal for standard input (script(1) from bsdutils is missing)" false
else
  fresh_case 01-valid-none
  (cd "$case" && script -qec "$bin 2>$scratch/err" /dev/null <stdin.txt >"$scratch/tty" 2>&1)
  status=$?
  check "terminal: one line on standard error says what is read" test "$(cat "$scratch/err")" = \
    "conv2model: reading standard input: line 1 the input field file, line 2 any text (conv2model --help tells more)"
  # The terminal shows the typed lines, then the log (with carriage returns); the
  # prompt went to the file.
  tr -d '\r' <"$scratch/tty" >"$scratch/log"
  cat "$case/stdin.txt" "$worked/stdout" >"$scratch/seen"
  check "terminal: the conversion ends with status 0" test "$status" = 0
  check "terminal: the log as before" cmp -s "$scratch/log" "$scratch/seen"
  (cd "$case" && "$bin" <stdin.txt >/dev/null 2>"$scratch/err")
  check "no terminal: nothing on standard error" test ! -s "$scratch/err"
fi

echo "$fails command-line check(s) failed"
[ $fails = 0 ]
