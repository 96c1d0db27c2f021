#!/usr/bin/env bash
# conv2model-batch through the real GNU parallel, ended in every way but the normal one:
# SIGINT, SIGTERM and SIGHUP to the batch alone or to its process group in the middle
# of a batch, SIGKILL to the batch alone, a full scratch file system (inputs refused up
# front: refused_test.sh). After each, every input stands beside outputs equal to a
# direct conversion of its present contents, or beside none; the summary was printed
# with the signal's status; nothing of the batch runs on; and a rerun in the same run
# directory at once converts the rest. A killed batch's conversions run on: a rerun is
# refused until they have ended, and then --summary settles the run.
#   endings_test.sh BUILD_DIR WORK_DIR
set -uo pipefail
# shellcheck source=companion/batch/tests/batch_case.sh
. "$(dirname "$0")/batch_case.sh"
parallel_case "$@"
# A converter slow enough to be caught in the middle of a batch.
slow=$w/slow-conv2model
printf '#!/bin/bash\nsleep 0.4\nexec %q "$@"\n' "$build/conv2model" >"$slow"
chmod +x "$slow"

# Nothing whose command line names RUNDIR runs any more.
check_nothing_runs() {
  local rundir=$1 p
  for p in /proc/[0-9]*; do
    if { tr '\0' ' ' <"$p/cmdline"; } 2>/dev/null | grep -qF -- "$rundir"; then
      echo "still running: $p: $(tr '\0' ' ' <"$p/cmdline" 2>/dev/null)" >&2
      return 1
    fi
  done
  return 0
}

nothing_runs() { check_nothing_runs "$1" 2>/dev/null; }

# start_slow_batch RUNDIR: a batch of slow conversions in the background, its process id
# in pid, once two inputs have ended; old outputs planted beside every input before.
start_slow_batch() {
  local run=$1
  plant_old_outputs
  # A process group of its own, as a shell's job: a background command of a script
  # would start with SIGINT ignored, and such a signal cannot be caught.
  set -m
  "$batch" -j 2 --converter "$slow" --run-dir "$run" --list "$w/inputs.txt" >"$w/out" 2>"$w/err" &
  pid=$!
  set +m
  wait_until 120 "two inputs of the batch in $run ended" results_at_least 2 "$run"
}


# ending SIGNAL TARGET: a batch of slow conversions, SIGNAL sent to the batch's process
# ("process") or to its process group ("group") once two inputs have ended.
ending() {
  local signal=$1 target=$2 expected run=$w/run-$1-$2 pid status rows
  expected=$((128 + $(kill -l "$signal")))
  echo "== SIG$signal to the batch's $target"
  start_slow_batch "$run"
  if [ "$target" = group ]; then kill -"$signal" -- "-$pid"; else kill -"$signal" "$pid"; fi
  wait "$pid"
  status=$?
  [ "$status" -eq "$expected" ] || { cat "$w/err"; fail "ended with status $status, not $expected"; }
  cat "$w/out"
  grep -q "^conv2model-batch: 20 inputs: " "$w/out" || fail "no summary"
  rows=$(grep -c "not converted: the batch was ended by SIG$signal\$" "$w/out")
  [ "$rows" -gt 0 ] || fail "no row tells that the batch was ended by SIG$signal"
  grep -q "^conv2model-batch: 20 inputs: 0 converted" "$w/out" && fail "the signal came before any conversion"
  grep -qx "conv2model-batch: ended by SIG$signal; the conversions under way were stopped" "$w/err" ||
    fail "standard error does not tell the ending"
  check_nothing_runs "$run" || fail "the batch's children outlived it"
  check_invariant "$run"
  # At once, the same run directory: not blocked, and the rest converted.
  run_checked 1 "$batch" --retry-failed -j 2 --run-dir "$run" >/dev/null
  check_invariant "$run"
  check_results "$run"
}

ending INT process
ending TERM process
ending HUP process
ending INT group
ending TERM group

echo "== SIGKILL to the batch alone"
# It cannot stop its conversions: they go on, and no rerun may start beside them.
run=$w/run-KILL
start_slow_batch "$run"
kill -KILL "$pid"
{ wait "$pid"; } 2>/dev/null
run_checked 3 "$batch" --retry-failed -j 2 --run-dir "$run"
grep -qx "conv2model-batch: $run: a batch is still running in this run directory (or the conversions of a killed one, in GNU parallel's session [0-9]*)" "$w/err" ||
  fail "the rerun beside the killed batch's conversions does not tell why it was refused"
run_checked 3 "$batch" --summary --run-dir "$run"
wait_until 300 "the killed batch's conversions ended" nothing_runs "$run"
# Once they have ended, --summary settles the run.
run_checked 1 "$batch" --summary --run-dir "$run"
grep -q "^conv2model-batch: 20 inputs: 18 converted, 1 stopped for data, 1 failed$" "$w/out" ||
  fail "the killed batch's conversions did not all end"
check_invariant "$run"
run_checked 1 "$batch" --retry-failed -j 2 --run-dir "$run" >/dev/null
check_results "$run"

# in_small_tmpfs DIR SIZE BLOCKS COMMAND...: COMMAND with a tmpfs of SIZE (40k, 1m) on
# DIR, BLOCKS 4 KiB blocks of it filled (all, when BLOCKS is "all"), in a mount
# namespace of its own that ends with COMMAND. Status 99 when no tmpfs could be
# mounted there.
in_small_tmpfs() {
  local unshare=(unshare -m)
  [ "$(id -u)" -eq 0 ] || unshare=(unshare -rm)
  # unshare first makes every mount private, which a chroot whose root is not a mount
  # point refuses (as a fresh Debian root entered with chroot has it). There the mounts
  # are taken as they are, and the tmpfs is unmounted before the namespace ends, so
  # that it leaves nothing behind should a mount above it share its mounts.
  if ! "${unshare[@]}" true 2>/dev/null; then
    unshare+=(--propagation unchanged)
  fi
  # shellcheck disable=SC2016 # expanded by the inner shell
  "${unshare[@]}" bash -c '
    mount -t tmpfs -o size="$2" tmpfs "$1" || exit 99
    if [ "$3" = all ]; then fill=(); else fill=(count="$3"); fi
    dd if=/dev/zero of="$1/fill" bs=4k "${fill[@]}" 2>/dev/null
    "${@:4}"
    status=$?
    umount "$1" || exit 99
    exit $status' - "$@"
}

# check_unmounted DIR: the tmpfs of in_small_tmpfs did not outlive its namespace.
check_unmounted() {
  if mountpoint -q "$1"; then
    umount "$1"
    fail "the tmpfs on $1 was seen outside its mount namespace"
  fi
}

echo "== a full scratch file system"
mkdir -p "$w/full"
plant_old_outputs
in_small_tmpfs "$w/full" 40k all "$batch" -j 1 --scratch "$w/full" --run-dir "$w/run-full" \
  "${inputs[@]:0:3}" >"$w/out" 2>"$w/err"
status=$?
check_unmounted "$w/full"
[ "$status" -ne 99 ] || fail "cannot mount a tmpfs on $w/full"
cat "$w/out"
[ "$status" -eq 1 ] || { cat "$w/err"; fail "status $status, not 1"; }
# The row names the scratch directory that has no room.
[ "$(grep -c "^failed   1       removed      .*  conv2model-batch: $w/full/conv2model-batch-[0-9-]*/00000[1-3]\.[^/]*: cannot copy the grid configuration $w/in/grid-a/InputModelInf.txt there: No space left on device$" "$w/out")" -eq 3 ] ||
  fail "the rows do not give the reason"
[ ! -s "$w/err" ] || { cat "$w/err"; fail "standard error is not empty"; }
echo "== a scratch file system that fills during the conversion"
in_small_tmpfs "$w/full" 40k 7 "$batch" -j 1 --scratch "$w/full" --run-dir "$w/run-full" \
  "${inputs[@]:0:3}" >"$w/out" 2>"$w/err"
status=$?
check_unmounted "$w/full"
[ "$status" -ne 99 ] || fail "cannot mount a tmpfs on $w/full"
cat "$w/out"
[ "$status" -eq 1 ] || { cat "$w/err"; fail "status $status, not 1"; }
[ "$(grep -c "conv2model: .*: No space left on device$" "$w/out")" -eq 3 ] ||
  fail "the rows do not give conv2model's reason"
for k in 0 1 2; do
  if [ -e "${inputs[k]}.ORUwrk" ] || [ -e "${inputs[k]}.ORUwrk.gdsinfo" ]; then fail "outputs beside ${inputs[k]}"; fi
done

echo "== a full run directory: refused before anything is done"
mkdir -p "$w/full-run"
plant_old_outputs
in_small_tmpfs "$w/full-run" 40k all "$batch" -j 1 --run-dir "$w/full-run/run" "${inputs[@]:0:3}" \
  >"$w/out" 2>"$w/err"
status=$?
check_unmounted "$w/full-run"
[ "$status" -ne 99 ] || fail "cannot mount a tmpfs on $w/full-run"
cat "$w/out" "$w/err"
[ "$status" -eq 3 ] || fail "status $status, not 3"
[ "$(cat "$w/err")" = "conv2model-batch: $w/full-run/run/inputs: cannot write: No space left on device" ] ||
  fail "standard error does not tell where and why, once"
for k in 0 1 2; do
  # As plant_old_outputs put them.
  from=$w/ref/1/a01.bin
  [ "$k" -ne 0 ] || from=$w/ref/2/a02.bin
  cmp -s "${inputs[k]}.ORUwrk" "$from.ORUwrk" || fail "a refused batch touched the outputs of ${inputs[k]}"
done

echo "== a run directory whose file system fills during the conversions"
# The converter fills the run directory's file system before it starts, as other
# conversions writing into the scratch directory there would: neither conv2model's log
# nor its outputs, nor any record the batch has not kept room for, can be written.
filling=$w/filling-conv2model
printf '#!/bin/bash\ndd if=/dev/zero of=%q/fill.$$ bs=4k 2>/dev/null\nexec %q "$@"\n' "$w/full-run" \
  "$build/conv2model" >"$filling"
chmod +x "$filling"
# What runs in the tmpfs' mount namespace: the batch; then, the file system emptied,
# --summary. What they print and the results recorded are kept outside it.
cat >"$w/fills.sh" <<'EOF'
mnt=$1 kept=$2
shift 2
"$@" >"$kept/out" 2>"$kept/err"
echo $? >"$kept/status"
for result in "$mnt"/run/status/*; do head -n 1 "$result"; done >"$kept/results"
rm -f "$mnt"/fill*
"$1" --summary --run-dir "$mnt/run" >"$kept/summary" 2>&1
echo $? >"$kept/summary-status"
EOF
plant_old_outputs
rm -rf "$w/kept"
mkdir "$w/kept"
in_small_tmpfs "$w/full-run" 1m 0 bash "$w/fills.sh" "$w/full-run" "$w/kept" \
  "$batch" -j 1 --converter "$filling" --run-dir "$w/full-run/run" "${inputs[@]:0:3}"
status=$?
check_unmounted "$w/full-run"
[ "$status" -ne 99 ] || fail "cannot mount a tmpfs on $w/full-run"
cat "$w/kept/out" "$w/kept/err"
[ "$(cat "$w/kept/status")" = 1 ] || fail "status $(cat "$w/kept/status"), not 1"
grep -qx "conv2model-batch: 3 inputs: 0 converted, 0 stopped for data, 3 failed" "$w/kept/out" || fail "no summary"
# Each row gives the reason, and names the file or directory of the run directory that
# has no room.
[ "$(grep -c "^failed   1       removed      .*  .*$w/full-run/run/[^ ]*: .*No space left on device$" "$w/kept/out")" -eq 3 ] ||
  fail "the rows do not tell where and why"
[ "$(grep -c "^1"$'\t'".*$w/full-run/run/[^ ]*: .*No space left on device$" "$w/kept/results")" -eq 3 ] ||
  fail "the results recorded do not tell where and why"
# Standard error tells each file of the run directory that had no room (each log; the
# summary, when the conversions' scratch directories did not leave it room), and why.
[ "$(grep -c "^conv2model-batch: $w/full-run/run/logs/00000[1-3]-a0[1-3]\.bin\.log: cannot write the log: No space left on device$" "$w/kept/err")" -eq 3 ] ||
  fail "standard error does not tell where and why"
! grep -qv "^conv2model-batch: $w/full-run/run/[^ ]*: cannot [a-z ]*: No space left on device$" "$w/kept/err" ||
  fail "standard error says more"
[ "$(cat "$w/kept/summary-status")" = 1 ] || { cat "$w/kept/summary"; fail "--summary after the file system was emptied"; }
[ "$(sed -n '/^conv2model-batch: 3 inputs/,$p' "$w/kept/out")" = "$(cat "$w/kept/summary")" ] ||
  fail "--summary does not read back the summary printed"
for k in 1 2 3; do check_beside "$k" 1; done

echo "batch_endings: all checks passed"

