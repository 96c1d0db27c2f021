#!/usr/bin/env bash
# Rebuilds the fields of a GFS GRIB 2 file in the layouts other producers deliver, with
# CDO and NCO: ERA5's newer NetCDF-4 (float, compressed, valid_time, pressure_level in
# hPa descending), ERA5's older netCDF-3 (short packed with scale_factor/add_offset,
# level in millibars ascending, latitude north to south, time since 1900), and GRIB 1
# with NCEP's parameter table 2 (24 bits per value). Pressure-level and single-level
# fields go to separate files, as the archives deliver them.
# Usage: era5_layouts.sh GFS.grib2 OUTDIR
# (Intermediate files are netCDF-3: renaming an axis of a NetCDF-4 file loses its values
# with the netCDF library of Debian 12.)
set -euo pipefail
src=$(realpath "$1")
mkdir -p "$2"
cd "$2"
g=9.80665

# The first value of a coordinate variable.
first_value() {
  ncks -H -C -v "$1" -d "$1",0 "$2" | awk -F= 'NF > 1 && !done { print $2 + 0; done = 1 }'
}

# The fields conv2model needs, as they stand in the GRIB 2 file.
rm -f sel.grib2
for w in "typeOfLevel=isobaricInhPa,shortName=u/v/gh/r/t" "shortName=lsm/sp/orog,typeOfLevel=surface" \
         "shortName=prmsl" "typeOfLevel=depthBelowLandLayer"; do
  grib_copy -w "$w" "$src" part.grib2
  cat part.grib2 >> sel.grib2
done
# The pressure levels every upper-air field has (relative humidity has the fewest).
levels=$(grib_get -w shortName=r,typeOfLevel=isobaricInhPa -p level sel.grib2 | sort -n | uniq |
         awk '{printf "%s%d", (NR > 1 ? "," : ""), $1 * 100}')

# One pressure axis for all five fields, as in ERA5.
cdo -s zaxisdes -selname,t -sellevel,"$levels" -selltype,100 sel.grib2 > zaxis.txt
cdo -s -f nc2 -setzaxis,zaxis.txt -sellevel,"$levels" -selltype,100 sel.grib2 pl.nc
if ncdump -h pl.nc | grep 'plev_2 = ' > /dev/null; then
  ncks -O -x -v plev pl.nc pl.nc
  ncrename -O -d plev_2,plev -v plev_2,plev pl.nc
fi
cdo -s -f nc2 -selltype,1,101 sel.grib2 sl.nc
cdo -s -f nc2 -selltype,106 sel.grib2 soil.nc

# Upper air as ERA5 has it: geopotential instead of its height.
cdo -s -f nc2 -setattribute,z@standard_name=geopotential,z@units="m**2 s**-2" \
  -expr,"u=u;v=v;z=gh*$g;r=r;t=t" pl.nc pl_era5.nc
# Single levels: msl, sp, lsm, surface geopotential, and one variable per soil layer.
cdo -s -f nc2 -setattribute,msl@standard_name=air_pressure_at_mean_sea_level,z@standard_name=geopotential,z@units="m**2 s**-2" \
  -expr,"lsm=lsm;msl=prmsl;sp=sp;z=orog*$g" sl.nc sl_era5.nc
for k in 1 2 3 4; do
  cdo -s -f nc2 -chname,t,stl$k,soilw,swvl$k -sellevidx,$k soil.nc soil$k.nc
  ncwa -O -a depth soil$k.nc soil$k.nc
  ncks -O -C -x -v depth,depth_bnds soil$k.nc soil$k.nc
done
cdo -s -f nc2 -merge sl_era5.nc soil1.nc soil2.nc soil3.nc soil4.nc sfc_era5.nc
# ERA5 names stl1 a surface temperature and gives swvl1 no standard name.
ncatted -O -a standard_name,'^stl.',o,c,surface_temperature -a standard_name,'^swvl.',d,, sfc_era5.nc

# Newer layout: valid_time, pressure_level in hPa from 1000 up, latitude, longitude,
# float, deflated.
for f in pl sfc; do
  ncrename -O -d time,valid_time -v time,valid_time -d lat,latitude -v lat,latitude \
    -d lon,longitude -v lon,longitude ${f}_era5.nc ${f}_new.nc
done
ncrename -O -d plev,pressure_level -v plev,pressure_level pl_new.nc
ncap2 -O -s 'pressure_level=pressure_level/100' pl_new.nc pl_new.nc
ncatted -O -a units,pressure_level,o,c,hPa pl_new.nc
if [ "$(first_value pressure_level pl_new.nc)" != 1000 ]; then
  ncpdq -O -a -pressure_level pl_new.nc pl_new.nc
fi
for f in pl sfc; do
  ncks -O -4 -L 1 ${f}_new.nc era5_new_${f}.nc
done

# Older layout: time in hours since 1900, level in millibars from the top down to
# 1000, shorts with scale_factor and add_offset, netCDF-3.
for f in pl sfc; do
  cdo -s -f nc2 -setmissval,-32767 -settunits,hours -setreftime,1900-01-01,00:00:00 \
    ${f}_era5.nc ${f}_t.nc
  ncrename -O -d lat,latitude -v lat,latitude -d lon,longitude -v lon,longitude ${f}_t.nc ${f}_old.nc
done
ncrename -O -d plev,level -v plev,level pl_old.nc
ncap2 -O -s 'level=level/100' pl_old.nc pl_old.nc
ncatted -O -a units,level,o,c,millibars pl_old.nc
if [ "$(first_value level pl_old.nc)" = 1000 ]; then
  ncpdq -O -a -level pl_old.nc pl_old.nc
fi
for f in pl sfc; do
  ncpdq -O -3 -P all_new -M flt_sht ${f}_old.nc era5_old_${f}.nc
done

# GRIB 1, NCEP's table 2.
rm -f gfs.grib1
for p in u:33:100 v:34:100 gh:7:100 r:52:100 t:11:100 lsm:81:1 sp:1:1 orog:7:1 prmsl:2:101 \
         t:85:106 soilw:144:106; do
  IFS=: read -r name code ltype <<< "$p"
  cdo -s -b 24 -f grb -setparam,$code.2 -selltype,$ltype -selname,$name sel.grib2 part.grb
  cat part.grb >> gfs.grib1
done
rm -f zaxis.txt part.grib2 part.grb pl.nc sl.nc soil*.nc pl_era5.nc sl_era5.nc sfc_era5.nc *_new.nc *_old.nc *_t.nc
