# One conversion, run by the engine: a GNU parallel job or a SLURM array task. Part of
# conv2model-batch. Few programs are started here: each start costs milliseconds.

# place FROM TO DIAG: moves a finished output from the scratch directory onto its final
# name: under a temporary name into the destination directory first (a copy when they
# lie on different file systems), then renamed, so that the final name never shows a
# partial file. The temporary name is the run's own, so the batch can sweep it up.
place() {
  local from=$1 to=$2 diag=$3 temp
  temp=${to%/*}/.${to##*/}.$prog-${setting[run_id]}
  if mv -f -T -- "$from" "$temp" 2>"$diag" && mv -f -T -- "$temp" "$to" 2>"$diag"; then
    return 0
  fi
  rm -f -- "$temp"
  detail="$prog: $to: cannot write the output: $(reason "$diag")"
  return 1
}

# run_converter INPUT LOG DIAG WORK INFO: conv2model on INPUT in the scratch directory,
# its outputs placed as WORK and INFO; sets the caller's status and detail.
run_converter() {
  local input=$1 log=$2 diag=$3 work=$4 info=$5 link=${1##*/}
  # conv2model takes the input's name up to its first blank, up to the longest name
  # its output fields hold; any other name is linked as input.bin.
  if [[ $link =~ [[:space:]] ]] || [ ${#link} -gt "$longest_input_name" ] || [ "$link" = "$config_name" ]; then
    link=input.bin
  fi
  if ! ln -s -- "$input" "$scratch_dir/$link" 2>"$diag"; then
    detail="$prog: $scratch_dir: cannot link the input: $(reason "$diag")"
    return 0
  fi
  cd -- "$scratch_dir" || die "$scratch_dir: cannot enter the scratch directory"
  status=0
  "${setting[converter]}" <<<"$link"$'\n'"$prog" >>"$log" 2>"$diag" || status=$?
  cd / || die "cannot leave $scratch_dir"
  case $status in
    0)
      detail=converted
      if ! place "$scratch_dir/$link$work_suffix$info_suffix" "$info" "$diag" ||
        ! place "$scratch_dir/$link$work_suffix" "$work" "$diag"; then
        rm -f -- "$work" "$info"
        status=1
      fi
      ;;
    2) detail=$(tail -n 1 -- "$log") ;;
    *)
      detail=
      [ ! -s "$diag" ] || detail=$(tail -n 1 -- "$diag")
      if [ "$status" -gt 128 ]; then
        detail="conv2model was ended by signal $((status - 128)) ($(kill -l $((status - 128)) 2>/dev/null))"
      elif [ -z "$detail" ]; then
        detail="conv2model ended with status $status and no diagnostic"
      fi
      ;;
  esac
  [ "$status" -eq 0 ] || [ ! -s "$diag" ] || cat -- "$diag" >>"$log"
}

# convert_one RUNDIR INDEX INPUT CONFIG OUTDIR: converts one input (a line of the todo
# list) and records its result; returns conv2model's status.
convert_one() {
  local rundir=$1 index=$2 input=$3 config=$4 outdir=$5
  local tag name log diag work info status=1 detail
  [ -n "$outdir" ] || die "--task: expected the run directory, an index, an input, its grid configuration and output directory"
  printf -v tag '%06d' "$index"
  name=${input##*/}
  log=$rundir/logs/$tag-${name:0:200}.log
  # Diagnostics go to the run directory: a full scratch file system must not eat them.
  diag=$rundir/diag/$tag
  work=$outdir/$name$work_suffix
  info=$work$info_suffix
  rm -f -- "$rundir/status/$tag"
  : >"$log" || die "$log: cannot write the log"

  # Outputs of an earlier attempt must not survive next to a failed one.
  if ! rm -f -- "$work" "$info" 2>"$diag"; then
    detail=$(tail -n 1 -- "$diag") || true
    detail="$prog: cannot remove the old outputs: ${detail#rm: }"
  elif ! scratch_dir=$(mktemp -d "${setting[scratch_root]}/$tag.XXXXXX" 2>"$diag"); then
    scratch_dir=
    detail="$prog: ${setting[scratch_root]}: cannot make a scratch directory: $(reason "$diag")"
  elif ! cp -- "$config" "$scratch_dir/$config_name" 2>"$diag"; then
    detail="$prog: $config: cannot copy the grid configuration: $(reason "$diag")"
  else
    run_converter "$input" "$log" "$diag" "$work" "$info"
  fi
  [ "$status" -eq 0 ] || [ "$status" -eq 2 ] || [[ $detail == conv2model:* ]] ||
    printf '%s\n' "$detail" >>"$log"
  remove_scratch
  rm -f -- "$diag"
  # Leading and trailing blanks of the log line are of no use in the summary.
  detail=${detail#"${detail%%[![:space:]]*}"}
  detail=${detail%"${detail##*[![:space:]]}"}
  printf '%s\t%s\n' "$status" "$detail" >"$rundir/status/$tag" ||
    die "$rundir/status/$tag: cannot record the result"
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
