#!/usr/bin/env bash
# conv2model-prepare against its floor (prepare_floor: ecCodes' own decode of the same
# fields in one thread, and the write of as many floats), with 1 and 2 decoding
# processes, three runs each:
#   bench/prepare_bench.sh BUILD_DIR GRIB_FILE...
# Prints, per file, the median wall time and its range, peak memory, and the ratios.
set -euo pipefail
shopt -s inherit_errexit

build="$(cd "$1" && pwd)"
shift
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Wall seconds, peak resident KiB and processor seconds (the workers' included) of one
# run of the command. On a shared machine the processor time is the steadier measure.
# A run that fails is not a time: the bench stops with its diagnostic.
timed() {
  if ! /usr/bin/time -f '%e %M %U %S' -o "$work/time" "$@" >/dev/null 2>"$work/stderr"; then
    echo "prepare_bench: failed: $*" >&2
    cat "$work/stderr" >&2
    exit 1
  fi
  tail -1 "$work/time"
}

# "median (min-max) s, processor median s, MiB" of three runs of the command after
# OUTPUT. Each starts with its output gone and the disk's writes flushed (outside the
# time): writing over a file of hundreds of MiB, or after one, waits for its writeback.
three() {
  local output=$1 runs=()
  shift
  while [ ${#runs[@]} -lt 3 ]; do
    rm -f "${work:?}/$output"
    sync -f "$work"
    runs+=("$(cd "$work" && timed "$@")")
  done
  printf '%s\n' "${runs[@]}" | sort -n | awk '
    { t[NR] = $1; c = $3 + $4; s += c; if (NR == 1 || c < lo) lo = c; if (c > hi) hi = c
      if ($2 > m) m = $2 }
    END { printf "%.2f (%.2f-%.2f) s, processor %.2f s, %d MiB\n", t[2], t[1], t[3],
                 s - lo - hi, m / 1024 }'
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

for file in "$@"; do
  file="$(cd "$(dirname "$file")" && pwd)/$(basename "$file")"
  mapfile -t fields < <(cd "$work" && "$build/conv2model-prepare" --inventory "$file" 2>/dev/null |
    sed -n 's/.*: message \([0-9]*\) (.*/\1/p')
  echo "$(basename "$file"): ${#fields[@]} fields"
  floor="$(three floor.bin "$build/bench/prepare_floor" "$file" floor.bin "${fields[@]}")"
  # Interpolated to a finer grid, the soil fields have points without data along the
  # coasts; the conversion fills them.
  one="$(three one.bin "$build/conv2model-prepare" -j 1 --allow-holes -o one.bin "$file")"
  two="$(three two.bin "$build/conv2model-prepare" -j 2 --allow-holes -o two.bin "$file")"
  echo "  floor (ecCodes, 1 thread): $floor"
  echo "  prepare -j 1:              $one  (x$(ratio "${one%% *}" "${floor%% *}") the floor)"
  echo "  prepare -j 2:              $two  ($(ratio "${one%% *}" "${two%% *}")x faster than -j 1)"
  cmp -s "$work/one.bin" "$work/two.bin" || echo "  -j 1 and -j 2 wrote different bytes"
done
