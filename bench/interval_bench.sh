#!/usr/bin/env bash
# The series bench: 24 hours of hourly input field files from 3-hourly quarter-degree
# GRIB 2 files, cut to a European window as a limited-area model's boundaries are. The
# files are the GFS test file's fields (split one field each by grib_copy, then
# cdo -f grb2 -invertlat -remapbil,r1440x721), their valid time moved 3 hours at a time
# by grib_set forecastTime: 9 held times. conv2model-prepare --each-time writes the 9
# held times alone, and with --interval 1h all 25 (16 interpolated), taking turns RUNS
# times; from the medians, the cost of a held time (the first / 9) and of an interpolated
# one (the difference / 16), by wall time and by processor time. Target: an interpolated
# time costs no more processor time than a held one; exits 1 when it is missed.
#   bench/interval_bench.sh PREPARE GFS_GRIB2 DIR [RUNS]   (RUNS default 3)
set -euo pipefail
prepare=$1 gfs=$2 dir=$3 runs=${4:-3}
mkdir -p "$dir"
cd "$dir"
if [ ! -f made ]; then
  echo "making 9 quarter-degree times in $dir ..." >&2
  rm -f ./*.grib2
  grib_copy -w typeOfLevel=isobaricInhPa/surface/meanSea/depthBelowLandLayer "$gfs" split.grib2
  cdo -s -f grb2 -invertlat -remapbil,r1440x721 split.grib2 quarter.grib2
  for k in 0 1 2 3 4 5 6 7 8; do
    grib_set -s forecastTime=$((120 + 3 * k)) quarter.grib2 "f$((3 * k + 100)).grib2"
  done
  rm split.grib2 quarter.grib2
  touch made
fi

# The wall seconds and the processor seconds (user and system, the decoding processes
# included) of one run, its outputs removed after it (outside the time). On a machine
# shared with other work the wall time is mostly waiting; the processor time is what a
# time costs.
seconds() {
  local start end cpu
  start=$(date +%s.%N)
  cpu=$( { TIMEFORMAT='%U %S'; time "$prepare" --allow-holes --area 60/-30/20/40 "$@" \
    >/dev/null 2>prepare.err; } 2>&1) || { cat prepare.err >&2; exit 1; }
  end=$(date +%s.%N)
  rm -f ./*.bin InputModelInf.txt prepare.err
  awk -v a="$start" -v b="$end" -v c="$cpu" 'BEGIN { split(c, t, " "); print b - a, t[1] + t[2] }'
}

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

: >held.times
: >series.times
for ((r = 0; r < runs; ++r)); do
  seconds --each-time -o 'held_%d%H.bin' f1*.grib2 >>held.times
  seconds --each-time --interval 1h -o 'hour_%d%H.bin' f1*.grib2 >>series.times
done
printf '| series, %d runs | wall, median | per time | processor, median | per time |\n' "$runs"
printf '|---|---:|---:|---:|---:|\n'
ratios=()
for column in 1 2; do
  held=$(cut -d' ' -f$column held.times | median)
  series=$(cut -d' ' -f$column series.times | median)
  per_held[column]=$(awk -v h="$held" 'BEGIN { print h / 9 }')
  per_between[column]=$(awk -v h="$held" -v s="$series" 'BEGIN { print (s - h) / 16 }')
  ratios+=("$(awk -v h="${per_held[column]}" -v b="${per_between[column]}" 'BEGIN { print b / h }')")
  all_held[column]=$held all_series[column]=$series
done
printf '| 9 held times | %.2f s | %.3f s | %.2f s | %.3f s |\n' "${all_held[1]}" "${per_held[1]}" \
  "${all_held[2]}" "${per_held[2]}"
printf '| 25 times at 1h (16 interpolated) | %.2f s | %.3f s interpolated | %.2f s | %.3f s interpolated |\n' \
  "${all_series[1]}" "${per_between[1]}" "${all_series[2]}" "${per_between[2]}"
printf 'interpolated / held time: %.2f by wall time, %.2f by processor time (target 1.0 at most)\n' \
  "${ratios[0]}" "${ratios[1]}"
awk -v r="${ratios[1]}" 'BEGIN { exit !(r <= 1) }'
