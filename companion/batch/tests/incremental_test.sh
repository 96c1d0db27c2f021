#!/usr/bin/env bash
# conv2model-batch --incremental through the real GNU parallel, on the twenty inputs of
# the engine tests: a rerun converts nothing that is up to date and leaves its outputs
# as they are; touch changes nothing; a changed byte in an input or in a grid
# configuration, a missing or changed output, or another converter converts again; a
# batch killed outright leaves nothing a later run takes as up to date; without
# --incremental everything is converted. After each run, every input stands beside the
# outputs of a direct conversion of its present contents (or none).
#   incremental_test.sh BUILD_DIR WORK_DIR
set -uo pipefail
# shellcheck source=companion/batch/tests/batch_case.sh
. "$(dirname "$0")/batch_case.sh"
parallel_case "$@"
run=$w/run

# counts CONVERTED UP_TO_DATE STOPPED FAILED: the first line of the summary printed.
counts() {
  local expected="conv2model-batch: 20 inputs: $1 converted, $2 up to date, $3 stopped for data, $4 failed"
  [ "$(head -n 1 "$w/out")" = "$expected" ] || fail "expected: $expected"
}

# stamps: the inode and change time of every output there is, one line each.
stamps() {
  find "$w/in" -name '*.ORUwrk*' -printf '%p %i %C@\n' | sort
}

# up_to_date_rows N: N rows of the table say "up to date", each with its outputs kept.
up_to_date_rows() {
  [ "$(grep -c '^up to date  0       kept  ' "$w/out")" -eq "$1" ] || fail "expected $1 rows up to date"
}

incremental() {
  run_checked "$1" "$batch" --incremental -j 2 --run-dir "$run" "${@:2}" --list "$w/inputs.txt"
  check_invariant "$run"
}

echo "== the first run converts everything and keeps the digests"
incremental 1
counts 18 0 1 1
[ "$(wc -l <"$run/digests")" -eq 18 ] || fail "the digests of the 18 inputs converted are not kept"
check_results "$run"

echo "== a rerun: nothing converted again, the outputs left as they are"
before=$(stamps)
incremental 1
counts 0 18 1 1
up_to_date_rows 18
grep -q "no input in the table has outputs now, but for the 18 up to date, whose outputs were kept as they are$" "$w/out" ||
  fail "the summary does not tell that the outputs of the inputs up to date were kept"
# The stopped and the failed input are converted again and leave no outputs: only the
# outputs of the 18 are there, untouched.
[ "$(stamps)" = "$before" ] || fail "outputs of inputs up to date were written again"

echo "== touch changes nothing"
find "$w/in" -name '*.bin' -exec touch {} + -o -name InputModelInf.txt -exec touch {} +
snapshot >"$w/before"
incremental 1
counts 0 18 1 1

echo "== a changed byte in an input, in a grid configuration"
# A byte of a02's temperature field (past the level count's record and the four
# records of 12 x 8 x 5 floats before it, its length and one float), and a line more in
# grid b's configuration (an empty line, which conv2model skips: the outputs stay the
# same, the digest does not).
cp "${inputs[1]}" "$w/a02.before"
printf '\x5a' | dd of="${inputs[1]}" bs=1 seek=$((12 + 4 * (4 + 12 * 8 * 5 * 4 + 4) + 4 + 4)) conv=notrunc 2>/dev/null
cmp -s "${inputs[1]}" "$w/a02.before" && fail "a02 is unchanged"
reference 2
printf '\n' >>"$w/in/grid-b/InputModelInf.txt"
for k in $(seq 11 19); do reference "$k"; done
snapshot >"$w/before"
incremental 1
# a02 and the eight inputs on grid b that convert; b16 fails as before.
counts 9 9 1 1
cmp -s "${inputs[1]}.ORUwrk" "$w/ref/2/a02.bin.ORUwrk" || fail "a02 was not converted from its new contents"
check_results "$run"

echo "== an output missing, an output changed"
rm -f "${inputs[2]}.ORUwrk.gdsinfo"
printf 'x' | dd of="${inputs[4]}.ORUwrk" bs=1 seek=10 conv=notrunc 2>/dev/null
incremental 1
counts 2 16 1 1
check_results "$run"

echo "== another converter"
other=$w/other-conv2model
printf '#!/bin/bash\nexec %q "$@"\n' "$build/conv2model" >"$other"
chmod +x "$other"
incremental 1 --converter "$other"
counts 18 0 1 1
incremental 1 --converter "$other"
counts 0 18 1 1

echo "== a batch killed outright: what it converted is not taken as up to date"
slow=$w/slow-conv2model
printf '#!/bin/bash\nsleep 0.4\nexec %q "$@"\n' "$build/conv2model" >"$slow"
chmod +x "$slow"
set -m
"$batch" --incremental -j 2 --converter "$slow" --run-dir "$run" --list "$w/inputs.txt" >"$w/out" 2>"$w/err" &
pid=$!
set +m
wait_until 120 "four inputs of the batch ended" results_at_least 4 "$run"
kill -KILL "$pid"
wait "$pid" 2>/dev/null
wait_until 300 "the killed batch's conversions ended" batch_ended "$run"
wait_until 300 "the killed batch's run settled" run_dir_free "$run"
incremental 1 --converter "$slow"
counts 18 0 1 1
check_results "$run"

echo "== without --incremental, everything is converted and nothing said of digests"
run_checked 1 "$batch" -j 2 --run-dir "$run" --list "$w/inputs.txt"
expected_summary "$run" 18 1 1 18 stopped 4 none failed 16 none | diff - "$w/out" || fail "summary"
check_results "$run"
echo "batch_incremental: all checks passed"
