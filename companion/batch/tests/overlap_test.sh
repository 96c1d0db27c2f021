#!/usr/bin/env bash
# Two batches over overlapping inputs, each with its own run directory, through the real
# GNU parallel: the second is refused while the first works on the same outputs, naming
# the first's run directory, and nothing is done; the first's summary stays true. Once
# the first has ended, the second runs. The claims of a batch killed outright hold while
# its conversions run, and are taken over once they have ended.
#   overlap_test.sh BUILD_DIR WORK_DIR
set -uo pipefail
# shellcheck source=companion/batch/tests/batch_case.sh
. "$(dirname "$0")/batch_case.sh"
parallel_case "$@"
slow=$w/slow-conv2model
printf '#!/bin/bash\nsleep 0.4\nexec %q "$@"\n' "$build/conv2model" >"$slow"
chmod +x "$slow"

# start_slow RUNDIR INPUT...: a batch of slow conversions in the background, its
# process id in pid, once an input has ended.
start_slow() {
  local run=$1
  shift
  set -m
  "$batch" -j 2 --converter "$slow" --run-dir "$run" "$@" >"$w/out-slow" 2>"$w/err-slow" &
  pid=$!
  set +m
  wait_until 120 "an input of the batch in $run ended" results_at_least 1 "$run"
}

# refused_beside RUNDIR FIRST LAST: the last batch was refused for inputs FIRST to LAST
# of its list, inputs[FIRST+4...], whose outputs the batch of RUNDIR works on.
refused_beside() {
  local k
  for ((k = $2; k <= $3; k++)); do
    grep -qxF "conv2model-batch: input $k: ${inputs[k + 4]}: its outputs are being written by the batch of run directory $1" "$w/err" ||
      fail "input $k of the second batch: not refused naming $1"
  done
  grep -qx "conv2model-batch: $(($3 - $2 + 1)) of the inputs have outputs that another batch is working on; nothing was done" "$w/err" ||
    fail "the refusal does not end with its count"
}

echo "== inputs 1-10 converting; a batch over inputs 6-15 is refused"
plant_old_outputs
start_slow "$w/run-a" "${inputs[@]:0:10}"
run_checked 3 "$batch" -j 2 --run-dir "$w/run-b" "${inputs[@]:5:10}"
refused_beside "$w/run-a" 1 5
[ ! -e "$w/run-b/status" ] || fail "the refused batch converted something"
wait "$pid"
status=$?
cat "$w/out-slow"
[ "$status" -eq 2 ] || fail "the first batch ended with status $status, not 2"
grep -qx "conv2model-batch: 10 inputs: 9 converted, 1 stopped for data, 0 failed" "$w/out-slow" ||
  fail "the first batch's summary"
for k in $(seq 1 10); do
  recorded "$w/run-a" "$k"
  check_beside "$k" "$status"
done
check_no_leftovers "$w/run-a"

echo "== once the first has ended, the second runs"
run_checked 0 "$batch" -j 2 --run-dir "$w/run-b" "${inputs[@]:5:10}"
for k in $(seq 6 15); do check_beside "$k" 0; done
check_no_leftovers "$w/run-b"

echo "== a batch killed outright: its claims hold while its conversions run, then are taken over"
start_slow "$w/run-c" "${inputs[@]:5:10}"
kill -KILL "$pid"
wait "$pid" 2>/dev/null
run_checked 3 "$batch" -j 2 --run-dir "$w/run-d" "${inputs[@]:5:10}"
grep -q "its outputs are being written by the batch of run directory $w/run-c$" "$w/err" ||
  fail "the killed batch's running conversions did not hold its claims"
wait_until 300 "the killed batch's conversions ended" batch_ended "$w/run-c"
wait_until 300 "the killed batch's run settled" run_dir_free "$w/run-c"
run_checked 0 "$batch" -j 2 --run-dir "$w/run-d" "${inputs[@]:5:10}"
for k in $(seq 6 15); do check_beside "$k" 0; done
check_no_leftovers "$w/run-d"
echo "batch_overlap: all checks passed"
