#!/usr/bin/env bash
# Rebuilds the fields of a GFS GRIB 2 file in the GRIB layouts of the producers whose
# files cannot be fetched here, from the keys ecCodes' own definitions give them
# (definitions/grib2/shortName.def, localConcepts/ecmf/, localConcepts/edzw/), with
# grib_copy, grib_set and CDO (64-bit values where a value is computed, so that nothing
# is lost but the unit change):
#   ifs.grib2      IFS open data (centre 98): u v gh r t, lsm, msl as 0/3/0 at mean sea
#                  level, sp, z (orography times g), sot and vsw on soil levels 151
#                  (the layer between levels k-1 and k); GFS's four layers stand in for
#                  IFS's four.
#   icon.grib2     ICON on its regular grid (centre 78): T U V RELHUM, FI (gh times g),
#                  PMSL, PS, HSURF, FR_LAND (the mask as the fractions 0.2 and 0.8),
#                  T_SO at the nine node depths (GFS's layer holding the node, plus 0.1 K
#                  per node), W_SO in kg m-2 on the eight layers (GFS's volume fraction of
#                  the layer holding the layer's middle, times 1 - 0.05 per layer, times
#                  1000 kg m-3 and the thickness).
#   era5_mixed.grib ERA5 as the CDS delivers it: upper air in GRIB 1 with ECMWF's table
#                  128 (24 bits), the single-level fields in GRIB 2, soil in GRIB 1
#                  (stl1-4, swvl1-4 on their depths in cm), all in one file.
#   ncep_local_as_ecmwf.grib2  the GFS fields relabelled as centre 98: NCEP's local
#                  soil moisture code 2/0/192 means nothing there.
# (The second fixed surface is set before the first: set after, it resets the first.)
# Usage: producer_layouts.sh GFS.grib2 OUTDIR
set -euo pipefail
src=$(realpath "$1")
mkdir -p "$2"
cd "$2"
# Nothing of an earlier run that was stopped half way.
rm -f -- *.grib2 *.grb *.grib
g=9.80665
pick() { grib_copy -w "$1" "$src" "$2"; }

# IFS open data.
pick typeOfLevel=isobaricInhPa,shortName=u/v/gh/r/t up.grib2
grib_set -s centre=98 up.grib2 ifs.grib2
pick shortName=lsm/sp,typeOfLevel=surface sfc.grib2
grib_set -s centre=98 sfc.grib2 x.grib2 && cat x.grib2 >> ifs.grib2
pick shortName=prmsl msl.grib2
grib_set -s centre=98,parameterNumber=0 msl.grib2 x.grib2 && cat x.grib2 >> ifs.grib2
pick shortName=orog orog.grib2
cdo -s -f grb2 -b F64 mulc,$g orog.grib2 z.grib2
grib_set -s centre=98,parameterNumber=4 z.grib2 x.grib2 && cat x.grib2 >> ifs.grib2
tops=(0 10 40 100)
for k in 1 2 3 4; do
  pick "typeOfLevel=depthBelowLandLayer,scaledValueOfFirstFixedSurface=${tops[$((k - 1))]}" s.grib2
  grib_copy -w shortName=t s.grib2 "st$k.grib2"
  grib_copy -w shortName=soilw s.grib2 "sw$k.grib2"
  levels="typeOfFirstFixedSurface=151,scaleFactorOfFirstFixedSurface=0"
  levels+=",scaledValueOfFirstFixedSurface=$((k - 1)),typeOfSecondFixedSurface=151"
  levels+=",scaleFactorOfSecondFixedSurface=0,scaledValueOfSecondFixedSurface=$k"
  grib_set -s "centre=98,discipline=2,parameterCategory=3,parameterNumber=18,$levels" \
    "st$k.grib2" x.grib2 && cat x.grib2 >> ifs.grib2
  grib_set -s "centre=98,discipline=2,parameterCategory=0,parameterNumber=25,$levels" \
    "sw$k.grib2" x.grib2 && cat x.grib2 >> ifs.grib2
done

# ICON.
grib_copy -w shortName=u/v/r/t up.grib2 x.grib2
grib_set -s centre=78 x.grib2 icon.grib2
grib_copy -w shortName=gh up.grib2 gh.grib2
cdo -s -f grb2 -b F64 mulc,$g gh.grib2 fi.grib2
grib_set -s centre=78,parameterNumber=4 fi.grib2 x.grib2 && cat x.grib2 >> icon.grib2
grib_set -s centre=78 msl.grib2 x.grib2 && cat x.grib2 >> icon.grib2
pick shortName=sp,typeOfLevel=surface sp.grib2
grib_set -s centre=78 sp.grib2 x.grib2 && cat x.grib2 >> icon.grib2
grib_set -s centre=78,parameterNumber=6 orog.grib2 x.grib2 && cat x.grib2 >> icon.grib2
pick shortName=lsm,typeOfLevel=surface lsm.grib2
cdo -s -f grb2 -b F64 -addc,0.2 -mulc,0.6 lsm.grib2 frac.grib2
grib_set -s centre=78 frac.grib2 x.grib2 && cat x.grib2 >> icon.grib2
# T_SO: node depths in mm and the GFS layer (1-4) holding each.
node_mm=(0 5 20 60 180 540 1620 4860 14580)
node_layer=(1 1 1 1 2 3 4 4 4)
for n in 0 1 2 3 4 5 6 7 8; do
  cdo -s -f grb2 -b F64 addc,"0.$n" "st${node_layer[$n]}.grib2" node.grib2
  grib_set -s "centre=78,discipline=2,parameterCategory=3,parameterNumber=18,typeOfSecondFixedSurface=255,scaleFactorOfSecondFixedSurface=missing,scaledValueOfSecondFixedSurface=missing,typeOfFirstFixedSurface=106,scaleFactorOfFirstFixedSurface=3,scaledValueOfFirstFixedSurface=${node_mm[$n]}" \
    node.grib2 x.grib2 && cat x.grib2 >> icon.grib2
done
# W_SO: layer bounds in cm and the GFS layer holding each layer's middle.
bound_cm=(0 1 3 9 27 81 243 729 2187)
water_layer=(1 1 1 2 3 4 4 4)
for n in 0 1 2 3 4 5 6 7; do
  top=${bound_cm[$n]} bottom=${bound_cm[$((n + 1))]}
  # (1 - 0.05 n) * 1000 kg m-3 * thickness in m, in tenths, exact in decimal.
  tenths=$(((100 - 5 * n) * (bottom - top)))
  factor=$((tenths / 10)).$((tenths % 10))
  cdo -s -f grb2 -b F64 mulc,"$factor" "sw${water_layer[$n]}.grib2" layer.grib2
  grib_set -s "centre=78,discipline=2,parameterCategory=3,parameterNumber=20,typeOfFirstFixedSurface=106,scaleFactorOfFirstFixedSurface=2,scaledValueOfFirstFixedSurface=$top,typeOfSecondFixedSurface=106,scaleFactorOfSecondFixedSurface=2,scaledValueOfSecondFixedSurface=$bottom" \
    layer.grib2 x.grib2 && cat x.grib2 >> icon.grib2
done

# ERA5 from the CDS: GRIB 1 and GRIB 2 in one file.
rm -f era5_mixed.grib
for p in u:131 v:132 r:157 t:130; do
  IFS=: read -r name code <<< "$p"
  cdo -s -b 24 -f grb -setparam,$code.128 -selname,$name up.grib2 x.grb
  grib_set -s centre=98 x.grb y.grb && cat y.grb >> era5_mixed.grib
done
cdo -s -b 24 -f grb -setparam,129.128 -mulc,$g gh.grib2 x.grb
grib_set -s centre=98 x.grb y.grb && cat y.grb >> era5_mixed.grib
grib_set -s centre=98 sfc.grib2 x.grib2 && cat x.grib2 >> era5_mixed.grib
grib_set -s centre=98,parameterNumber=0 msl.grib2 x.grib2 && cat x.grib2 >> era5_mixed.grib
grib_set -s centre=98 z.grib2 x.grib2 && grib_set -s parameterNumber=4 x.grib2 y.grib2
cat y.grib2 >> era5_mixed.grib
stl=(139 170 183 236) swvl=(39 40 41 42) era5_cm=(0 7 28 100 255)
for k in 1 2 3 4; do
  for p in "st$k:${stl[$((k - 1))]}" "sw$k:${swvl[$((k - 1))]}"; do
    IFS=: read -r file code <<< "$p"
    cdo -s -b 24 -f grb -setparam,$code.128 "$file.grib2" x.grb
    grib_set -s "centre=98,indicatorOfTypeOfLevel=112,topLevel=${era5_cm[$((k - 1))]},bottomLevel=${era5_cm[$k]}" \
      x.grb y.grb && cat y.grb >> era5_mixed.grib
  done
done

# NCEP's local code under ECMWF's name.
pick typeOfLevel=isobaricInhPa/surface/meanSea/depthBelowLandLayer x.grib2
grib_set -s centre=98 x.grib2 ncep_local_as_ecmwf.grib2

rm -f x.grib2 y.grib2 x.grb y.grb s.grib2 st?.grib2 sw?.grib2 up.grib2 sfc.grib2 msl.grib2 \
  orog.grib2 z.grib2 gh.grib2 fi.grib2 sp.grib2 lsm.grib2 frac.grib2 node.grib2 layer.grib2
