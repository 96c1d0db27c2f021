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
    sample_gen)
      cat <<'END'
|missing operand
out 4 3|missing operand
out 4 3 2 1|'1'
out 4 3 2 --bogus|'--bogus'
out four 3 2|IM
out 4 3 2 --hour|--hour
out 4 3 2 --hour soon|--hour
out 4 3 2 --missing-rh-top -1|--missing-rh-top
END
      ;;
    *) echo "usage_status_test.sh: no cases for $name" >&2 && exit 2 ;;
  esac
}

listing() { (cd "$scratch/dir" && find . -printf '%P %s %T@\n' | sort); }

# What is wrong with the run of the program with the arguments of one case, if anything.
problems_of_case() {
  local word=$1 status=0 err
  shift
  (cd "$scratch/dir" && {
    "$bin" "$@" >"$scratch/out" 2>"$scratch/err" || status=$?
    echo "$status" >"$scratch/status"
    cat >"$scratch/rest"
  } <stdin.txt)
  status=$(cat "$scratch/status")
  err=$(cat "$scratch/err")
  [ "$status" = 64 ] || echo "status $status, not 64;"
  [ "$(wc -l <"$scratch/err")" = 1 ] || echo "not one line on standard error;"
  [ "${err#"$name"[: ]}" != "$err" ] || echo "the diagnostic does not start with $name;"
  [ "${err#*"$word"}" != "$err" ] || echo "the diagnostic does not name $word;"
  [ "${err%--help\'}" != "$err" ] || echo "the diagnostic does not end pointing to --help;"
  [ ! -s "$scratch/out" ] || echo "standard output written;"
  cmp -s "$scratch/rest" "$scratch/dir/stdin.txt" || echo "standard input read;"
  [ "$(listing)" = "$before" ] || echo "a file written or changed;"
}

mkdir "$scratch/dir"
printf 'not an analysis\n' >"$scratch/dir/a.grib"
printf 'not a work file\n' >"$scratch/dir/w"
printf 'a.grib\n\n' >"$scratch/dir/stdin.txt"
before=$(listing)
count=0 fails=0
while IFS='|' read -r line word; do
  read -ra args <<<"$line"
  problems=$(problems_of_case "$word" "${args[@]}")
  count=$((count + 1))
  if [ -z "$problems" ]; then
    echo "ok   $name $line"
  else
    echo "FAIL $name $line: ${problems//$'\n'/ } (standard error: $(cat "$scratch/err"))"
    fails=$((fails + 1))
  fi
done < <(cases)

echo "$count wrong command lines of $name, $fails wrong answer(s)"
[ "$fails" = 0 ] && [ "$count" -gt 0 ]
