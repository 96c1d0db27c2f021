# --incremental: an input is converted again only when what its outputs come from has
# changed. The run directory keeps, per input, the digests (SHA-256) of the input's
# bytes, of its grid configuration, of the converter (its version and its program) and
# of each output written; a rerun compares digests, never times. Part of
# conv2model-batch.
#
#   digests      one line per input converted: input, grid configuration, output
#                directory, then the digests of the input, the configuration, the
#                converter, the work file and the info file, tab-separated
#   digests.d/   the line of each input converted by the run under way; it joins
#                digests only when the run is settled, so that an interrupted run leaves
#                nothing a later run could take as up to date

# hash_files FILE...: hashed[FILE] is the SHA-256 of each FILE that could be read, by
# one run of sha256sum.
hash_files() {
  local entry
  hashed=()
  [ $# -gt 0 ] || return 0
  # Lines ended by NUL: names are given as they are, without escapes.
  while IFS= read -r -d '' entry; do
    hashed[${entry:66}]=${entry:0:64}
  done < <(printf '%s\0' "$@" | xargs -0 sha256sum -z -- 2>/dev/null)
}

# converter_digest CONVERTER: the converter's version and the digest of its program,
# in REPLY.
converter_digest() {
  local said
  said=$("$1" --version </dev/null 2>/dev/null) || said="no version"
  hash_files "$1"
  [ -n "${hashed[$1]-}" ] || die "$1: cannot read the converter"
  REPLY="${hashed[$1]} ${said//[$'\t\n']/ }"
}

# source_digests INPUT CONFIG: the digests of an input and of its configuration,
# tab-separated; nothing when one could not be read.
source_digests() {
  hash_files "$1" "$2"
  if [ -n "${hashed[$1]-}" ] && [ -n "${hashed[$2]-}" ]; then
    printf '%s\t%s\n' "${hashed[$1]}" "${hashed[$2]}"
  fi
}

# record_digests SOURCES: the line of the input converted (the caller's input, config,
# outdir, work, info and record_file) with SOURCES (from source_digests), once its
# outputs are in place.
record_digests() {
  hash_files "$work" "$info"
  [ -n "${hashed[$work]-}" ] && [ -n "${hashed[$info]-}" ] || return 0
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$input" "$config" "$outdir" "$1" \
    "${setting[converter_digest]}" "${hashed[$work]}" "${hashed[$info]}" >"$record_file" ||
    rm -f -- "$record_file"
}

# skip_up_to_date RUNDIR: every input of the todo list whose outputs come from its
# present contents, its present configuration and this converter (their digests are
# those recorded, and the outputs' are too) gets the result "up to date" and leaves
# the todo list; its outputs stay as they are.
skip_up_to_date() {
  local rundir=$1 index input config outdir d_in d_conf d_conv d_work d_info k line
  local tag status_file log_file record_file work info work_temp info_temp
  local -a lines=() files=()
  declare -A recorded=() skip=()
  [ -s "$rundir/digests" ] || return 0
  while IFS=$'\t' read -r input config outdir d_in d_conf d_conv d_work d_info; do
    [ "$d_conv" = "${setting[converter_digest]}" ] &&
      recorded[$input$'\t'$config$'\t'$outdir]=$d_in$'\t'$d_conf$'\t'$d_work$'\t'$d_info
  done <"$rundir/digests"
  # The inputs with a line of this converter and both outputs there: their files are
  # read by one run of sha256sum.
  while IFS= read -r line; do
    IFS=$'\t' read -r index input config outdir <<<"$line"
    [ -n "${recorded[$input$'\t'$config$'\t'$outdir]-}" ] || continue
    input_paths "$rundir" "$index" "$input" "$outdir"
    { [ -f "$work" ] && [ -f "$info" ]; } || continue
    lines+=("$line")
    files+=("$input" "$config" "$work" "$info")
  done <"$rundir/todo"
  [ ${#lines[@]} -gt 0 ] || return 0
  hash_files "${files[@]}"
  for k in "${!lines[@]}"; do
    IFS=$'\t' read -r index input config outdir <<<"${lines[k]}"
    input_paths "$rundir" "$index" "$input" "$outdir"
    [ "${hashed[$input]-}"$'\t'"${hashed[$config]-}"$'\t'"${hashed[$work]-}"$'\t'"${hashed[$info]-}" = \
      "${recorded[$input$'\t'$config$'\t'$outdir]}" ] || continue
    skip[$index]=1 kept_as_they_are[$index]=1
    record_result "$status_file" 0 "up to date" || die "the results cannot be recorded; nothing was done"
    line="$prog: up to date: not converted again; its outputs come from its present contents, grid configuration and converter"
    { printf '%s\n' "$line" >"$log_file"; } 2>/dev/null || to "$log_file" printf '%s\n' "$line" ||
      say "$log_file: cannot write the log: $REPLY"
  done
  [ ${#skip[@]} -gt 0 ] || return 0
  # shellcheck disable=SC2016 # an awk program
  { to "$rundir/todo.new" awk -F'\t' -v skip=" ${!skip[*]} " 'index(skip, " " $1 " ") == 0' "$rundir/todo" &&
    quietly mv -f -- "$rundir/todo.new" "$rundir/todo"; } || die "$rundir/todo: cannot write: $(reason "$REPLY")"
}

# merge_digests RUNDIR: once the run is settled, the lines of the inputs it converted
# join those of earlier runs; an input of the run that did not convert loses its line.
merge_digests() {
  local rundir=$1 index input config outdir line result
  local tag status_file log_file record_file work info work_temp info_temp
  declare -A in_run=()
  [ -s "$rundir/digests" ] || [ -d "$rundir/digests.d" ] || return 0
  while IFS=$'\t' read -r index input config outdir; do
    in_run[$input$'\t'$config$'\t'$outdir]=$index
  done <"$rundir/todo"
  { to "$rundir/digests.new" merged_digests "$rundir" && quietly mv -f -- "$rundir/digests.new" "$rundir/digests"; } ||
    say "$rundir/digests: cannot record the digests: $(reason "$REPLY"); the next incremental run converts everything"
  rm -rf -- "$rundir/digests.d"
}

# merged_digests RUNDIR: the lines of the digests file once the run is settled (the
# caller's in_run: the inputs of the run).
merged_digests() {
  local rundir=$1 index input config outdir line result
  local tag status_file log_file record_file work info work_temp info_temp
  if [ -f "$rundir/digests" ]; then
      while IFS= read -r line; do
      [ -n "${in_run[${line%$'\t'*$'\t'*$'\t'*$'\t'*$'\t'*}]+set}" ] || printf '%s\n' "$line" || return
    done <"$rundir/digests"
  fi
  while IFS=$'\t' read -r index input config outdir; do
    input_paths "$rundir" "$index" "$input" "$outdir"
    result=
    [ ! -f "$status_file" ] || read -r result <"$status_file" || true
    if [ "$result" = 0$'\t'converted ] && [ -s "$record_file" ]; then
      read -r line <"$record_file" && { printf '%s\n' "$line" || return; }
    fi
  done <"$rundir/todo"
}
