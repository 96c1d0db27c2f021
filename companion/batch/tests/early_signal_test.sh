#!/usr/bin/env bash
# conv2model-batch through the real GNU parallel, sent SIGTERM to its process group (as
# Ctrl-C or a closed terminal would) at moments of its first half second: while it
# opens its run directory, checks and claims the inputs, removes their old outputs, or
# starts GNU parallel. Every moment ends as a later one does: status 143, the summary
# printed and true (each input beside the outputs of its present contents, or none),
# --summary reading it back, and a rerun converting the rest.
#   early_signal_test.sh BUILD_DIR WORK_DIR
set -uo pipefail
# shellcheck source=companion/batch/tests/batch_case.sh
. "$(dirname "$0")/batch_case.sh"
parallel_case "$@"
few=("${inputs[@]:0:5}")
# Conversions slow enough that the batch is still running at every moment, however
# quickly the machine runs it: a signal after its end would test nothing.
slow=$w/slow-conv2model
printf '#!/bin/bash\nsleep 1\nexec %q "$@"\n' "$build/conv2model" >"$slow"
chmod +x "$slow"

# check_five RUNDIR: beside each of the five inputs, the outputs of a direct conversion
# (its result says converted) or none; nothing left behind.
check_five() {
  local k status result
  for k in 1 2 3 4 5; do
    recorded "$1" "$k"
    check_beside "$k" "$status"
  done
  check_no_leftovers "$1"
}

# takes_term PID: PID catches SIGTERM (bash has read the batch's first lines; before
# that, a signal ends bash itself, as it would any program still starting).
takes_term() {
  local mask
  mask=$(awk '$1 == "SigCgt:" { print $2 }' "/proc/$1/status" 2>/dev/null) || return 1
  [ -n "$mask" ] && [ $(((16#$mask >> 14) & 1)) -eq 1 ]
}

# running PID: PID has not ended (a zombie has).
running() {
  local stat
  stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
  stat=${stat##*) }
  [ "${stat%% *}" != Z ]
}

for moment in 0 0.05 0.10 0.15 0.20 0.25 0.30 0.35 0.40 0.45 0.50; do
  echo "== SIGTERM to the batch's group $moment s after it takes signals"
  run=$w/run-$moment
  plant_old_outputs
  set -m
  "$batch" -j 2 --converter "$slow" --run-dir "$run" "${few[@]}" >"$w/out" 2>"$w/err" &
  pid=$!
  set +m
  wait_until 60 "the batch takes SIGTERM" takes_term "$pid"
  sleep "$moment"
  ended_first=0
  running "$pid" || ended_first=1
  kill -TERM -- "-$pid" 2>/dev/null
  wait "$pid"
  status=$?
  cat "$w/out" "$w/err"
  if [ "$ended_first" -eq 1 ]; then
    # On a loaded machine the test's own sleep may outlast even these conversions: the
    # batch then ended before the signal was sent, and must have ended as a batch left
    # alone does (one input stops for data). A batch still running when the signal was
    # sent must end by it: a lost signal is a failure.
    echo "(the batch ended before the signal came)"
    [ "$status" -eq 2 ] || fail "ended before the signal with status $status, not 2"
    grep -q "^conv2model-batch: 5 inputs: 4 converted, 1 stopped for data, 0 failed" "$w/out" ||
      fail "ended before the signal without a true summary"
    check_five "$run"
    continue
  fi
  [ "$status" -eq 143 ] || fail "ended with status $status, not 143"
  grep -q "^conv2model-batch: 5 inputs: " "$w/out" || fail "no summary"
  grep -qx "conv2model-batch: ended by SIGTERM; the conversions under way were stopped" "$w/err" ||
    fail "standard error does not tell the ending"
  ! grep -q "cannot\|no scratch_root\|write error" "$w/out" "$w/err" || fail "a helper's end taken for a failure"
  check_five "$run"
  # The summary reads back as it was printed.
  cp "$w/out" "$w/printed"
  run_checked 1 "$batch" --summary --run-dir "$run" >/dev/null
  [ "$(sed -n '/^conv2model-batch: 5 inputs/,$p' "$w/printed")" = "$(cat "$w/out")" ] ||
    fail "--summary does not read back the summary printed"
  run_checked 2 "$batch" --retry-failed -j 2 --run-dir "$run" >/dev/null
  check_five "$run"
done
echo "batch_early_signals: all checks passed"
