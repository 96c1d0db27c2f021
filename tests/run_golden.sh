#!/usr/bin/env bash
# Runs conv2model on every worked conversion and compares status, log and files byte
# for byte.  usage: run_golden.sh CONV2MODEL GOLDEN_DIR
#
# Each case is case/ (the working directory before the run, with stdin.txt) and expected/
# (status, stdout, and every file the run creates or changes, at its relative path). The
# check cannot pass by comparing nothing: a case with a missing part, a converting case
# without an expected output file, an expected file the run did not leave, and a file
# the run created or changed that no expected file describes are all failures.
set -u
shopt -s nullglob
bin=$1
golden=$2
cases=0
fails=0

# Prints a problem of the current case and marks it failed.
problem() {
  echo "  $*"
  ok=0
}

for case_dir in "$golden"/*/; do
  name=$(basename "$case_dir")
  cases=$((cases + 1))
  ok=1
  case_dir=${case_dir%/}
  exp=$case_dir/expected
  for part in case/stdin.txt expected/status expected/stdout; do
    [ -f "$case_dir/$part" ] || problem "missing $part"
  done
  if [ $ok = 0 ]; then
    echo "FAIL $name (incomplete case)"
    fails=$((fails + 1))
    continue
  fi
  want=$(cat "$exp/status")
  expected_files=$(cd "$exp" && find . -type f ! -path ./status ! -path ./stdout -printf '%P\n' | sort)
  if [ "$want" = 0 ] && [ -z "$expected_files" ]; then
    problem "a case that converts has no expected output file"
  fi

  # The run's directory is scratch/run; its log and status stay outside it.
  scratch=$(mktemp -d)
  work=$scratch/run
  mkdir "$work"
  cp -r "$case_dir/case/." "$work/"
  chmod -R u+w "$work"
  out=$scratch/stdout
  (cd "$work" && "$bin" <stdin.txt >"$out" 2>"$scratch/stderr")
  got=$?

  if [ "$want" = nonzero ]; then
    [ "$got" != 0 ] || problem "status 0 where a failure was expected"
    exp_len=$(stat -c %s "$exp/stdout")
    cmp -s -n "$exp_len" "$exp/stdout" "$out" || problem "log does not start with the expected log"
  else
    [ "$want" = "$got" ] || problem "status $got, expected $want"
    cmp -s "$exp/stdout" "$out" || problem "log differs"
  fi
  while read -r f; do
    [ -n "$f" ] || continue
    if [ ! -f "$work/$f" ]; then
      problem "missing after the run: $f"
    elif ! cmp -s "$exp/$f" "$work/$f"; then
      problem "differs: $f ($(cmp "$exp/$f" "$work/$f" 2>&1 | head -1))"
    fi
  done <<<"$expected_files"
  # Every file the run created or changed must be an expected one.
  while read -r f; do
    [ -n "$f" ] || continue
    grep -qxF "$f" <<<"$expected_files" && continue
    if [ ! -f "$case_dir/case/$f" ] || ! cmp -s "$case_dir/case/$f" "$work/$f"; then
      problem "created or changed but not expected: $f"
    fi
  done < <(cd "$work" && find . -type f -printf '%P\n' | sort)

  if [ $ok = 1 ]; then echo "ok   $name"; else
    echo "FAIL $name (status want $want got $got)"
    fails=$((fails + 1))
    diff <(cat -A "$exp/stdout") <(cat -A "$out") | head -10
    head -3 "$scratch/stderr"
  fi
  rm -rf "$scratch"
done
if [ $cases = 0 ]; then
  echo "no golden cases under $golden"
  exit 1
fi
echo "$fails of $cases golden case(s) failed"
[ $fails = 0 ]
