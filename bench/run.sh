#!/usr/bin/env bash
# The benchmark: conv2model against the I/O floor on two sample cases.
#   bench/run.sh [RUNS]        (RUNS runs per program and case, taking turns, default 15)
# Builds conv2model, the floor and the runner in Release in build-bench/, and
# conv2model in the plain build type in build-bench-plain/; generates the cases in
# build-bench/bench-data/ (again only when sample_gen has changed); checks that both
# builds write the same bytes (work file, info file, log) on every case; then prints
# the tables. Exits non-zero when the outputs differ or a target is missed.
# BENCH_COMPARE=PATH times another conv2model binary (an earlier version) beside them.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-15}
build=${BENCH_BUILD:-$top/build-bench}
plain=${BENCH_PLAIN_BUILD:-$top/build-bench-plain}
data=$build/bench-data
# The plain build needs only the converter; the measured build keeps whatever else its
# directory was configured with.
plain_options=(-DCONV2MODEL_TESTS=OFF -DCONV2MODEL_INSPECT=OFF)

echo "building $build (Release) and $plain (plain) ..." >&2
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target conv2model sample_gen io_floor bench_runner >/dev/null
cmake -S "$top" -B "$plain" "${plain_options[@]}" >/dev/null
cmake --build "$plain" -j2 --target conv2model >/dev/null

# name, then the sample_gen arguments after DIR
cases=(
  "regional 400 300 40 --missing-rh-top 3"
  "global 1440 721 26 --global --missing-rh-top 2"
)

case_args=()
for c in "${cases[@]}"; do
  read -r name args <<<"$c"
  dir=$data/$name
  if [ ! -f "$dir/generated" ] || [ "$build/sample_gen" -nt "$dir/generated" ] ||
     [ "$(cat "$dir/generated")" != "$args" ]; then
    echo "generating $name ($args) ..." >&2
    rm -rf "$dir" && mkdir -p "$dir"
    # shellcheck disable=SC2086
    "$build/sample_gen" "$dir" $args
    echo "$args" >"$dir/generated"
  fi
  # Every output byte must be the same from the plain and the measured build.
  for b in "$plain" "$build"; do
    (cd "$dir" && "$b/conv2model" <stdin.txt >hash.stdout &&
     sha256sum sample.bin.ORUwrk sample.bin.ORUwrk.gdsinfo hash.stdout) >"$dir/hashes.$(basename "$b")"
  done
  if ! cmp -s "$dir/hashes.$(basename "$plain")" "$dir/hashes.$(basename "$build")"; then
    echo "bench: $name: the outputs of $build differ from those of $plain" >&2
    diff "$dir/hashes.$(basename "$plain")" "$dir/hashes.$(basename "$build")" >&2 || true
    exit 1
  fi
  echo "outputs of $name identical in both builds: $(cut -c1-16 "$dir/hashes.$(basename "$build")" | tr '\n' ' ')" >&2
  case_args+=("$name=$dir")
done

compare=()
if [ -n "${BENCH_COMPARE:-}" ]; then compare=(--compare "$BENCH_COMPARE"); fi
"$build/bench/bench_runner" "$runs" "$build/conv2model" "$build/bench/io_floor" "${compare[@]}" \
  "${case_args[@]}"
