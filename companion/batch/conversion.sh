# One conversion, run by the engine: a GNU parallel job or a SLURM array task. Part of
# conv2model-batch. Few programs are started here: each start costs milliseconds.

# place FROM TEMP TO: moves a finished output from the scratch directory onto its final
# name: under the temporary name TEMP into the destination directory first (a copy
# when they lie on different file systems), then renamed, so that the final name never
# shows a partial file. The temporary name is the run's own, so the batch can sweep it
# up.
place() {
  local from=$1 temp=$2 to=$3
  if mv -f -T -- "$from" "$temp" 2>"$diag_file" && mv -f -T -- "$temp" "$to" 2>"$diag_file"; then
    return 0
  fi
  rm -f -- "$temp"
  detail="$prog: $to: cannot write the output: $(reason "$diag_file")"
  return 1
}

# run_converter INPUT: conv2model on INPUT in the scratch directory, its outputs placed
# as the caller's work and info; sets the caller's status and detail.
run_converter() {
  local input=$1 link=${1##*/}
  # conv2model takes the input's name up to its first blank, up to the longest name
  # its output fields hold; any other name is linked as input.bin.
  if [[ $link =~ [[:space:]] ]] || [ ${#link} -gt "$longest_input_name" ] || [ "$link" = "$config_name" ]; then
    link=input.bin
  fi
  if ! ln -s -- "$input" "$scratch_dir/$link" 2>"$diag_file"; then
    detail="$prog: $scratch_dir: cannot link the input: $(reason "$diag_file")"
    return 0
  fi
  cd -- "$scratch_dir" || die "$scratch_dir: cannot enter the scratch directory"
  status=0
  "${setting[converter]}" <<<"$link"$'\n'"$prog" >>"$log_file" 2>"$diag_file" || status=$?
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
      detail=
      [ ! -s "$diag_file" ] || detail=$(tail -n 1 -- "$diag_file")
      if [ "$status" -gt 128 ]; then
        detail="conv2model was ended by signal $((status - 128)) ($(kill -l $((status - 128)) 2>/dev/null))"
      elif [ -z "$detail" ]; then
        detail="conv2model ended with status $status and no diagnostic"
      fi
      ;;
  esac
  [ "$status" -eq 0 ] || [ ! -s "$diag_file" ] || cat -- "$diag_file" >>"$log_file"
}

# convert_one RUNDIR INDEX INPUT CONFIG OUTDIR: converts one input (a line of the todo
# list) and records its result; returns conv2model's status.
convert_one() {
  local rundir=$1 index=$2 input=$3 config=$4 outdir=$5 status=1 detail sources=
  local tag status_file diag_file log_file record_file work info work_temp info_temp
  [ -n "$outdir" ] || die "--task: expected the run directory, an index, an input, its grid configuration and output directory"
  input_paths "$rundir" "$index" "$input" "$outdir"
  rm -f -- "$status_file" "$record_file"
  : >"$log_file" || die "$log_file: cannot write the log"

  # Outputs of an earlier attempt must not survive next to a failed one.
  if ! rm -f -- "$work" "$info" 2>"$diag_file"; then
    detail=$(tail -n 1 -- "$diag_file") || true
    detail="$prog: cannot remove the old outputs: ${detail#rm: }"
  elif ! scratch_dir=$(mktemp -d "${setting[scratch_root]}/$tag.XXXXXX" 2>"$diag_file"); then
    scratch_dir=
    detail="$prog: ${setting[scratch_root]}: cannot make a scratch directory: $(reason "$diag_file")"
  elif ! cp -- "$config" "$scratch_dir/$config_name" 2>"$diag_file"; then
    detail="$prog: $config: cannot copy the grid configuration: $(reason "$diag_file")"
  else
    # The digests of what the conversion reads, taken before it reads them: an input
    # changed meanwhile is then converted again by the next run.
    [ "${setting[incremental]}" -eq 0 ] || sources=$(source_digests "$input" "$scratch_dir/$config_name")
    run_converter "$input"
    [ "$status" -ne 0 ] || [ -z "$sources" ] || record_digests "$sources"
  fi
  [ "$status" -eq 0 ] || [ "$status" -eq 2 ] || [[ $detail == conv2model:* ]] ||
    printf '%s\n' "$detail" >>"$log_file"
  remove_scratch
  rm -f -- "$diag_file"
  # Leading and trailing blanks of the log line are of no use in the summary.
  detail=${detail#"${detail%%[![:space:]]*}"}
  detail=${detail%"${detail##*[![:space:]]}"}
  printf '%s\t%s\n' "$status" "$detail" >"$status_file" ||
    die "$status_file: cannot record the result"
  return "$status"
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
