#!/usr/bin/env bash
# Throughput of conv2model-batch through GNU parallel on the regional case of the
# benchmark (400 x 300 x 40), in conversions per second.
#   bench/batch_throughput.sh [INPUTS [ROUNDS]]     (default 16 inputs, 3 rounds)
# Builds in Release in build-bench/, generates INPUTS different times of the case in
# build-bench/bench-data/batch/ (again only when sample_gen has changed), then converts
# them all ROUNDS times each with a plain loop of conv2model, with -j 1 and with -j 2,
# alternating, on a warm page cache, each after a sync. Prints the median and the range.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
inputs=${1:-16}
rounds=${2:-3}
build=${BENCH_BUILD:-$top/build-bench}
data=$build/bench-data/batch

echo "building $build (Release) ..." >&2
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target conv2model sample_gen >/dev/null

if [ ! -f "$data/generated" ] || [ "$build/sample_gen" -nt "$data/generated" ] ||
   [ "$(cat "$data/generated")" != "$inputs" ]; then
  echo "generating $inputs inputs of 400 x 300 x 40 ..." >&2
  rm -rf "$data" && mkdir -p "$data"
  for k in $(seq 1 "$inputs"); do
    "$build/sample_gen" "$data" 400 300 40 --missing-rh-top 3 --hour $((6 * k)) \
      --name "$(printf 'an%03d.bin' "$k")"
  done
  echo "$inputs" >"$data/generated"
fi

# Milliseconds taken by a command, after the writeback of what ran before it.
timed() {
  sync
  local start=${EPOCHREALTIME//[!0-9]/} end
  "$@" >/dev/null
  end=${EPOCHREALTIME//[!0-9]/}
  echo $(((end - start) / 1000))
}

# The same conversions without the batch tool, into new files as the batch writes them
# (overwriting a work file in place would spare the file system its block allocation).
plain_loop() {
  local f
  for f in "$data"/an*.bin; do
    rm -f "$f.ORUwrk" "$f.ORUwrk.gdsinfo"
    (cd "$data" && printf '%s\nbench\n' "${f##*/}" | "$build/conv2model") || return 1
  done
}

cat "$data"/an*.bin >/dev/null # warm the page cache
declare -A ms
for round in $(seq 1 "$rounds"); do
  ms[loop]+="$(timed plain_loop) "
  for j in 1 2; do
    ms[j$j]+="$(timed "$build/conv2model-batch" -j "$j" --run-dir "$data/run" "$data"/an*.bin) "
  done
  echo "round $round (ms): ${ms[loop]}/ ${ms[j1]}/ ${ms[j2]}" >&2
done

printf '%d inputs of 400 x 300 x 40 (97 MiB each), %d rounds: conversions per second\n' "$inputs" "$rounds"
for key in loop j1 j2; do
  case $key in
    loop) label="conv2model in a plain loop" ;;
    j1) label="conv2model-batch -j 1" ;;
    j2) label="conv2model-batch -j 2" ;;
  esac
  # shellcheck disable=SC2086
  read -r low median high < <(printf '%s\n' ${ms[$key]} | sort -n |
    awk '{ v[NR] = $1 } END { print v[1], v[int((NR + 1) / 2)], v[NR] }')
  awk -v n="$inputs" -v lo="$high" -v me="$median" -v hi="$low" -v label="$label" \
    'BEGIN { printf "  %-28s %6.2f /s  (%.2f to %.2f)\n", label, n * 1000 / me, n * 1000 / lo, n * 1000 / hi }'
done
