#!/usr/bin/env bash
# The benchmark end to end on a small case, one run of each program: the runner times
# them all, compares the converter's log with step timing on and off, and checks that
# io_floor's least mode writes the converter's records; then, when the companions are
# built, their bench exports the small case's work file and prepares a small GRIB 2
# file. The targets are not judged here (status 1, a missed target, means nothing on a
# case this small); any other failure is.
#   smoke_test.sh SAMPLE_GEN CONV2MODEL IO_FLOOR BENCH_RUNNER SCRATCH_DIR
#                 [COMPANION_BENCH INSPECT [PREPARE GRIB2 PREPARE_FLOOR]]
set -euo pipefail
sample_gen=$1 conv=$2 floor=$3 runner=$4 dir=$5
shift 5

# Fails unless every row named stands in the tables.
expect_rows() {
  local tables=$1 row
  shift
  for row in "$@"; do
    grep -qF "$row" "$tables" || {
      echo "bench smoke: no row '$row' in $tables" >&2
      exit 1
    }
  done
}

# Status 0 or 1 (a target missed) is a bench that ran.
run_bench() {
  local tables=$1 status=0
  shift
  "$@" >"$tables" || status=$?
  if [ "$status" -gt 1 ]; then
    echo "bench smoke: $1 failed with status $status" >&2
    exit 1
  fi
}

rm -rf "$dir" && mkdir -p "$dir"
"$sample_gen" "$dir" 60 40 8 --missing-rh-top 2 >/dev/null
run_bench "$dir/tables.md" "$runner" 1 "$conv" "$floor" small="$dir"
expect_rows "$dir/tables.md" '| small | conv2model |' '| small | floor, mapped' \
  '| small | least work of a conversion'

if [ $# -ge 2 ]; then
  companions=("$1" 1 "$2" "$dir")
  if [ $# -ge 5 ]; then
    mkdir -p "$dir/prepare"
    mapfile -t fields < <("$3" --inventory "$4" 2>/dev/null | sed -n 's/.*: message \([0-9]*\) (.*/\1/p')
    companions+=("$3" "$conv" "$5" "$dir/prepare" "$4" -- "${fields[@]}")
  fi
  run_bench "$dir/companions.md" "${companions[@]}"
  expect_rows "$dir/companions.md" '| conv2model-inspect netcdf |' '| nccopy -d1 -s |' \
    '| export / nccopy, deflate 1 with shuffle |'
  if [ $# -ge 5 ]; then
    expect_rows "$dir/companions.md" '| conv2model-prepare |' \
      '| end to end: GRIB 2 in, work file out |' ': prepare -j 1 / floor |' \
      '| conv2model-prepare -j 2 |' '| memory | output |'
    [ -s "$dir/prepare/analysis.bin.ORUwrk" ] || {
      echo "bench smoke: the prepared case was not converted" >&2
      exit 1
    }
  fi
fi
rm -rf "$dir"
