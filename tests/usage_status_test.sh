#!/usr/bin/env bash
# A wrong command line, for each C++ program: status 64, nothing on standard output, one
# line on standard error naming the program, the argument at fault and --help; no file
# read (standard input left unread, input files that would fail if read) and none written.
#   usage: usage_status_test.sh PROGRAM
set -euo pipefail
bin=$(realpath "$1")
name=$(basename "$bin")
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

# The cases of each program, one a line: the arguments (split at blanks), '|', a word
# the diagnostic must hold. The files they name hold no analysis or work file: a program
# that read one would fail with its own status, not 64.
cases() {
  case $name in
    conv2model)
      cat <<'END'
--bogus|'--bogus'
--version=1|'--version=1'
--help x.bin|'x.bin'
END
      ;;
    conv2model-prepare)
      cat <<'END'
--bogus a.grib|'--bogus'
a.grib -o|-o
a.grib --levels|--levels
--inventory=yes a.grib|--inventory
--area 60/-10/30 a.grib|--area
--levels 850,-5 a.grib|--levels
-o|-o
--inventory|no input file
END
      ;;
    conv2model-inspect)
      cat <<'END'
|--help
bogus w|bogus
stats --bins w|--bins
compare w w --tolerance|--tolerance
stats w extra|extra
compare w|compare
png --min w ua 1 out.png|--min
netcdf --grib-edition 3 w out.nc|--grib-edition
END
      ;;
    *) echo "usage_status_test.sh: no cases for $name" >&2 && exit 2 ;;
  esac
}

listing() { (cd "$scratch/dir" && find . -printf '%P %s %T@\n' | sort); }

mkdir "$scratch/dir"
printf 'not an analysis\n' >"$scratch/dir/a.grib"
printf 'not a work file\n' >"$scratch/dir/w"
printf 'a.grib\n\n' >"$scratch/dir/stdin.txt"
before=$(listing)
count=0
while IFS='|' read -r line word; do
  read -ra args <<<"$line"
  status=0
  (cd "$scratch/dir" && {
    "$bin" "${args[@]}" >"$scratch/out" 2>"$scratch/err" || echo $? >"$scratch/status"
    cat >"$scratch/rest"
  } <stdin.txt)
  status=$(cat "$scratch/status" 2>/dev/null || echo 0)
  rm -f "$scratch/status"
  err=$(cat "$scratch/err")
  check "$name $line: status 64 (got $status)" test "$status" = 64
  check "$name $line: one line on standard error naming $name, $word and --help" \
    test "$(wc -l <"$scratch/err")" = 1 -a "${err#"$name"[: ]}" != "$err" \
    -a "${err#*"$word"}" != "$err" -a "${err%--help\'}" != "$err"
  check "$name $line: nothing on standard output, standard input unread, no file written" \
    test ! -s "$scratch/out" -a "$(listing)" = "$before"
  cmp -s "$scratch/rest" "$scratch/dir/stdin.txt" || check "$name $line: standard input unread" false
  count=$((count + 1))
done < <(cases)

echo "$count wrong command lines of $name, $fails check(s) failed"
[ "$fails" = 0 ] && [ "$count" -gt 0 ]
