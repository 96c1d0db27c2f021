#!/usr/bin/env bash
# conv2model-batch as a SLURM job array on a throw-away single-node cluster on localhost:
# the twenty inputs of the GNU parallel test, the same checks, the array tasks' exit
# codes, a retry of the failed inputs, and an array kept within the cluster's MaxArraySize
# and submitted without waiting. The daemons are stopped by their PIDs however
# the test ends.
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
for _ in $(seq 1 50); do
  [ "$(grep -c "ArrayJobId=$job " "$cluster/jobcomp.txt")" -eq 7 ] && break
  sleep 0.1
done
codes=$(grep "ArrayJobId=$job " "$cluster/jobcomp.txt" | sed 's/.*ArrayTaskId=\([0-9]*\) .* ExitCode=\([0-9:]*\).*/\1 \2/' | sort -n | tr '\n' ' ')
[ "$codes" = "0 0:0 1 2:0 2 0:0 3 0:0 4 0:0 5 1:0 6 0:0 " ] || fail "task exit codes: $codes"
limits=$(grep "ArrayJobId=$job " "$cluster/jobcomp.txt" | grep -o ' TimeLimit=[^ ]* ' | sort | uniq -c)
[ "$limits" = "      7  TimeLimit=10 " ] || fail "the time limit did not reach the tasks: $limits"

echo "== retry after mending the broken input"
t=$EPOCHREALTIME
check_retry "$run" --slurm
echo "== retry done in $(seconds_since "$t")"

echo "== one input per task asked, more tasks than MaxArraySize allows; submitted without waiting"
t=$EPOCHREALTIME
run_checked 0 "$batch" --slurm --chunk 1 --no-wait --run-dir "$w/run-max" --list "$w/inputs.txt"
grep -q "submitting 20 inputs as 7 array tasks of up to 3" "$w/err" || fail "the array outgrew MaxArraySize"
job=$(cat "$w/run-max/slurm/job")
for _ in $(seq 1 300); do
  [ -z "$(squeue -h -j "$job" 2>/dev/null)" ] && break
  sleep 0.2
done
echo "== array done in $(seconds_since "$t")"
run_checked 2 "$batch" --summary --run-dir "$w/run-max"
expected_summary "$w/run-max" 19 1 0 0 stopped 4 none | diff - "$w/out" || fail "summary of the array"
check_results "$w/run-max"
check_joblog "$w/run-max" 20

t=$EPOCHREALTIME
cluster_stop "$cluster"
echo "== cluster down in $(seconds_since "$t")"
echo "batch_slurm: all checks passed"
