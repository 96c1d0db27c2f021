# The end of a run: settled (every input with a result, nothing partial left), then
# summed up from the recorded results. Part of conv2model-batch.

# The awk program that writes the summary: summary.awk, filled in by the build.
# shellcheck disable=SC2016 # an awk program
readonly summary_program='@C2M_SUMMARY_AWK@'

# settle RUNDIR: once the engine has ended, however it ended: an input without a result
# gets one that says why, and no input that did not convert keeps an output (a partial
# pair, a temporary name); the scratch directory goes.
settle() {
  local rundir=$1 index input outdir result line=0 chunk
  local tag status_file log_file record_file work info work_temp info_temp
  local -a doomed=()
  declare -A reasons=()
  while IFS=$'\t' read -r index input _ outdir; do
    line=$((line + 1))
    input_paths "$rundir" "$index" "$input" "$outdir"
    result=
    [ ! -f "$status_file" ] || read -r result <"$status_file" || true
    if [ -z "$result" ]; then
      chunk=$(((line - 1) / setting[chunk]))
      [ -n "${reasons[$chunk]-}" ] || reasons[$chunk]=$(unfinished_reason "$rundir" "$line")
      result="-"$'\t'${reasons[$chunk]}
      record_result "$status_file" - "${reasons[$chunk]}" || true
    fi
    [[ $result == 0$'\t'* ]] || doomed+=("$work" "$info")
    doomed+=("$work_temp" "$info_temp")
  done <"$rundir/todo"
  printf '%s\0' "${doomed[@]}" | xargs -0 rm -f -- || say "some outputs of inputs that did not convert could not be removed"
  merge_digests "$rundir"
  release_claims "$rundir" "$rundir/inputs"
  rm -rf -- "${setting[scratch_root]}" "$rundir/session" ||
    say "${setting[scratch_root]}: cannot remove the scratch directory"
  to "$rundir/settled" true || say "$rundir/settled: cannot mark the run settled: $REPLY"
}

# summary RUNDIR: the summary from the recorded results; returns the batch's status.
summary() {
  local rundir=$1
  awk -F'\t' -v rundir="$rundir" -v status_format="$status_format" -v joblog="$rundir/joblog" \
    -v logs="$rundir/logs/" -v incremental="${setting[incremental]-0}" \
    "$summary_program" "$rundir/old" "$rundir/inputs"
}

# print_summary RUNDIR: prints the summary, keeps it, and returns its status. It is
# printed from memory: the run directory's file system may have no room to keep it.
print_summary() {
  local rundir=$1 status=0 text
  [ -f "$rundir/old" ] || { : >"$rundir/old"; } 2>/dev/null || true
  text=$(summary "$rundir") || status=$?
  printf '%s\n' "$text" 2>/dev/null || true
  { to "$rundir/summary.new" printf '%s\n' "$text" && quietly mv -f -- "$rundir/summary.new" "$rundir/summary"; } ||
    say "$rundir/summary: cannot keep the summary: $(reason "$REPLY")"
  return "$status"
}

# show_summary RUNDIR: --summary; settles a run whose batch did not (it was killed, or
# did not wait for its job) once nothing of it runs.
show_summary() {
  local rundir=$1
  read_engine "$rundir"
  if [ ! -e "$rundir/settled" ]; then
    lock_run_dir "$rundir"
    if [ "${setting[engine]}" = slurm ] && [ -s "$rundir/slurm/job" ] && job_active "$(<"$rundir/slurm/job")"; then
      die "job $(<"$rundir/slurm/job") of $rundir has not ended yet; ask again when it has"
    fi
    settle "$rundir"
  fi
  [ "${setting[engine]}" = parallel ] || merge_slurm_joblog "$rundir"
  print_summary "$rundir"
}

# finish RUNDIR: settles the run, prints the summary, and ends the batch with the
# summary's status, or with the signal's.
finish() {
  local rundir=$1 status=0
  settle "$rundir"
  [ "${setting[engine]}" = parallel ] || merge_slurm_joblog "$rundir"
  print_summary "$rundir" || status=$?
  # The engine could not start: the batch could not run, though the old outputs may
  # have been removed (the summary says which).
  [ -z "$not_started" ] || status=$status_cannot_run
  case $caught in
    HUP) status=129 ;;
    INT) status=130 ;;
    TERM) status=143 ;;
  esac
  # A terminal closed under the batch (SIGHUP) takes what is written to it: the
  # status stays the signal's.
  [ -z "$caught" ] || say "ended by SIG$caught; the conversions under way were stopped"
  [ -z "$caught" ] || status=$((status + signal_status_offset))
  exit "$status"
}
