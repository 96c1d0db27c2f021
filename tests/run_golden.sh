#!/usr/bin/env bash
# Runs conv2model on every worked conversion and compares status, log and files byte
# for byte.  usage: run_golden.sh CONV2MODEL GOLDEN_DIR
set -u
bin=$1
golden=$2
fails=0
for case_dir in "$golden"/*/; do
  name=$(basename "$case_dir")
  work=$(mktemp -d)
  cp -r "$case_dir/case/." "$work/"
  chmod -R u+w "$work"
  (cd "$work" && "$bin" <stdin.txt >stdout.actual 2>stderr.actual; echo $? >status.actual)
  want=$(cat "$case_dir/expected/status")
  got=$(cat "$work/status.actual")
  ok=1
  if [ "$want" = nonzero ]; then
    [ "$got" != 0 ] || ok=0
    exp_len=$(stat -c %s "$case_dir/expected/stdout")
    cmp -s -n "$exp_len" "$case_dir/expected/stdout" "$work/stdout.actual" || ok=0
    [ -z "$(find "$work" -name '*.gdsinfo' -newer "$work/stdin.txt")" ] || ok=0
  else
    [ "$want" = "$got" ] || ok=0
    cmp -s "$case_dir/expected/stdout" "$work/stdout.actual" || ok=0
  fi
  (cd "$case_dir/expected" && find . -type f ! -name status ! -name stdout) | while read -r f; do
    cmp -s "$case_dir/expected/$f" "$work/$f" || { echo "  differs: $f"; exit 1; }
  done || ok=0
  if [ $ok = 1 ]; then echo "ok   $name"; else
    echo "FAIL $name (status want $want got $got)"; fails=$((fails + 1))
    diff <(cat -A "$case_dir/expected/stdout") <(cat -A "$work/stdout.actual") | head -10
    head -3 "$work/stderr.actual"
  fi
  rm -rf "$work"
done
echo "$fails golden case(s) failed"
[ $fails = 0 ]
