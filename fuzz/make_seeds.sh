#!/usr/bin/env bash
# Rebuilds the seed corpus fuzz/corpus/TARGET/ from the sample generator and, for
# fuzz_grib, from the real GRIB files of the tests:
#   fuzz/make_seeds.sh BUILD_DIR
# fuzz_config takes InputModelInf.txt, fuzz_input three grid bytes and the input file,
# fuzz_conversion the configuration, a NUL byte and the input file.
set -euo pipefail
gen="$1/sample_gen"
here="$(cd "$(dirname "$0")" && pwd)"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

octal() { printf '\\%03o' "$1"; }

mkdir -p "$here"/corpus/{fuzz_config,fuzz_input,fuzz_conversion}
while read -r im jm lm opts; do
  name="sample_${im}x${jm}x${lm}${opts:+_}${opts//[- ]/}"
  # shellcheck disable=SC2086
  "$gen" "$tmp" "$im" "$jm" "$lm" --name an.bin $opts
  cp "$tmp/InputModelInf.txt" "$here/corpus/fuzz_config/$name"
  { printf "$(octal $((im - 1)))$(octal $((jm - 1)))$(octal $((lm - 1)))"; cat "$tmp/an.bin"; } \
    >"$here/corpus/fuzz_input/$name"
  { cat "$tmp/InputModelInf.txt"; printf '\0'; cat "$tmp/an.bin"; } \
    >"$here/corpus/fuzz_conversion/$name"
done <<'GRIDS'
1 1 1
3 2 2
5 4 3 --global
4 3 5 --missing-rh-top 2
16 2 4
GRIDS

# fuzz_grib: whole GRIB messages of the real files of conv2model-prepare's tests, cut by
# their byte offsets (u and v stay in their one message), and one temperature rewritten
# as GRIB 1 and in CCSDS and JPEG packing (grib_set).
data="$here/../companion/prepare/tests/data"
gfs="$data/gfs.t12z.pgrbf120.2p5deg.grib2"
corpus="$here/corpus/fuzz_grib"
mkdir -p "$corpus"
messages() {
  # A message ends where the next one starts: grib_ls gives each field the offset of its
  # message.
  local count offsets
  offsets="$(grib_ls -p offset:i "$gfs" | grep -E '^[0-9]+ *$' | tr -d ' ')"
  for count in "$@"; do
    sed -n "${count}p" <<<"$offsets"
  done | while read -r offset; do
    local next
    next="$(awk -v o="$offset" '$1 > o { print; exit }' <<<"$offsets")"
    dd if="$gfs" iflag=skip_bytes,count_bytes skip="$offset" \
      count="$((${next:-$(stat -c %s "$gfs")} - offset))" bs=64K status=none
  done
}
messages 100 101 104 >"$corpus/gfs_500hPa_gh_t_uv.grib2"
messages 324 204 >"$corpus/gfs_lsm_sp.grib2"
messages 207 >"$corpus/gfs_soil_t.grib2"
messages 101 >"$tmp/t500.grib2"
grib_set -r -s packingType=grid_simple "$tmp/t500.grib2" "$tmp/t500_simple.grib2"
grib_set -s edition=1 "$tmp/t500_simple.grib2" "$corpus/gfs_t500.grib1"
grib_set -r -s packingType=grid_ccsds "$tmp/t500.grib2" "$corpus/gfs_t500_ccsds.grib2"
grib_set -r -s packingType=grid_jpeg "$tmp/t500.grib2" "$corpus/gfs_t500_jpeg.grib2"
cp "$data/eta_t500_lambert.grb" "$data/spherical_pressure_level.grib1" "$corpus/"
