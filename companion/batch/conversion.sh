# One conversion, run by the engine: a GNU parallel job or a SLURM array task. Part of
# conv2model-batch. Few programs are started here: each start costs milliseconds.

# place FROM TEMP TO: moves a finished output from the scratch directory onto its final
# name: under the temporary name TEMP into the destination directory first (a copy
# when they lie on different file systems), then renamed, so that the final name never
# shows a partial file. The temporary name is the run's own, so the batch can sweep it
# up.
place() {
  local from=$1 temp=$2 to=$3
  if quietly mv -f -T -- "$from" "$temp" && quietly mv -f -T -- "$temp" "$to"; then
    return 0
  fi
  detail="$prog: $to: cannot write the output: $(reason "$REPLY")"
  rm -f -- "$temp"
  return 1
}

# run_converter INPUT: conv2model on INPUT in the scratch directory, its outputs placed
# as the caller's work and info; sets the caller's status, detail and diag (what
# conv2model said on standard error, kept in memory: the run directory's file system
# may have no room for it).
run_converter() {
  local input=$1 link=${1##*/}
  # conv2model takes the input's name up to its first blank, up to the longest name
  # its output fields hold; any other name is linked as input.bin.
  if [[ $link =~ [[:space:]] ]] || [ ${#link} -gt "$longest_input_name" ] || [ "$link" = "$config_name" ]; then
    link=input.bin
  fi
  if ! quietly ln -s -- "$input" "$scratch_dir/$link"; then
    detail="$prog: $scratch_dir: cannot link the input: $(reason "$REPLY")"
    return 0
  fi
  cd -- "$scratch_dir" || die "$scratch_dir: cannot enter the scratch directory"
  status=0
  diag=$("${setting[converter]}" <<<"$link"$'\n'"$prog" 2>&1 >>"$log_file") || status=$?
  cd / || die "cannot leave $scratch_dir"
  case $status in
    0)
      detail=converted
      if ! place "$scratch_dir/$link$work_suffix$info_suffix" "$info_temp" "$info" ||
        ! place "$scratch_dir/$link$work_suffix" "$work_temp" "$work"; then
        rm -f -- "$work" "$info"
        status=1
      fi
      ;;
    2) detail=$(tail -n 1 -- "$log_file") ;;
    *)
      detail=${diag##*$'\n'}
      if [ "$status" -gt 128 ]; then
        detail="conv2model was ended by signal $((status - 128)) ($(kill -l $((status - 128)) 2>/dev/null))"
      elif [ -z "$detail" ]; then
        detail="conv2model ended with status $status and no diagnostic"
      fi
      ;;
  esac
}

# convert_one RUNDIR INDEX INPUT CONFIG OUTDIR: converts one input (a line of the todo
# list) and records its result; returns conv2model's status.
convert_one() {
  local rundir=$1 index=$2 input=$3 config=$4 outdir=$5 status=1 detail diag="" sources="" tail
  local tag status_file log_file record_file work info work_temp info_temp
  [ -n "$outdir" ] || die "--task: expected the run directory, an index, an input, its grid configuration and output directory"
  input_paths "$rundir" "$index" "$input" "$outdir"
  rm -f -- "$record_file"

  # Outputs of an earlier attempt must not survive next to a failed one.
  if ! { : >"$log_file"; } 2>/dev/null && ! to "$log_file" true; then
    detail="$prog: $log_file: cannot write the log: $REPLY"
    say "${detail#"$prog: "}"
  elif ! quietly rm -f -- "$work" "$info"; then
    detail="$prog: cannot remove the old outputs: ${REPLY#rm: }"
  elif ! scratch_dir=$(mktemp -d "${setting[scratch_root]}/$tag.XXXXXX" 2>&1); then
    detail="$prog: ${setting[scratch_root]}: cannot make a scratch directory: $(reason "$scratch_dir")"
    scratch_dir=
  elif ! quietly cp -- "$config" "$scratch_dir/$config_name"; then
    # cp names the file it could not read or write.
    detail="$prog: $config: cannot copy the grid configuration: $(reason "$REPLY")"
    [[ $REPLY != *"'$scratch_dir/"* ]] ||
      detail="$prog: $scratch_dir: cannot copy the grid configuration $config there: $(reason "$REPLY")"
  else
    # The digests of what the conversion reads, taken before it reads them: an input
    # changed meanwhile is then converted again by the next run.
    [ "${setting[incremental]}" -eq 0 ] || sources=$(source_digests "$input" "$scratch_dir/$config_name")
    run_converter "$input"
    [ "$status" -ne 0 ] || [ -z "$sources" ] || record_digests "$sources"
  fi
  # The log ends with the diagnostic: conv2model's, then the batch's own.
  if [ "$status" -ne 0 ]; then
    tail=$diag
    [ "$status" -eq 2 ] || [[ $detail == conv2model:* ]] || tail+=${tail:+$'\n'}$detail
    if [ -n "$tail" ] && ! REPLY=$({ printf '%s\n' "$tail" >>"$log_file"; } 2>&1); then
      REPLY="$log_file: cannot write the log: $(reason "$REPLY")"
      say "$REPLY"
      detail+="; $prog: $REPLY"
    fi
  fi
  remove_scratch
  # Leading and trailing blanks of the log line are of no use in the summary.
  detail=${detail#"${detail%%[![:space:]]*}"}
  detail=${detail%"${detail##*[![:space:]]}"}
  record_result "$status_file" "$status" "$detail" || exit 3
  return "$status"
}

# record_result STATUS_FILE STATUS DETAIL: an input's result, in the room its file
# keeps; on failure, said on standard error.
record_result() {
  write_in_room "$1" "$2"$'\t'"$3"$'\n' && return 0
  say "$1: cannot record the result: $REPLY"
  return 1
}

remove_scratch() {
  [ -z "$scratch_dir" ] || rm -rf -- "$scratch_dir"
  scratch_dir=
}

# A task ends with its signal's status; its scratch directory goes with it.
task_setup() {
  read_engine "$1"
  trap remove_scratch EXIT
  trap 'exit 129' HUP
  trap 'exit 130' INT
  trap 'exit 143' TERM
}

# --task RUNDIR INDEX INPUT CONFIG OUTDIR: one conversion started by GNU parallel.
run_task() {
  [ $# -eq 5 ] || die "--task: expected the run directory, an index, an input, its grid configuration and output directory"
  task_setup "$1"
  convert_one "$@"
}

# joblog_line INDEX STATUS START END COMMAND...: a line of GNU parallel's job log.
joblog_line() {
  local index=$1 status=$2 start=${3//[!0-9]/} end=${4//[!0-9]/} runtime
  shift 4
  runtime=$((end - start))
  printf '%s\t%s\t%s.%03d\t%s.%03d\t0\t0\t%s\t0\t%s\n' "$index" "${SLURMD_NODENAME:-$HOSTNAME}" \
    $((start / 1000000)) $((start / 1000 % 1000)) $((runtime / 1000000)) $((runtime / 1000 % 1000)) \
    "$status" "$(printf '%q ' "$@")"
}

# --slurm-task RUNDIR: one SLURM array task converts its chunk of the todo list one
# after the other, and writes a job log in GNU parallel's format.
run_slurm_task() {
  [ $# -eq 1 ] || die "--slurm-task: expected the run directory"
  local rundir=$1 id=${SLURM_ARRAY_TASK_ID:?not a SLURM array task}
  local joblog first index input config outdir start status worst=0
  task_setup "$rundir"
  joblog="$rundir/joblog.d/${SLURM_ARRAY_JOB_ID:-0}_$id"
  first=$((id * setting[chunk] + 1))
  : >"$joblog"
  while IFS=$'\t' read -r index input config outdir; do
    start=$EPOCHREALTIME
    status=0
    convert_one "$rundir" "$index" "$input" "$config" "$outdir" || status=$?
    joblog_line "$index" "$status" "$start" "$EPOCHREALTIME" \
      "$self" --task "$rundir" "$index" "$input" "$config" "$outdir" >>"$joblog"
    [ "$status" -le "$worst" ] || worst=$status
  done < <(sed -n "${first},$((first + setting[chunk] - 1))p" "$rundir/todo")
  exit "$worst"
}
