#!/usr/bin/env bash
# The benchmark end to end on a small case, one run of each program: the runner times
# them all, compares the converter's log with step timing on and off, and checks that
# io_floor's least mode writes the converter's records. The targets are not judged here
# (status 1, a missed target, means nothing on a case this small); any other failure is.
#   smoke_test.sh SAMPLE_GEN CONV2MODEL IO_FLOOR BENCH_RUNNER SCRATCH_DIR
set -euo pipefail
sample_gen=$1 conv=$2 floor=$3 runner=$4 dir=$5
rm -rf "$dir" && mkdir -p "$dir"
"$sample_gen" "$dir" 60 40 8 --missing-rh-top 2 >/dev/null
status=0
"$runner" 1 "$conv" "$floor" small="$dir" >"$dir/tables.md" || status=$?
if [ "$status" -gt 1 ]; then
  echo "bench smoke: bench_runner failed with status $status" >&2
  exit 1
fi
for row in '| small | conv2model |' '| small | floor, mapped' '| small | least work of a conversion'; do
  grep -qF "$row" "$dir/tables.md" || {
    echo "bench smoke: no row '$row' in the tables" >&2
    exit 1
  }
done
rm -rf "$dir"
