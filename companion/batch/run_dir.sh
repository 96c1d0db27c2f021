# The run directory of conv2model-batch: made or opened, locked while a batch works in
# it, its settings (the engine file) and the start of a run. Part of the script: the
# build joins the parts into conv2model-batch.

# open_run_dir RUNDIR: made here, or one this program made before; locked while the
# batch runs.
open_run_dir() {
  local rundir=$1
  if [ -e "$rundir" ] && [ ! -f "$rundir/$marker" ] && [ -n "$(ls -A -- "$rundir" 2>/dev/null)" ]; then
    die "$rundir: exists and is not a run directory of $prog; name another with --run-dir"
  fi
  { mkdir -p -- "$rundir" && touch -- "$rundir/$marker"; } || die "$rundir: cannot make the run directory"
  lock_run_dir "$rundir"
}

# lock_run_dir RUNDIR: the run directory's lock on descriptor 9. It is passed on to GNU
# parallel and its conversions alone, so it is free once nothing of the run is alive,
# even when the batch was killed outright and its conversions went on without it.
lock_run_dir() {
  local rundir=$1 session=
  exec 9>"$rundir/lock"
  flock -n 9 && return 0
  [ ! -s "$rundir/session" ] ||
    session=" (or the conversions of a killed one, in GNU parallel's session $(<"$rundir/session"))"
  die "$rundir: a batch is still running in this run directory$session"
}

# read_engine RUNDIR: the run directory's engine file into setting[], as data.
read_engine() {
  local file=$1/engine line key
  [ -f "$1/$marker" ] || die "$1: not a run directory of $prog"
  [ -r "$file" ] || die "$file: cannot read the run's settings"
  setting=()
  while IFS= read -r line; do
    key=${line%%=*}
    case $key in
      engine | converter | scratch_root | chunk | run_id) setting[$key]=${line#*=} ;;
      *) die "$file: not a setting of $prog: $line" ;;
    esac
  done <"$file"
  for key in engine converter scratch_root chunk run_id; do
    [ -n "${setting[$key]-}" ] || die "$file: no $key"
  done
}

# write_engine RUNDIR KEY=VALUE...: one setting a line; no value holds a line feed.
write_engine() {
  local rundir=$1
  shift
  { printf '%s\n' "$@" >"$rundir/engine.new" && mv -f -- "$rundir/engine.new" "$rundir/engine"; } ||
    die "$rundir/engine: cannot write the run's settings"
}

# start_run RUNDIR: the inputs and the todo list of a new batch or of a retry.
start_run() {
  local rundir=$1
  if [ "${opt[retry]}" -eq 0 ]; then
    read_inputs
    write_inputs "$rundir"
    check_inputs "$rundir/inputs.new"
    rm -rf -- "$rundir/logs" "$rundir/status" "$rundir/joblog.d" "$rundir/slurm" \
      "$rundir/joblog" "$rundir/summary" "$rundir/old"
    mv -f -- "$rundir/inputs.new" "$rundir/inputs"
    cp -- "$rundir/inputs" "$rundir/todo"
  else
    { [ -f "$rundir/$marker" ] && [ -f "$rundir/inputs" ]; } || die "$rundir: no earlier run to retry"
    check_inputs "$rundir/inputs"
    # Every input without the record of a conversion.
    awk -F'\t' -v statusdir="$rundir/status" '{
        file = sprintf("%s/%06d", statusdir, $1); line = ""
        getline line < file; close(file)
        if (line !~ /^0\t/) print
      }' "$rundir/inputs" >"$rundir/todo"
  fi
  mkdir -p -- "$rundir/logs" "$rundir/status" "$rundir/diag" || die "$rundir: cannot make its directories"
}

# scratch_root RUNDIR RUN_ID: a scratch directory of this run's own, made; the whole
# of it is removed when the run ends.
scratch_root() {
  local rundir=$1 root=${opt[scratch]}
  [ -n "$root" ] || root=$rundir/scratch
  root=$(absolute "$root")/$prog-$2
  mkdir -p -- "$root" || die "$root: cannot make the scratch directory"
  [[ $root != *$'\n'* ]] || die "a line feed in the scratch directory's path is not supported"
  printf '%s\n' "$root"
}
