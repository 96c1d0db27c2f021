#!/usr/bin/env bash
# The benchmark: conv2model against the I/O floor on two sample cases, then the
# companions beside the tools users compare them with.
#   bench/run.sh [RUNS]        (RUNS runs per program and case, taking turns, default 15)
# Builds conv2model, the floor and the runner in Release in build-bench/, and
# conv2model in the plain build type in build-bench-plain/; generates the cases in
# build-bench/bench-data/ (again only when sample_gen has changed); checks that both
# builds write the same bytes (work file, info file, log) on every case; then prints
# the tables. Then, when conv2model-inspect is built, its NetCDF export of the global
# case's work file against nccopy (BENCH_COMPANION_RUNS rounds, default 3); and when
# conv2model-prepare is built too, prepare on a quarter-degree GRIB 2 case made from the
# GFS test file (its messages split one field each by grib_copy, then cdo -f grb2
# -invertlat -remapbil,r1440x721, then repacked by grib_set as CCSDS and as JPEG 2000),
# with one decoding process and with two, beside its floor, bench/prepare_floor
# (ecCodes' own decode of the fields prepare reads, one thread, and the write of their
# bytes), in the same turns; and the end-to-end time of the simple packing, prepare
# then conv2model. Exits non-zero when the outputs differ or a target is missed.
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
cmake --build "$build" -j2 --target conv2model sample_gen io_floor bench_runner companion_bench \
  >/dev/null
# The companions, when this build has them.
for target in conv2model-inspect conv2model-prepare prepare_floor; do
  cmake --build "$build" -j2 --target "$target" >/dev/null 2>&1 || true
done
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

# The quarter-degree GRIB 2 case in three packings (simple, CCSDS, JPEG 2000), made
# again only when its source has changed; prints their paths.
quarter_degree_gribs() {
  local source=$top/companion/prepare/tests/data/gfs.t12z.pgrbf120.2p5deg.grib2
  local dir=$data/prepare
  if [ ! -f "$dir/made" ] || [ "$source" -nt "$dir/made" ]; then
    echo "making the quarter-degree GRIB 2 case in three packings ..." >&2
    rm -rf "$dir" && mkdir -p "$dir"
    grib_copy "$source" "$dir/split.grib2"
    cdo -s -f grb2 -invertlat -remapbil,r1440x721 "$dir/split.grib2" "$dir/simple.grib2"
    grib_set -r -s packingType=grid_ccsds "$dir/simple.grib2" "$dir/ccsds.grib2"
    grib_set -r -s packingType=grid_jpeg "$dir/simple.grib2" "$dir/jpeg.grib2"
    rm "$dir/split.grib2"
    touch "$dir/made"
  fi
  printf '%s\n' "$dir/simple.grib2" "$dir/ccsds.grib2" "$dir/jpeg.grib2"
}

status=0
compare=()
if [ -n "${BENCH_COMPARE:-}" ]; then compare=(--compare "$BENCH_COMPARE"); fi
"$build/bench/bench_runner" "$runs" "$build/conv2model" "$build/bench/io_floor" "${compare[@]}" \
  "${case_args[@]}" || status=$?

if [ -x "$build/conv2model-inspect" ]; then
  companions=("$build/bench/companion_bench" "${BENCH_COMPANION_RUNS:-3}"
    "$build/conv2model-inspect" "$data/global")
  if [ -x "$build/conv2model-prepare" ] && ! { command -v cdo && command -v grib_copy; } >/dev/null; then
    echo "bench: prepare is not timed: its case is made with cdo and grib_copy" \
      "(Debian packages cdo and libeccodes-tools)" >&2
  elif [ -x "$build/conv2model-prepare" ]; then
    mapfile -t gribs < <(quarter_degree_gribs)
    # The floor decodes the fields prepare reads: their numbers from its inventory (the
    # same in every packing).
    mapfile -t fields < <("$build/conv2model-prepare" --inventory "${gribs[0]}" 2>/dev/null |
      sed -n 's/.*: message \([0-9]*\) (.*/\1/p')
    companions+=("$build/conv2model-prepare" "$build/conv2model" "$build/bench/prepare_floor"
      "$(dirname "${gribs[0]}")" "${gribs[@]}" -- "${fields[@]}")
  fi
  echo "bench: the companions ..." >&2
  echo
  "${companions[@]}" || status=$((status > 0 ? status : $?))
fi
exit "$status"
