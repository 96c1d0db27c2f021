#!/usr/bin/env bash
# conv2model-batch through the real GNU parallel on a terminal that is closed under it
# (a terminal window closed, an ssh connection lost): the terminal takes no more
# output, and the shell passes SIGHUP to the batch. The batch ends with status 129, not
# with a failed write's; its run directory holds the true summary, which --summary
# reads back; the terminal showed no error of a helper looking for it; a retry converts
# the rest.
#   hangup_test.sh BUILD_DIR WORK_DIR
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=companion/batch/tests/batch_case.sh
. "$here/batch_case.sh"
parallel_case "$@"
slow=$w/slow-conv2model
printf '#!/bin/bash\nsleep 0.4\nexec %q "$@"\n' "$build/conv2model" >"$slow"
chmod +x "$slow"
run=$w/run

echo "== the terminal closed once two inputs have ended"
plant_old_outputs
rm -f "$w/close" "$w/status"
mkfifo "$w/close"
python3 "$here/terminal.py" "$w/transcript" "$w/status" \
  "$batch" -j 2 --converter "$slow" --run-dir "$run" --list "$w/inputs.txt" <"$w/close" &
term=$!
# Held open until the terminal is to close: a line on it closes the terminal.
exec 3>"$w/close"
wait_until 120 "two inputs of the batch ended" results_at_least 2 "$run"
echo close >&3
exec 3>&-
wait "$term" || fail "terminal.py failed"
echo "-- the terminal showed:"
cat "$w/transcript"
echo "--"
[ -s "$w/status" ] || fail "no status of the batch"
[ "$(cat "$w/status")" = 129 ] || fail "the batch ended with status $(cat "$w/status"), not 129"
! grep -q "/dev/tty" "$w/transcript" || fail "a helper looked for the terminal"
cat "$run/summary"
grep -q "^conv2model-batch: 20 inputs: " "$run/summary" || fail "no summary in the run directory"
grep -q "^conv2model-batch: 20 inputs: 0 converted" "$run/summary" && fail "the terminal closed before any conversion"
grep -q "not converted: the batch was ended by SIGHUP$" "$run/summary" ||
  fail "no row tells that the batch was ended by SIGHUP"
check_invariant "$run"
cp "$run/summary" "$w/kept-summary"
run_checked 1 "$batch" --summary --run-dir "$run" >/dev/null
cmp -s "$w/out" "$w/kept-summary" || fail "--summary does not read back the summary kept"
run_checked 1 "$batch" --retry-failed -j 2 --run-dir "$run" >/dev/null
check_results "$run"
echo "batch_hangup: all checks passed"
