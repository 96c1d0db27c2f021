# The inputs of a batch and their old outputs: read, recorded, checked before anything
# is done, and the old outputs removed before any conversion starts. Part of
# conv2model-batch.

# read_inputs: the inputs asked for, from the command line or the list.
read_inputs() {
  [ -n "${opt[list]}" ] || return 0
  if [ "${opt[list]}" = - ]; then
    mapfile -t inputs
  else
    [ -r "${opt[list]}" ] || die "${opt[list]}: cannot read the list of inputs"
    mapfile -t inputs <"${opt[list]}"
  fi
}

# write_inputs RUNDIR: the inputs file of a new batch, one line per input. No program is
# started per input here: a list may hold many thousands.
write_inputs() {
  local rundir=$1 config=${opt[config]} outdir=${opt[outdir]} input dir index=0
  [ -z "$config" ] || config=$(absolute "$config")
  if [ -n "$outdir" ]; then
    outdir=$(absolute "$outdir")
    [ -d "$outdir" ] || die "$outdir: the output directory does not exist"
  fi
  local -a lines=()
  for input in "${inputs[@]}"; do
    input=${input%$'\r'} # a list written with CR LF line ends
    [ -n "$input" ] || continue
    [[ $input != *[$'\t\n']* ]] || die "$input: a tab or a line feed in a path is not supported"
    [[ $input == /* ]] || input=$PWD/$input
    dir=${input%/*}
    dir=${dir:-/}
    index=$((index + 1))
    lines+=("$index"$'\t'"$input"$'\t'"${config:-$dir/$config_name}"$'\t'"${outdir:-$dir}")
  done
  [ $index -gt 0 ] || usage_error "no inputs"
  to "$rundir/inputs.new" printf '%s\n' "${lines[@]}" || die "$rundir/inputs: cannot write: $REPLY"
}

# check_inputs FILE: every input a readable file, given once, with outputs of its own;
# one line for each one that is not, and then the batch does not run.
check_inputs() {
  local file=$1 index input outdir problem bad=0 real_input real_output
  declare -A real=() given=() writes=() made=() path_of=()
  # First the outputs of every input, so that an input that is another's output (a
  # glob such as *.bin* takes both) is refused whichever comes first.
  while IFS=$'\t' read -r index input _ outdir; do
    real_path "$outdir"
    real_output=${real[$outdir]}/${input##*/}$work_suffix
    made[$real_output]=$index made[$real_output$info_suffix]=$index path_of[$index]=$input
  done <"$file"
  while IFS=$'\t' read -r index input _ outdir; do
    problem=
    if [[ $input == */ ]] || [ -d "$input" ]; then
      problem="a directory, not an input file"
    elif [ ! -e "$input" ]; then
      problem="no such file"
    elif [ ! -r "$input" ]; then
      problem="cannot be read: permission denied"
    fi
    real_path "${input%/*}"
    real_input=${real[${input%/*}]}/${input##*/}
    real_output=${real[$outdir]}/${input##*/}$work_suffix
    if [ -n "$problem" ]; then
      :
    elif [ -n "${given[$real_input]+set}" ]; then
      problem="given twice: also input ${given[$real_input]}"
    elif [ -n "${writes[$real_output]+set}" ]; then
      problem="would write the same outputs as input ${writes[$real_output]}: $real_output"
    elif [ -n "${made[$real_input]+set}" ]; then
      problem="an output of input ${made[$real_input]} (${path_of[${made[$real_input]}]}), not an input"
    fi
    [ -n "${given[$real_input]+set}" ] || given[$real_input]=$index
    [ -n "${writes[$real_output]+set}" ] || writes[$real_output]=$index
    if [ -n "$problem" ]; then
      say "input $index: $input: $problem"
      bad=$((bad + 1))
    fi
  done <"$file"
  [ $bad -eq 0 ] || die "$bad of the inputs cannot be converted; nothing was done"
}

# real_path DIR: the caller's real[DIR], once per directory.
real_path() {
  [ -n "${real[$1]+set}" ] || real[$1]=$(realpath -m -- "${1:-/}")
}

# clear_old_outputs RUNDIR: removes the old outputs of every input to convert before
# any conversion starts, and records in RUNDIR/old what became of them. Removed, not
# kept aside to be put back: nothing could tell whether they came from an input's
# present contents, and only outputs that are gone cannot be taken for a result after
# an ending the batch does not see (a lost node, a killed batch). An input whose old
# outputs cannot be removed is not converted: its row says why. The outputs of an input
# up to date are kept as they are.
clear_old_outputs() {
  local rundir=$1 index input outdir path line k
  local tag status_file log_file record_file work info work_temp info_temp
  local -a found=() owner=() owner_status=()
  declare -A fate=() kept=()
  if [ -f "$rundir/old" ]; then
    while IFS=$'\t' read -r index line; do [ -z "$index" ] || fate[$index]=$line; done <"$rundir/old"
  fi
  for index in "${!kept_as_they_are[@]}"; do fate[$index]=kept; done
  while IFS=$'\t' read -r index input _ outdir; do
    input_paths "$rundir" "$index" "$input" "$outdir"
    for path in "$work" "$info"; do
      if [ -e "$path" ] || [ -L "$path" ]; then
        found+=("$path") owner+=("$index") owner_status+=("$status_file") fate[$index]=removed
      fi
    done
    [ -n "${fate[$index]-}" ] || fate[$index]=none
  done <"$rundir/todo"
  [ ${#found[@]} -eq 0 ] || printf '%s\0' "${found[@]}" | xargs -0 rm -f -- 2>/dev/null || true
  for k in "${!found[@]}"; do
    path=${found[k]} index=${owner[k]}
    if [ -e "$path" ] || [ -L "$path" ]; then
      line=$(rm -f -- "$path" 2>&1) || true
      fate[$index]=kept kept[$index]=1
      record_result "${owner_status[k]}" 1 "$prog: cannot remove the old outputs: ${line#rm: }" || true
    fi
  done
  # In the room kept for it: the file system may be full.
  line=$(for index in "${!fate[@]}"; do printf '%s\t%s\n' "$index" "${fate[$index]}"; done | sort -n)
  if ! write_in_room "$rundir/old.new" "$line"$'\n' || ! quietly mv -f -- "$rundir/old.new" "$rundir/old"; then
    say "$rundir/old: cannot record what became of the old outputs: $(reason "$REPLY")"
  fi
  # An input whose old outputs were kept is not converted. Should the list not be
  # written, its conversion finds them again and says the same.
  if [ ${#kept[@]} -gt 0 ]; then
    # shellcheck disable=SC2016 # an awk program
    { to "$rundir/todo.new" awk -F'\t' -v skip=" ${!kept[*]} " 'index(skip, " " $1 " ") == 0' "$rundir/todo" &&
      mv -f -- "$rundir/todo.new" "$rundir/todo"; } || rm -f -- "$rundir/todo.new"
  fi
}
