#!/usr/bin/env bash
# The --grid bench: the GFS test file's fields at a quarter degree (as the series bench
# makes them: grib_copy, then cdo -f grb2 -invertlat -remapbil,r1440x721), put by CDO's
# remapbil onto a 12 km Lambert grid of 417 x 267 points over North America (Eta's
# projection, Latin 25, LoV 265; the grid's GRIB 2 template made from
# eta_t500_lambert.grb with grib_filter), then brought back onto a regular 0.1-degree
# grid over 45/-110/25/-75 by conv2model-prepare --grid (decoding, interpolation, the
# input field file) and by cdo -P 2 remapbil (the interpolation, a GRIB file), taking
# turns RUNS times. Soil near the coasts is missing on the Lambert grid (CDO's remapbil
# leaves a point without data where a corner has none), hence --allow-holes. Target:
# prepare at least as fast as CDO; exits 1 when it is missed.
#   bench/grid_bench.sh PREPARE GFS_GRIB2 ETA_T500_LAMBERT DIR [RUNS]   (RUNS default 3)
set -euo pipefail
prepare=$1 gfs=$2 eta=$3 dir=$4 runs=${5:-3}
mkdir -p "$dir"
cd "$dir"
if [ ! -f made ]; then
  echo "making the Lambert file in $dir ..." >&2
  rm -f ./*.grib2 ./*.grb
  grib_copy -w typeOfLevel=isobaricInhPa/surface/meanSea/depthBelowLandLayer "$gfs" split.grib2
  cdo -s -f grb2 -invertlat -remapbil,r1440x721 split.grib2 quarter.grib2
  awk 'BEGIN {
    printf "set Nx=417; set Ny=267; set DxInMetres=12000; set DyInMetres=12000;\n"
    printf "set latitudeOfFirstGridPointInDegrees=18.5191;\n"
    printf "set longitudeOfFirstGridPointInDegrees=241.357;\nset values={280"
    for (k = 1; k < 417 * 267; ++k) printf ",280"
    printf "};\nwrite \"lambert_template.grb\";\n"
  }' >template.rules
  grib_filter template.rules "$eta"
  cdo -s remapbil,lambert_template.grb quarter.grib2 cdo_lambert.grib2
  # CDO 2.1 flags the rows north to south (jScansPositively 0) while its first point is
  # the grid's south-west corner; ecCodes 2.28 places the rows from there northwards and
  # --grid southwards, so --grid refuses the grid as one whose points do not fall where
  # ecCodes places them. The flag set to 1 makes the file one grid for both (the order
  # of the values does not matter to the timing).
  grib_set -s jScansPositively=1 cdo_lambert.grib2 lambert.grib2
  rm split.grib2 quarter.grib2 template.rules lambert_template.grb cdo_lambert.grib2
  printf 'gridtype = lonlat\nxsize = 351\nysize = 201\nxfirst = -110\nxinc = 0.1\n' >target.txt
  printf 'yfirst = 25\nyinc = 0.1\n' >>target.txt
  touch made
fi

# Seconds of one command, its outputs removed after it (outside the time).
seconds() {
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null 2>&1
  end=$(date +%s.%N)
  rm -f lambert.bin InputModelInf.txt back.grb
  awk -v a="$start" -v b="$end" 'BEGIN { print b - a }'
}

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# Once outside the times: both must succeed.
"$prepare" --grid 0.1 --area 45/-110/25/-75 --allow-holes -o lambert.bin lambert.grib2 >/dev/null
cdo -s -P 2 remapbil,target.txt lambert.grib2 back.grb
rm -f lambert.bin InputModelInf.txt back.grb

: >prepare.times
: >cdo.times
for ((r = 0; r < runs; ++r)); do
  seconds "$prepare" --grid 0.1 --area 45/-110/25/-75 --allow-holes -o lambert.bin \
    lambert.grib2 >>prepare.times
  seconds cdo -s -P 2 remapbil,target.txt lambert.grib2 back.grb >>cdo.times
done
ours=$(median <prepare.times)
theirs=$(median <cdo.times)
ratio=$(awk -v a="$ours" -v b="$theirs" 'BEGIN { print a / b }')
fields=$(grib_count lambert.grib2)
printf '| Lambert 417 x 267 (%d fields) to 0.1 degree, 351 x 201, %d runs | median |\n' \
  "$fields" "$runs"
printf '|---|---:|\n'
printf '| conv2model-prepare --grid 0.1 (input field file) | %.2f s |\n' "$ours"
printf '| cdo -P 2 remapbil (GRIB file) | %.2f s |\n' "$theirs"
printf 'prepare / cdo: %.2f (target 1.0 at most)\n' "$ratio"
awk -v r="$ratio" 'BEGIN { exit !(r <= 1) }'
