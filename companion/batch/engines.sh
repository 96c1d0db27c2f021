# The engines that run the conversions: GNU parallel on this machine, a SLURM job array
# on a cluster; how a run is stopped, waited for, and why an input has no result. Part
# of conv2model-batch.

# session_members SID: the processes of session SID that have not ended (a zombie
# has), from /proc: GNU parallel puts each job into a process group of its own, so
# only the session holds all of them.
session_members() {
  local sid=$1 stat line rest
  for stat in /proc/[0-9]*/stat; do
    { read -r line <"$stat"; } 2>/dev/null || continue
    # After the name in parentheses: state, parent, process group, session.
    rest=${line##*) }
    case ${rest%% *} in Z | X) continue ;; esac
    rest=${rest#* } rest=${rest#* } rest=${rest#* }
    [ "${rest%% *}" != "$sid" ] || { stat=${stat#/proc/} && printf '%s\n' "${stat%/stat}"; }
  done
}

# stop_session SID: ends every process of session SID: SIGTERM to each when first seen
# (GNU parallel may start a job while it stops) and again each second (it ignores the
# first one while it starts up), SIGKILL after 10 s. Returns only once none is left, so
# that no conversion still dying places an output or a result after the batch has
# settled the run. The seconds are counted on the clock: a loaded machine makes a round
# of the loop longer, not the time given.
stop_session() {
  local sid=$1 pid signal=TERM start=${EPOCHREALTIME//[!0-9]/} second round=-1
  local -a members
  declare -A told=()
  while mapfile -t members < <(session_members "$sid") && [ ${#members[@]} -gt 0 ]; do
    second=$(((${EPOCHREALTIME//[!0-9]/} - start) / 1000000))
    [ "$second" -eq "$round" ] || told=()
    round=$second
    [ "$second" -lt 10 ] || signal=KILL
    if [ "$second" -ge 15 ]; then
      say "processes of GNU parallel's session $sid outlived SIGKILL: ${members[*]}"
      return 1
    fi
    for pid in "${members[@]}"; do
      [ -n "${told[$pid]-}" ] || kill -"$signal" "$pid" 2>/dev/null || true
      told[$pid]=1
    done
    sleep 0.1
  done
}

# run_parallel RUNDIR: the todo list through GNU parallel, in a session of its own so
# that the batch alone decides when it and its conversions stop. They inherit the run
# directory's lock: should the batch be killed outright, no rerun starts beside them.
run_parallel() {
  local rundir=$1 options pid engine_status=0
  # The tasks print nothing on standard output: no need to collect it per job. Fields
  # keep their blanks: a path may begin or end with one.
  options=(--will-cite --ungroup --colsep '\t' --trim n --jobs "${opt[jobs]:-100%}")
  # A retry adds its jobs to the job log of the first run.
  if [ "${opt[retry]}" -eq 1 ] && [ -f "$rundir/joblog" ]; then
    options+=(--joblog "+$rundir/joblog")
  else
    options+=(--joblog "$rundir/joblog")
  fi
  # No --bar: in a session of its own GNU parallel has no terminal to size it by, and
  # every try to open one prints an error on the terminal. The engine and its
  # conversions take the three signals as they come (the batch ignores them).
  # Started in the background of a script, setsid needs no fork: the session's id is $!.
  (trap - HUP INT TERM && exec setsid parallel "${options[@]}" -q "$self" --task "$rundir" \
    '{1}' '{2}' '{3}' '{4}' :::: "$rundir/todo") </dev/null &
  pid=$!
  # Only for the message that refuses a rerun: a full file system may refuse it.
  { printf '%s\n' "$pid" >"$rundir/session"; } 2>/dev/null || true
  # A caught signal interrupts the wait; else it returns when GNU parallel has ended.
  [ -n "$caught" ] || wait "$pid" || engine_status=$?
  stop_session "$pid" || true
  [ -z "$caught" ] || wait "$pid" 2>/dev/null || true
  if [ -z "$caught" ] && [ $engine_status -gt 101 ]; then
    say "GNU parallel ended with status $engine_status"
  fi
}

# array_chunk TODO: the inputs per array task: --chunk, or more when the array would
# outgrow the cluster's MaxArraySize (its task ids run below it).
array_chunk() {
  local todo=$1 chunk=${opt[chunk]} max
  max=$(scontrol show config 2>/dev/null | awk '$1 == "MaxArraySize" { print $3 }')
  [[ $max =~ ^[1-9][0-9]*$ ]] || max=1001
  if [ $(((todo + chunk - 1) / chunk)) -gt "$max" ]; then
    chunk=$(((todo + max - 1) / max))
  fi
  printf '%s\n' "$chunk"
}

# job_active JOB: true while a task of JOB is queued or runs, or SLURM cannot tell.
job_active() {
  local out status=0
  out=$(squeue -h -j "$1" -o %T 2>&1) || status=$?
  if [ $status -ne 0 ]; then
    [[ $out != *"Invalid job id"* ]]
    return
  fi
  [ -n "$out" ] &&
    grep -qvxE 'COMPLETED|CANCELLED|FAILED|TIMEOUT|NODE_FAIL|OUT_OF_MEMORY|PREEMPTED|BOOT_FAIL|DEADLINE' <<<"$out"
}

# wait_job JOB: polls until JOB has ended; a caught signal cancels it.
wait_job() {
  local job=$1 cancelled=
  while job_active "$job"; do
    if [ -n "$caught" ] && [ -z "$cancelled" ]; then
      scancel "$job" 9>&- || true
      cancelled=$SECONDS
    fi
    if [ -n "$cancelled" ] && [ $((SECONDS - cancelled)) -gt 120 ]; then
      say "job $job has not ended 120 s after scancel; its outputs may still change"
      return
    fi
    sleep 1 9>&- &
    wait $! || true
  done
}

# run_slurm RUNDIR TODO: the todo list as a SLURM job array.
run_slurm() {
  local rundir=$1 todo=$2 chunk=${setting[chunk]} tasks submit job
  tasks=$(((todo + chunk - 1) / chunk))
  # The job log is merged from the tasks' logs; a retry keeps the jobs before it.
  if [ "${opt[retry]}" -eq 1 ] && [ -f "$rundir/joblog" ]; then
    rm -rf -- "$rundir/joblog.d"
    { quietly mkdir -p -- "$rundir/joblog.d" && to "$rundir/joblog.d/earlier" tail -n +2 -- "$rundir/joblog"; } ||
      say "$rundir/joblog: cannot keep the jobs of the runs before: $(reason "$REPLY")"
  fi
  rm -f -- "$rundir/slurm/job"
  if ! quietly mkdir -p -- "$rundir/slurm" "$rundir/joblog.d" ||
    ! to "$rundir/task.sh" printf '#!/bin/bash\nexec %q --slurm-task %q\n' "$self" "$rundir"; then
    not_started="$rundir/task.sh: cannot write the array task's script: $(reason "$REPLY")"
    say "$not_started; nothing was submitted"
    return 0
  fi
  submit=(sbatch --parsable --job-name="$prog" --array="0-$((tasks - 1))"
    --output="$rundir/slurm/%A_%a.out" "${sbatch_options[@]}" "$rundir/task.sh")
  say "submitting $todo inputs as $tasks array tasks of up to $chunk"
  if ! job=$("${submit[@]}" 2>"$rundir/slurm/sbatch.err" 9>&-) || [ -z "$job" ]; then
    cat -- "$rundir/slurm/sbatch.err" >&2 2>/dev/null || true
    not_started="sbatch refused the job array (see $rundir/slurm/sbatch.err)"
    say "$not_started"
    return 0
  fi
  job=${job%%;*}
  to "$rundir/slurm/job" printf '%s\n' "$job" || say "$rundir/slurm/job: cannot record job $job: $REPLY"
  if [ "${opt[wait]}" -eq 0 ]; then
    echo "$prog: submitted job $job; when it has ended: $prog --summary --run-dir $(printf '%q' "$rundir")"
    exit 0
  fi
  wait_job "$job"
  say "job $job has ended"
}

# The job log of a SLURM run: the array tasks' logs under one header.
merge_slurm_joblog() {
  to "$1/joblog" slurm_joblog "$1" || say "$1/joblog: cannot write the job log: $REPLY"
}

slurm_joblog() {
  printf 'Seq\tHost\tStarttime\tJobRuntime\tSend\tReceive\tExitval\tSignal\tCommand\n'
  # No task may have started (a job cancelled early).
  { cat -- "$1"/joblog.d/* 2>/dev/null || true; } | sort -t $'\t' -k 3,3n
}

# task_ending RUNDIR JOB TASK: why an array task ended before converting all its inputs,
# from what slurmstepd wrote into its output.
task_ending() {
  local out=$1/slurm/$2_$3.out
  if [ ! -e "$out" ]; then
    echo "its array task $2_$3 never started"
  elif grep -q 'DUE TO TIME LIMIT' "$out"; then
    echo "its array task $2_$3 reached its time limit"
  elif grep -q 'CANCELLED AT' "$out"; then
    echo "its array task $2_$3 was cancelled"
  elif grep -qiE 'out of memory|oom-kill|memory limit' "$out"; then
    echo "its array task $2_$3 ran out of memory"
  else
    echo "its array task $2_$3 ended before it (see $out)"
  fi
}

# unfinished_reason RUNDIR LINE: why the input on line LINE of the todo list has no
# result.
unfinished_reason() {
  local rundir=$1 line=$2 job
  if [ -n "$caught" ]; then
    echo "not converted: the batch was ended by SIG$caught"
  elif [ -n "$not_started" ]; then
    echo "not converted: $not_started"
  elif [ "${setting[engine]}" = slurm ] && [ -s "$rundir/slurm/job" ]; then
    job=$(<"$rundir/slurm/job")
    echo "not converted: $(task_ending "$rundir" "$job" $(((line - 1) / setting[chunk])))"
  else
    echo "not converted: the conversion never finished (see the job log)"
  fi
}
