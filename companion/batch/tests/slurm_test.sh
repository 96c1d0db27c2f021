#!/usr/bin/env bash
# conv2model-batch as a SLURM job array on a throw-away single-node cluster on localhost:
# the twenty inputs of the GNU parallel test, the same checks, the array tasks' exit
# codes, a retry of the failed inputs, --incremental, and an array kept within the
# cluster's MaxArraySize and submitted without waiting. The daemons are stopped by their
# PIDs however the test ends.
#   slurm_test.sh BUILD_DIR WORK_DIR
set -uo pipefail
build=$(cd "$1" && pwd) || exit 1
mkdir -p "$2" && w=$(cd "$2" && pwd) || exit 1
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=companion/batch/tests/batch_case.sh
. "$here/batch_case.sh"
for program in munged slurmctld slurmd sbatch; do
  if ! command -v "$program" >/dev/null; then
    echo "batch_slurm: SKIPPED: $program not found (Debian packages munge and slurm-wlm are not installed)"
    exit 0
  fi
done

seconds_since() {
  local now=${EPOCHREALTIME//[!0-9]/} then=${1//[!0-9]/}
  printf '%d.%d s' $(((now - then) / 1000000)) $(((now - then) / 100000 % 10))
}

# shellcheck source=companion/batch/tests/slurm_cluster.sh
. "$here/slurm_cluster.sh"
# A short path: munged's socket lies in the cluster's directory.
cluster=$(mktemp -d /tmp/conv2model-slurm.XXXXXX) || fail "mktemp"
trap 'cluster_stop "$cluster"; rm -rf "$cluster"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
t=$EPOCHREALTIME
cluster_start "$cluster" || fail "the cluster did not come up"
echo "== cluster up in $(seconds_since "$t")"

make_case "$build" "$w"
run=$w/run

# tasks_completed JOB N: N array tasks of JOB are in the job completion log.
tasks_completed() {
  [ "$(grep -c "ArrayJobId=$1 " "$cluster/jobcomp.txt" 2>/dev/null)" -eq "$2" ]
}

# job_gone JOB: squeue no longer shows JOB.
job_gone() {
  [ -z "$(squeue -h -j "$1" 2>/dev/null)" ]
}

# job_running RUNDIR: the batch of RUNDIR has submitted its job, and a task of it runs.
job_running() {
  [ -s "$1/slurm/job" ] && [ -n "$(squeue -h -j "$(cat "$1/slurm/job")" -t R 2>/dev/null)" ]
}

echo "== 20 inputs as a job array of 7 tasks (3 inputs each)"
t=$EPOCHREALTIME
run_checked 1 "$batch" --slurm --chunk 3 --partition batch --time 10 --mem 200 --run-dir "$run" \
  --list "$w/inputs.txt"
echo "== array done in $(seconds_since "$t")"
expected_summary "$run" 18 1 1 3 stopped 4 removed failed 16 removed | diff - "$w/out" || fail "summary"
check_results "$run"
check_joblog "$run" 20

# Each task's exit code, from the job completion log: the worst status of its chunk.
job=$(cat "$run/slurm/job")
wait_until 60 "the job completion log of the 7 tasks" tasks_completed "$job" 7
codes=$(grep "ArrayJobId=$job " "$cluster/jobcomp.txt" | sed 's/.*ArrayTaskId=\([0-9]*\) .* ExitCode=\([0-9:]*\).*/\1 \2/' | sort -n | tr '\n' ' ')
[ "$codes" = "0 0:0 1 2:0 2 0:0 3 0:0 4 0:0 5 1:0 6 0:0 " ] || fail "task exit codes: $codes"
limits=$(grep "ArrayJobId=$job " "$cluster/jobcomp.txt" | grep -o ' TimeLimit=[^ ]* ' | sort | uniq -c)
[ "$limits" = "      7  TimeLimit=10 " ] || fail "the time limit did not reach the tasks: $limits"

echo "== retry after mending the broken input"
t=$EPOCHREALTIME
check_retry "$run" --slurm
echo "== retry done in $(seconds_since "$t")"

echo "== --incremental as a job array: the rerun converts nothing that is up to date"
for expected in "19 converted, 0 up to date" "0 converted, 19 up to date"; do
  run_checked 2 "$batch" --slurm --incremental --chunk 3 --run-dir "$w/run-inc" --list "$w/inputs.txt" >/dev/null
  grep -qx "conv2model-batch: 20 inputs: $expected, 1 stopped for data, 0 failed" "$w/out" ||
    fail "--incremental through SLURM: not $expected"
  check_results "$w/run-inc"
done

echo "== one input per task asked, more tasks than MaxArraySize allows; submitted without waiting"
t=$EPOCHREALTIME
run_checked 0 "$batch" --slurm --chunk 1 --no-wait --run-dir "$w/run-max" --list "$w/inputs.txt"
grep -q "submitting 20 inputs as 7 array tasks of up to 3" "$w/err" || fail "the array outgrew MaxArraySize"
job=$(cat "$w/run-max/slurm/job")
wait_until 600 "job $job ended" job_gone "$job"
echo "== array done in $(seconds_since "$t")"
run_checked 2 "$batch" --summary --run-dir "$w/run-max"
expected_summary "$w/run-max" 19 1 0 19 stopped 4 none | diff - "$w/out" || fail "summary of the array"
check_results "$w/run-max"
check_joblog "$w/run-max" 20

echo "== 40 inputs, --chunk 4, MaxArraySize=8: 8 tasks of 5"
mkdir -p "$w/forty"
forty=()
for d in 1 2 3 4; do
  mkdir -p "$w/forty/$d"
  cp "$w/in/grid-a/"*.bin "$w/in/grid-a/InputModelInf.txt" "$w/forty/$d/"
  rm -f "$w/forty/$d/"*.ORUwrk*
  forty+=("$w/forty/$d/"a*.bin)
done
run_checked 2 "$batch" --slurm --chunk 4 --run-dir "$w/run-40" "${forty[@]}" >/dev/null
grep -qx "conv2model-batch: submitting 40 inputs as 8 array tasks of up to 5" "$w/err" ||
  fail "the array is not sized exactly: $(cat "$w/err")"
grep -qx "conv2model-batch: 40 inputs: 36 converted, 4 stopped for data, 0 failed" "$w/out" || fail "summary of 40"

# A converter that takes two seconds, and for input 5 longer than its task may run.
slow=$w/slow-conv2model
# shellcheck disable=SC2016 # the converter's own code
printf '#!/bin/bash\ncase $PWD in */000005.*) sleep 300 ;; *) sleep 2 ;; esac\nexec %q "$@"\n' \
  "$build/conv2model" >"$slow"
chmod +x "$slow"

# start_batch RUNDIR OPTION...: a batch of slow conversions in the background, in a
# process group of its own; its PID in $pid, its job in $job once it runs.
start_batch() {
  local rundir=$1
  shift
  plant_old_outputs
  set -m
  "$batch" --slurm --chunk 3 --converter "$slow" --run-dir "$rundir" "$@" --list "$w/inputs.txt" \
    >"$w/out" 2>"$w/err" &
  pid=$!
  set +m
  wait_until 300 "the job of the batch in $rundir runs" job_running "$rundir"
  job=$(cat "$rundir/slurm/job") || fail "no job submitted"
}

# end_batch EXPECTED_STATUS: waits for the batch; checks its status and that its job is gone.
end_batch() {
  local status
  wait "$pid"
  status=$?
  cat "$w/out"
  [ "$status" -eq "$1" ] || { cat "$w/err"; fail "the batch ended with status $status, not $1"; }
  [ -z "$(squeue -h -j "$job" 2>/dev/null)" ] || fail "job $job still runs after the batch"
}

echo "== one task cancelled, one past its time limit, slurmd stopped under running tasks"
t=$EPOCHREALTIME
start_batch "$w/run-end" --time 1
sleep 1
scancel "${job}_3"
slurmd_pid=$(awk '$1 == "slurmd" { p = $2 } END { print p }' "$cluster/pids")
kill -TERM "$slurmd_pid" && wait "$slurmd_pid" 2>/dev/null
sleep 3
daemon slurmd slurmd -D -N localhost -f "$cluster/slurm.conf"
end_batch 1
echo "== ended in $(seconds_since "$t")"
for k in 5 6; do
  grep -q "failed   -       removed      ${inputs[k - 1]}  not converted: its array task ${job}_1 reached its time limit" "$w/out" ||
    fail "input $k: its row does not tell the time limit"
done
for k in 10 11 12; do
  grep -q "failed   -       removed      ${inputs[k - 1]}  not converted: its array task ${job}_3 \(was cancelled\|never started\)" "$w/out" ||
    fail "input $k: its row does not tell the cancelled task"
done
check_invariant "$w/run-end"
run_checked 2 "$batch" --retry-failed --slurm --run-dir "$w/run-end" >/dev/null
check_results "$w/run-end"

echo "== the whole job cancelled"
start_batch "$w/run-cancel"
scancel "$job"
end_batch 1
grep -q "not converted: its array task ${job}_[0-9]* \(was cancelled\|never started\)" "$w/out" ||
  fail "no row tells the cancelled job"
check_invariant "$w/run-cancel"

echo "== SIGTERM to the batch: its job cancelled"
start_batch "$w/run-term"
kill -TERM "$pid"
end_batch 143
grep -q "not converted: the batch was ended by SIGTERM" "$w/out" || fail "no row tells the signal"
check_invariant "$w/run-term"
run_checked 2 "$batch" --retry-failed --slurm --run-dir "$w/run-term" >/dev/null
check_results "$w/run-term"

t=$EPOCHREALTIME
cluster_stop "$cluster"
echo "== cluster down in $(seconds_since "$t")"
echo "batch_slurm: all checks passed"
