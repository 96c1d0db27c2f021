# shellcheck shell=bash
# The batch case shared by the engine tests (sourced): twenty generated inputs on two
# grids, the conversions they must give, and the checks of a batch's results.
#
# Inputs, in list order (index: file):
#   1-10   in/grid-a/aNN.bin          12 x 8 x 5, six hours apart; a04 stops for data
#   11-19  in/grid-b/bNN.bin          9 x 7 x 4; b16 is cut short and fails on input
#   20     in/<a deep path over 239 characters, its directories with blanks inside and at
#          the end>/b 20.bin, on grid b
# A stale work file and info file lie beside a01, a04 and b16 before the batch.

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# shellcheck source=companion/batch/tests/deadline.sh
. "$(dirname "${BASH_SOURCE[0]}")/deadline.sh"

# make_case BUILD DIR: the batch tool of BUILD in $batch; the inputs under DIR/in, the
# list DIR/inputs.txt, the reference conversions under DIR/ref (made with conv2model
# directly), and DIR/before (a listing of every file under DIR/in with its checksum).
make_case() {
  build=$1
  batch=$build/conv2model-batch
  w=$2
  rm -rf "$w"
  mkdir -p "$w/in/grid-a" "$w/in/grid-b" "$w/ref" || fail "cannot make $w"
  deep="$w/in/season archive/$(printf 'december analyses %.0s' 1 2 3 4 5 6)/$(printf 'regional model grid b %.0s' 1 2 3 4 5 6)"
  mkdir -p "$deep" || fail "cannot make $deep"
  inputs=()
  local k dir name extra
  for k in $(seq 1 20); do
    extra=()
    if [ "$k" -le 10 ]; then
      dir=$w/in/grid-a name=$(printf 'a%02d.bin' "$k") grid=(12 8 5)
    else
      dir=$w/in/grid-b name=$(printf 'b%02d.bin' "$k") grid=(9 7 4)
    fi
    [ "$k" -ne 20 ] || dir=$deep name="b 20.bin"
    [ "$k" -ne 4 ] || extra=(--missing-ht-level 2)
    [ "$k" -ne 16 ] || extra=(--cut-short)
    "$build/sample_gen" "$dir" "${grid[@]}" --hour $((6 * k)) --name "$name" "${extra[@]}" ||
      fail "sample_gen $dir $name"
    inputs+=("$dir/$name")
  done
  rm -f "$w/in/grid-a/stdin.txt" "$w/in/grid-b/stdin.txt" "$deep/stdin.txt"
  [ ${#deep} -gt 239 ] || fail "the deep path is only ${#deep} characters"
  printf '%s\n' "${inputs[@]}" >"$w/inputs.txt"
  for k in 1 4 16; do
    printf 'stale\n' >"${inputs[k - 1]}.ORUwrk"
    printf 'stale\n' >"${inputs[k - 1]}.ORUwrk.gdsinfo"
  done
  for k in $(seq 1 20); do reference "$k"; done
  snapshot >"$w/before"
}

# reference K: converts input K with conv2model directly in DIR/ref/K, under the name
# the batch gives it (input.bin for a name with a blank).
reference() {
  local k=$1 input=${inputs[$1 - 1]} r=$w/ref/$1
  rm -rf "$r" && mkdir -p "$r"
  cp "$(dirname "$input")/InputModelInf.txt" "$r/"
  link_name "$input"
  ln -s "$input" "$r/$link"
  (cd "$r" && printf '%s\nconv2model-batch\n' "$link" | "$build/conv2model" >stdout 2>stderr)
  echo $? >"$r/status"
}

link_name() {
  link=${1##*/}
  [[ $link != *" "* ]] || link=input.bin
}

# Every file under DIR/in but the outputs, with its checksum.
snapshot() {
  (cd "$w/in" && find . -type f ! -name '*.ORUwrk' ! -name '*.ORUwrk.gdsinfo' -print0 | sort -z |
    xargs -0 sha256sum)
}

# check_results RUNDIR: every input's result, outputs and log against its reference
# conversion; nothing left behind; the input directories unchanged but for the outputs.
check_results() {
  local rundir=$1 k input name tag status result log expected
  for k in $(seq 1 20); do
    input=${inputs[k - 1]}
    name=${input##*/}
    tag=$(printf '%06d' "$k")
    link_name "$input"
    expected=$(cat "$w/ref/$k/status")
    recorded "$rundir" "$k"
    [ "$status" = "$expected" ] || fail "input $k: status $status, conv2model gives $expected"
    log=$rundir/logs/$tag-$name.log
    if [ "$result" = "0"$'\t'"up to date" ]; then
      # Not converted again: its log says why.
      grep -qx "conv2model-batch: up to date: not converted again; .*" "$log" || fail "input $k: log $log"
    else
      cat "$w/ref/$k/stdout" "$w/ref/$k/stderr" | cmp -s - "$log" || fail "input $k: log $log differs"
    fi
    check_beside "$k" "$expected"
  done
  check_no_leftovers "$rundir"
  snapshot | cmp -s - "$w/before" || fail "files under $w/in changed besides the outputs"
}

# expected_summary RUNDIR CONVERTED STOPPED FAILED REMOVED [RESULT K OLD]...: the summary
# the batch must print, with one row per input K that did not convert, OLD telling what
# became of its old outputs; REMOVED inputs had old outputs removed.
expected_summary() {
  local rundir=$1 converted=$2 stopped=$3 failed=$4 removed=$5 width=5 k row
  shift 5
  local rows=("$@")
  for ((k = 1; k < ${#rows[@]}; k += 3)); do
    input=${inputs[rows[k] - 1]}
    [ ${#input} -le "$width" ] || width=${#input}
  done
  echo "conv2model-batch: 20 inputs: $converted converted, $stopped stopped for data, $failed failed"
  echo "old outputs: removed beside $removed inputs before the conversions; no input in the table has outputs now"
  if [ ${#rows[@]} -gt 0 ]; then
    echo
    row="%-7s  %-6s  %-11s  %-${width}s  %s\n"
    # shellcheck disable=SC2059 # the row's format, built once
    printf "$row" result status "old outputs" input "last log line (stopped) or diagnostic (failed)"
    for ((k = 0; k < ${#rows[@]}; k += 3)); do
      # shellcheck disable=SC2059
      case ${rows[k + 1]} in
        4) printf "$row" stopped 2 "${rows[k + 2]}" "${inputs[3]}" \
          "Height data missing at level:    800.000000" ;;
        16) printf "$row" failed 1 "${rows[k + 2]}" "${inputs[15]}" \
          "conv2model: b16.bin: record 2 (ua) is cut: its length says 1008 bytes, the file ends after 504" ;;
      esac
    done
    echo
  fi
  echo "job log: $rundir/joblog"
  echo "logs:    $rundir/logs/ (one per input)"
}

# check_joblog RUNDIR ROWS: the job log has a header and ROWS jobs, and each job's exit
# value is the recorded status of the input it converted (the last job of each input).
check_joblog() {
  local rundir=$1 jobs=$2
  [ "$(head -n 1 "$rundir/joblog" | cut -f 1,7,9)" = "$(printf 'Seq\tExitval\tCommand')" ] ||
    fail "job log $rundir/joblog: no header"
  [ "$(($(wc -l <"$rundir/joblog") - 1))" -eq "$jobs" ] || fail "job log: expected $jobs jobs"
  awk -F'\t' 'NR > 1 { split($9, word, " "); last[word[4]] = $7 }
    END { for (k in last) printf "%06d\t%s\n", k, last[k] }' "$rundir/joblog" | sort >"$w/joblog.exit"
  for f in "$rundir"/status/*; do printf '%s\t%s\n' "${f##*/}" "$(cut -f 1 "$f")"; done |
    cmp -s - "$w/joblog.exit" || fail "job log exit values differ from the recorded statuses"
}

# check_retry RUNDIR ENGINE-OPTION...: mends the broken input, retries the failed inputs
# of RUNDIR, and checks that exactly those were converted again.
check_retry() {
  local rundir=$1 converted_before
  shift
  converted_before=$(stat -c '%i %Y' "${inputs[0]}.ORUwrk" "${inputs[10]}.ORUwrk")
  "$build/sample_gen" "$(dirname "${inputs[15]}")" 9 7 4 --hour 96 --name b16.bin >/dev/null
  rm -f "$w/in/grid-b/stdin.txt"
  reference 16
  snapshot >"$w/before"
  run_checked 2 "$batch" --retry-failed "$@" --run-dir "$rundir"
  expected_summary "$rundir" 19 1 0 3 stopped 4 removed | diff - "$w/out" || fail "summary after the retry"
  check_results "$rundir"
  check_joblog "$rundir" 22
  [ "$(stat -c '%i %Y' "${inputs[0]}.ORUwrk" "${inputs[10]}.ORUwrk")" = "$converted_before" ] ||
    fail "the retry converted inputs that had converted"
}

# Outputs of other contents beside every input: what an earlier batch left before the
# inputs were made again (a02's beside a01, a01's beside the others).
plant_old_outputs() {
  local input from
  for input in "${inputs[@]}"; do
    from=$w/ref/1/a01.bin
    [ "$input" != "${inputs[0]}" ] || from=$w/ref/2/a02.bin
    cp "$from.ORUwrk" "$input.ORUwrk"
    cp "$from.ORUwrk.gdsinfo" "$input.ORUwrk.gdsinfo"
  done
}

# check_invariant RUNDIR: beside every input, the outputs of its present contents (when
# its result says converted) or none; no temporary name, no scratch directory left.
check_invariant() {
  local rundir=$1 k status result
  for k in $(seq 1 20); do
    recorded "$rundir" "$k"
    check_beside "$k" "$status"
  done
  check_no_leftovers "$rundir"
}

# recorded RUNDIR K: the result recorded for input K (the first line of its status file:
# the rest is blank room) in the caller's result, its exit status in status; fails the
# test when none is recorded.
recorded() {
  result=
  read -r result <"$1/status/$(printf '%06d' "$2")" 2>/dev/null
  [ -n "$result" ] || fail "input $2: no result recorded in $1"
  status=${result%%$'\t'*}
}

# check_beside K STATUS: beside input K, the outputs of a direct conversion (STATUS 0)
# or none.
check_beside() {
  local k=$1 input=${inputs[$1 - 1]} link
  link_name "$input"
  if [ "$2" = 0 ]; then
    cmp -s "$input.ORUwrk" "$w/ref/$k/$link.ORUwrk" || fail "input $k: converted, but its work file differs"
    cmp -s "$input.ORUwrk.gdsinfo" "$w/ref/$k/$link.ORUwrk.gdsinfo" || fail "input $k: info file differs"
  else
    [ ! -e "$input.ORUwrk" ] || fail "input $k: not converted, yet a work file stands beside it"
    [ ! -e "$input.ORUwrk.gdsinfo" ] || fail "input $k: not converted, yet an info file stands beside it"
  fi
}

# check_no_leftovers RUNDIR: no temporary name beside the inputs, no scratch directory.
check_no_leftovers() {
  [ -z "$(find "$w/in" -name '.*conv2model-batch*')" ] || fail "temporary files left under $w/in"
  [ -z "$(ls -A "$1/scratch" 2>/dev/null)" ] || fail "scratch directories left in $1/scratch"
}

# wait_until SECONDS WHAT COMMAND...: returns once COMMAND succeeds; fails the test,
# naming WHAT, when SECONDS have passed first.
wait_until() {
  within "$1" "${@:3}" || fail "$2: not within $1 s"
}

# results_at_least N RUNDIR: N inputs of the batch in RUNDIR have ended (their status
# files, blank from the start, hold a result).
results_at_least() {
  local file line count=0
  for file in "$2"/status/*; do
    line=
    { read -r line <"$file"; } 2>/dev/null
    [ -z "$line" ] || count=$((count + 1))
  done
  [ "$count" -ge "$1" ]
}

# batch_ended RUNDIR: no conversion of a batch in RUNDIR runs any more.
batch_ended() {
  ! pgrep -f -- "--task $1" >/dev/null
}

# run_dir_free RUNDIR: nothing of a run holds its run directory's lock any more (a batch
# killed outright settles its run in the background before it lets go).
run_dir_free() {
  flock -n "$1/lock" true
}

# run_checked EXPECTED_STATUS COMMAND...: runs a batch, keeping its output in DIR/out.
run_checked() {
  local expected=$1 status
  shift
  "$@" >"$w/out" 2>"$w/err"
  status=$?
  cat "$w/out"
  [ "$status" -eq "$expected" ] || { cat "$w/err" >&2; fail "$* ended with status $status, not $expected"; }
}

# parallel_case BUILD_DIR WORK_DIR: the case of a test through GNU parallel: sets build
# and w, and makes the inputs in w.
parallel_case() {
  build=$(cd "$1" && pwd) || exit 1
  mkdir -p "$2" && w=$(cd "$2" && pwd) || exit 1
  command -v parallel >/dev/null || fail "GNU parallel is not installed (Debian package parallel)"
  make_case "$build" "$w"
}
