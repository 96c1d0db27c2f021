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
  { quietly mkdir -p -- "$rundir" && quietly touch -- "$rundir/$marker"; } ||
    die "$rundir: cannot make the run directory: $(reason "$REPLY")"
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

# input_paths RUNDIR INDEX INPUT OUTDIR: the caller's tag, status_file, log_file,
# record_file, work, info, work_temp, info_temp and claim of one input: every path
# that belongs to an input is built here and nowhere else. Each name stays within the
# 255 bytes a file system allows for every input name conv2model accepts: the
# temporary names hold the run and the input's index, not its name.
input_paths() {
  printf -v tag '%06d' "$2"
  # shellcheck disable=SC2059 # the one format of the status path, shared with awk
  printf -v status_file "$status_format" "$1" "$2"
  record_file=$1/digests.d/$tag
  fit "${3##*/}" $((name_max - ${#tag} - 5))
  log_file=$1/logs/$tag-$REPLY.log
  work=$4/${3##*/}$work_suffix
  info=$work$info_suffix
  work_temp=$4/.$prog-${setting[run_id]-}-$tag$work_suffix
  info_temp=$work_temp$info_suffix
  fit "${3##*/}$work_suffix" $((name_max - ${#prog} - 8))
  claim=$4/.$prog-claim.$REPLY
}

# fit NAME MAX: NAME in REPLY, or, when longer than MAX bytes, its start and a digest of
# the whole, MAX bytes in all. No program is started.
fit() {
  local LC_ALL=C name=$1 hash=-3750763034362895579 i byte
  if [ ${#name} -le "$2" ]; then
    REPLY=$name
    return
  fi
  # FNV-1a, 64 bits, over the bytes of the name.
  for ((i = 0; i < ${#name}; i++)); do
    printf -v byte '%d' "'${name:i:1}"
    hash=$(((hash ^ (byte & 255)) * 1099511628211))
  done
  printf -v REPLY '%s~%016x' "${name:0:$2 - 17}" "$hash"
}

# claim_outputs RUNDIR TODO: claims the outputs of every input of the TODO list for
# RUNDIR, so that two batches never work on the same outputs at once (the later one
# would remove what the earlier one wrote, and the earlier one's summary would lie).
# The claim is a symbolic link to the run directory beside the input's work file. The
# claim of a run directory where nothing runs any more is taken over; that of a batch
# still running refuses this one, naming its run directory, before anything is done.
claim_outputs() {
  local rundir=$1 index input outdir owner bad=0
  local tag status_file log_file record_file work info work_temp info_temp claim
  while IFS=$'\t' read -r index input _ outdir; do
    input_paths "$rundir" "$index" "$input" "$outdir"
    ln -s -T -- "$rundir" "$claim" 2>/dev/null && continue
    # Not made and none there: the directory refuses it; the conversion will say why.
    [ -L "$claim" ] || continue
    [ ! "$claim" -ef "$rundir" ] || continue
    owner=$(readlink -- "$claim") || continue
    if run_alive "$owner" || ! take_over "$claim" "$owner" "$rundir"; then
      say "input $index: $input: its outputs are being written by the batch of run directory $owner"
      bad=$((bad + 1))
    fi
  done <"$2"
  claimed=$2
  if [ $bad -gt 0 ]; then
    release_claims "$rundir" "$2"
    die "$bad of the inputs have outputs that another batch is working on; nothing was done"
  fi
}

# take_over CLAIM OWNER RUNDIR: the claim of OWNER, a run where nothing runs, made
# RUNDIR's. Under OWNER's lock, so that of two batches taking over the same claim at
# once the second finds the first's; false when that lock is held or the claim has
# changed meanwhile.
take_over() {
  local claim=$1 owner=$2 rundir=$3 fd taken=1
  { exec {fd}<"$owner/lock"; } 2>/dev/null || fd=
  if [ -z "$fd" ] || flock -n "$fd"; then
    if [ "$(readlink -- "$claim" 2>/dev/null)" = "$owner" ] && ln -s -T -- "$rundir" "$claim.$$" &&
      mv -f -T -- "$claim.$$" "$claim"; then
      taken=0
    fi
    rm -f -- "$claim.$$"
  fi
  [ -z "$fd" ] || exec {fd}<&-
  return $taken
}

# run_alive RUNDIR: true while a batch, or conversions of a killed one, hold RUNDIR's
# lock, or its SLURM job submitted without waiting has not ended.
run_alive() {
  local rundir=$1 fd
  [ -f "$rundir/$marker" ] || return 1
  if { exec {fd}<"$rundir/lock"; } 2>/dev/null; then
    if ! flock -n -s "$fd"; then
      exec {fd}<&-
      return 0
    fi
    exec {fd}<&-
  fi
  [ -s "$rundir/slurm/job" ] && [ ! -e "$rundir/settled" ] && job_active "$(<"$rundir/slurm/job")"
}

# release_claims RUNDIR LIST: the claims of RUNDIR beside the inputs of LIST go.
release_claims() {
  local rundir=$1 index input outdir
  local tag status_file log_file record_file work info work_temp info_temp claim
  while IFS=$'\t' read -r index input _ outdir; do
    input_paths "$rundir" "$index" "$input" "$outdir"
    [ ! "$claim" -ef "$rundir" ] || rm -f -- "$claim"
  done <"$2"
  claimed=
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
      engine | converter | scratch_root | chunk | run_id | incremental | converter_digest)
        setting[$key]=${line#*=} ;;
      *) die "$file: not a setting of $prog: $line" ;;
    esac
  done <"$file"
  for key in engine converter scratch_root chunk run_id; do
    [ -n "${setting[$key]-}" ] || die "$file: no $key"
  done
  [ -n "${setting[incremental]-}" ] || setting[incremental]=0
}

# write_engine RUNDIR KEY=VALUE...: one setting a line; no value holds a line feed.
write_engine() {
  local rundir=$1
  shift
  { to "$rundir/engine.new" printf '%s\n' "$@" && quietly mv -f -- "$rundir/engine.new" "$rundir/engine"; } ||
    die "$rundir/engine: cannot write the run's settings: $(reason "$REPLY")"
}

# prepare_run RUNDIR: the inputs and the todo list of a new batch or of a retry, as
# inputs.new and todo.new, checked; nothing of an earlier run is changed yet.
prepare_run() {
  local rundir=$1
  if [ "${opt[retry]}" -eq 0 ]; then
    read_inputs
    write_inputs "$rundir"
    check_inputs "$rundir/inputs.new"
    quietly cp -- "$rundir/inputs.new" "$rundir/todo.new" || die "$rundir/todo: cannot write: $(reason "$REPLY")"
  else
    { [ -f "$rundir/$marker" ] && [ -f "$rundir/inputs" ]; } || die "$rundir: no earlier run to retry"
    check_inputs "$rundir/inputs"
    # Every input without the record of a conversion.
    # shellcheck disable=SC2016 # an awk program
    to "$rundir/todo.new" awk -F'\t' -v rundir="$rundir" -v status_format="$status_format" '{
        file = sprintf(status_format, rundir, $1); line = ""
        getline line < file; close(file)
        if (line !~ /^0\t/) print
      }' "$rundir/inputs" || die "$rundir/todo: cannot write: $(reason "$REPLY")"
  fi
}

# start_run RUNDIR: the prepared run takes the place of the earlier one, with room kept
# for its records.
start_run() {
  local rundir=$1
  rm -f -- "$rundir/settled"
  if [ "${opt[retry]}" -eq 0 ]; then
    rm -rf -- "$rundir/logs" "$rundir/status" "$rundir/joblog.d" "$rundir/slurm" \
      "$rundir/joblog" "$rundir/summary" "$rundir/old"
    mv -f -- "$rundir/inputs.new" "$rundir/inputs"
  fi
  mv -f -- "$rundir/todo.new" "$rundir/todo"
  claimed=$rundir/todo
  # The digests of an earlier run that was never settled are not taken.
  rm -rf -- "$rundir/digests.d" "$rundir/diag"
  quietly mkdir -p -- "$rundir/logs" "$rundir/status" "$rundir/digests.d" ||
    die "$rundir: cannot make its directories: $(reason "$REPLY")"
  keep_room "$rundir"
}

# The records of a run that must be written whatever becomes of the run directory's
# file system (it may be the scratch's too, and a conversion may fill it): each input's
# result and what became of the old outputs. Their room is taken when the run starts,
# as blank lines, and a record is written over it in place, so that writing it needs no
# space the file system may no longer have. Readers take the first lines and skip blank
# ones. A run directory that has not even that room is refused before anything is done.
readonly room_size=4096

# keep_room RUNDIR: the room of the records of the run's todo list.
keep_room() {
  local rundir=$1 index input outdir lines blank
  local tag status_file log_file record_file work info work_temp info_temp claim
  printf -v blank "%${room_size}s" ''
  blank=${blank// /$'\n'}
  while IFS=$'\t' read -r index input _ outdir; do
    input_paths "$rundir" "$index" "$input" "$outdir"
    { printf '%s' "$blank" >"$status_file"; } 2>/dev/null ||
      to "$status_file" printf '%s' "$blank" || die "$status_file: cannot keep room for the result: $REPLY"
  done <"$rundir/todo"
  lines=$(wc -l <"$rundir/inputs")
  to "$rundir/old.new" room $((room_size + 32 * lines)) ||
    die "$rundir/old: cannot keep room for the record of the old outputs: $REPLY"
}

# room BYTES: BYTES blank lines on standard output.
room() {
  local blank left=$1
  printf -v blank "%${room_size}s" ''
  blank=${blank// /$'\n'}
  while [ "$left" -gt "$room_size" ]; do
    printf '%s' "$blank" || return
    left=$((left - room_size))
  done
  printf '%s' "${blank:0:left}"
}

# write_in_room FILE TEXT: TEXT over the room kept in FILE, the rest of the room blank.
# On failure, false with the reason in REPLY.
write_in_room() {
  local LC_ALL=C text=$2 blank
  printf -v blank "%${room_size}s" ''
  blank=${blank// /$'\n'}
  [ ${#text} -ge "$room_size" ] || text+=${blank:${#text}}
  # Opened for reading and writing: not cut to nothing first, as > would.
  REPLY=$({ exec 3<>"$1" && printf '%s' "$text" >&3; } 2>&1) && return 0
  REPLY=$(reason "$REPLY")
  return 1
}

# to FILE COMMAND...: COMMAND's standard output into FILE. On failure, false with the
# system's reason in REPLY (the shell's own line about the failed write is not shown).
to() {
  REPLY=$({ "${@:2}" >"$1"; } 2>&1) && return 0
  REPLY=$(reason "$REPLY")
  return 1
}

# quietly COMMAND...: COMMAND, which prints nothing on standard output; when it fails,
# false with the last line of its diagnostic in REPLY.
quietly() {
  REPLY=$("$@" 2>&1) && return 0
  REPLY=${REPLY##*$'\n'}
  return 1
}

# scratch_root RUNDIR RUN_ID: a scratch directory of this run's own, made; the whole
# of it is removed when the run ends.
scratch_root() {
  local rundir=$1 root=${opt[scratch]}
  [ -n "$root" ] || root=$rundir/scratch
  root=$(absolute "$root")/$prog-$2
  quietly mkdir -p -- "$root" || die "$root: cannot make the scratch directory: $(reason "$REPLY")"
  [[ $root != *$'\n'* ]] || die "a line feed in the scratch directory's path is not supported"
  printf '%s\n' "$root"
}
