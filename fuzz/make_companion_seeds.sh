#!/usr/bin/env bash
# Rebuilds the seed corpora of the companions' readers:
#   fuzz/make_companion_seeds.sh LAYOUTS_DIR
# fuzz_info_file and fuzz_work_file take info files and work files of the golden
# conversions (tests/golden; fuzz_work_file: the info file, a NUL byte, the work file);
# fuzz_netcdf takes a few points and levels cut out of the real GFS analysis in ERA5's
# layouts, as companion/prepare/tests/era5_layouts.sh makes them into LAYOUTS_DIR.
set -euo pipefail
layouts="$1"
here="$(cd "$(dirname "$0")" && pwd)"
golden="$here/../tests/golden"

mkdir -p "$here"/corpus/{fuzz_info_file,fuzz_work_file,fuzz_netcdf}
for c in 02-valid-rh_bottom 05-valid-rh_u_same 14-valid-none; do
  info="$(find "$golden/$c/expected" -name '*.gdsinfo')"
  cp "$info" "$here/corpus/fuzz_info_file/$c"
  { cat "$info"; printf '\0'; cat "${info%.gdsinfo}"; } >"$here/corpus/fuzz_work_file/$c"
done

# 4 x 3 points; two pressure levels. A NetCDF-4 file holds some 30 KB of HDF5
# structure whatever its size, so those seeds carry two variables each.
cut_out() {
  local from="$1" to="$2"
  shift 2
  ncks -O -h "$@" -d latitude,0,2 -d longitude,0,3 "$layouts/$from" "$here/corpus/fuzz_netcdf/$to"
}
cut_out era5_new_pl.nc era5_new_pl -v u,t -d pressure_level,0,1
cut_out era5_new_sfc.nc era5_new_sfc -v lsm,stl1
cut_out era5_old_pl.nc era5_old_pl -d level,0,1
cut_out era5_old_sfc.nc era5_old_sfc
