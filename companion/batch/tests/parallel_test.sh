#!/usr/bin/env bash
# conv2model-batch through the real GNU parallel: twenty inputs on two grids, one data
# stop and one broken input; every output, log, the summary, the job log and the exit
# status; a retry of the failed inputs; one configuration and one output directory for
# all; inputs that would write the same outputs.
#   parallel_test.sh BUILD_DIR WORK_DIR
set -uo pipefail
# shellcheck source=companion/batch/tests/batch_case.sh
. "$(dirname "$0")/batch_case.sh"
parallel_case "$@"
run=$w/run

echo "== 20 inputs, -j 2"
run_checked 1 "$batch" -j 2 --run-dir "$run" --list "$w/inputs.txt"
expected_summary "$run" 18 1 1 3 stopped 4 removed failed 16 removed | diff - "$w/out" || fail "summary"
cmp -s "$w/out" "$run/summary" || fail "the summary file differs from what was printed"
[ ! -s "$w/err" ] || { cat "$w/err"; fail "standard error is not empty (no terminal, no bar)"; }
check_results "$run"
check_joblog "$run" 20

echo "== retry after mending the broken input"
check_retry "$run" -j 2
run_checked 2 "$batch" --summary --run-dir "$run" >/dev/null

echo "== one configuration and one output directory for all, inputs from standard input"
mkdir -p "$w/out-dir" "$w/conf"
cp "$w/in/grid-a/InputModelInf.txt" "$w/conf/regional.txt"
outputs_before=$(cd "$w/in" && find . -name '*.ORUwrk*' -print0 | sort -z | xargs -0 sha256sum)
printf '%s\n' "${inputs[@]:1:2}" |
  run_checked 0 "$batch" --run-dir "$w/run2" --config "$w/conf/regional.txt" --output-dir "$w/out-dir" --list -
for k in 2 3; do
  cmp -s "$w/out-dir/a0$k.bin.ORUwrk" "$w/ref/$k/a0$k.bin.ORUwrk" || fail "a0$k in the output directory"
  cmp -s "$w/out-dir/a0$k.bin.ORUwrk.gdsinfo" "$w/ref/$k/a0$k.bin.ORUwrk.gdsinfo" || fail "a0$k info"
done
[ "$(cd "$w/in" && find . -name '*.ORUwrk*' -print0 | sort -z | xargs -0 sha256sum)" = "$outputs_before" ] ||
  fail "a batch with --output-dir changed the outputs beside the inputs"
grep -qx "conv2model-batch: 2 inputs: 2 converted, 0 stopped for data, 0 failed" "$w/out" || fail "summary"

echo "== a grid configuration that is missing, an output that cannot be replaced, inputs that clash"
run_checked 1 "$batch" --run-dir "$w/run3" --config "$w/conf/none.txt" "${inputs[1]}" >/dev/null
grep -q "failed   1       removed      ${inputs[1]}  conv2model-batch: $w/conf/none.txt: cannot copy the grid configuration: No such file or directory" "$w/out" ||
  fail "a missing configuration is not reported"
mkdir -p "$w/out-dir-2/a03.bin.ORUwrk"
run_checked 1 "$batch" --run-dir "$w/run3" --output-dir "$w/out-dir-2" "${inputs[2]}" >/dev/null
grep -q "failed   1       kept         ${inputs[2]}  conv2model-batch: cannot remove the old outputs: cannot remove '$w/out-dir-2/a03.bin.ORUwrk': Is a directory" "$w/out" ||
  fail "an output that cannot be replaced is not reported"
run_checked 3 "$batch" --run-dir "$w/run4" "${inputs[1]}" "$w/in/grid-a/../grid-a/a02.bin"
grep -qx "conv2model-batch: input 2: $w/in/grid-a/../grid-a/a02.bin: given twice: also input 1" "$w/err" ||
  fail "an input given twice is not refused"
[ ! -e "$w/run4/status" ] || fail "a refused batch converted something"
# A glob that takes outputs as inputs: each output refused, naming its input, whichever
# comes first; nothing done.
cp "$w/ref/2/a02.bin.ORUwrk" "$w/ref/2/a02.bin.ORUwrk.gdsinfo" "$w/in/grid-a/"
run_checked 3 "$batch" --run-dir "$w/run4" "${inputs[1]}" "${inputs[1]}.ORUwrk" "${inputs[1]}.ORUwrk.gdsinfo"
diff - "$w/err" <<EOF || fail "outputs taken as inputs"
conv2model-batch: input 2: ${inputs[1]}.ORUwrk: an output of input 1 (${inputs[1]}), not an input
conv2model-batch: input 3: ${inputs[1]}.ORUwrk.gdsinfo: an output of input 1 (${inputs[1]}), not an input
conv2model-batch: 2 of the inputs cannot be converted; nothing was done
EOF
run_checked 3 "$batch" --run-dir "$w/run4" "${inputs[1]}.ORUwrk" "${inputs[1]}"
grep -qx "conv2model-batch: input 1: ${inputs[1]}.ORUwrk: an output of input 2 (${inputs[1]}), not an input" "$w/err" ||
  fail "an output given before its input is not refused"
cmp -s "${inputs[1]}.ORUwrk" "$w/ref/2/a02.bin.ORUwrk" || fail "a refused batch touched an output"
echo "== a job array that sbatch refuses: nothing converted, the old outputs removed, the summary says so"
# An sbatch that refuses every array, as one refuses an unknown account or partition.
mkdir -p "$w/refusing"
printf '#!/bin/sh\necho "sbatch: error: Batch job submission failed: Invalid account or account/partition combination specified" >&2\nexit 1\n' \
  >"$w/refusing/sbatch"
chmod +x "$w/refusing/sbatch"
plant_old_outputs
PATH=$w/refusing:$PATH run_checked 3 "$batch" --slurm --run-dir "$w/run-refused" "${inputs[@]:0:3}" >/dev/null
grep -qx "conv2model-batch: sbatch refused the job array (see $w/run-refused/slurm/sbatch.err)" "$w/err" ||
  fail "standard error does not tell that sbatch refused the array"
grep -qx "sbatch: error: Batch job submission failed: .*" "$w/err" || fail "standard error does not give sbatch's reason"
grep -qx "conv2model-batch: 3 inputs: 0 converted, 0 stopped for data, 3 failed" "$w/out" || fail "no summary"
[ "$(grep -c "^failed   -       removed      .*  not converted: sbatch refused the job array (see $w/run-refused/slurm/sbatch.err)$" "$w/out")" -eq 3 ] ||
  fail "the rows do not tell that sbatch refused the array"
for k in 1 2 3; do check_beside "$k" 1; done
cp "$w/out" "$w/printed"
run_checked 1 "$batch" --summary --run-dir "$w/run-refused" >/dev/null
cmp -s "$w/out" "$w/printed" || fail "--summary does not read back the summary printed"
echo "== the longest input name conv2model accepts, converted and then up to date"
longest=$(sed -n 's/^readonly longest_input_name="\([0-9]*\)"$/\1/p' "$batch")
[ -n "$longest" ] || fail "the batch does not say the longest input name"
long_name=$(printf 'n%.0s' $(seq 1 $((longest - 4)))).bin
mkdir -p "$w/long" "$w/long-ref"
"$build/sample_gen" "$w/long" 12 8 5 --name "$long_name" >/dev/null || fail "sample_gen $long_name"
cp "$w/long/$long_name" "$w/long/InputModelInf.txt" "$w/long-ref/"
(cd "$w/long-ref" && printf '%s\nx\n' "$long_name" | "$build/conv2model" >/dev/null) || fail "conv2model $long_name"
for round in converted "up to date"; do
  run_checked 0 "$batch" --incremental --run-dir "$w/run-long" "$w/long/$long_name" >/dev/null
  grep -q "^conv2model-batch: 1 input: $([ "$round" = converted ] && echo 1 || echo 0) converted" "$w/out" ||
    fail "the longest name: not $round"
  cmp -s "$w/long/$long_name.ORUwrk" "$w/long-ref/$long_name.ORUwrk" || fail "the longest name: work file"
  cmp -s "$w/long/$long_name.ORUwrk.gdsinfo" "$w/long-ref/$long_name.ORUwrk.gdsinfo" || fail "the longest name: info file"
  [ -z "$(find "$w/long" -name '.*')" ] || fail "the longest name: temporary names or claims left"
  [ -s "$w/run-long/logs/000001-$long_name.log" ] || fail "the longest name: no log"
done
echo "== help, a bad option, the manual page"
run_checked 0 "$batch" --help >/dev/null
for option in --list --config --output-dir --run-dir --jobs --slurm --chunk --partition --time --mem \
  --retry-failed --summary; do
  grep -q -- " $option" "$w/out" || fail "--help does not tell $option"
done
# A wrong command line: status 64, nothing done, a pointer to --help.
for wrong in "--no-such-option" "--chunk 0 ${inputs[0]}" "--jobs" "--run-dir $w/run5" \
  "--retry-failed ${inputs[0]}" "--list $w/inputs.txt ${inputs[0]}"; do
  read -ra words <<<"$wrong"
  run_checked 64 "$batch" "${words[@]}" >/dev/null
  grep -qx "Try 'conv2model-batch --help'." "$w/err" || fail "$wrong: no pointer to --help"
done
[ ! -e "$w/run5" ] || fail "a wrong command line made a run directory"
page=$(dirname "$0")/../../../docs/man/conv2model-batch.1
if command -v groff >/dev/null; then
  warnings=$(groff -man -ww -z "$page" 2>&1)
  [ -z "$warnings" ] || fail "groff warns about $page: $warnings"
fi
echo "batch_parallel: all checks passed"
