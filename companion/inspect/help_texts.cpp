// The help texts of conv2model-inspect and of each of its commands: what the manual
// page says, shortened to a screen (the manual-page test keeps the two in step). The
// options between head and tail come from the command's option table.
#include "companion/inspect/help_texts.hpp"

namespace c2m::inspect {

extern const help_text main_help{R"(Usage: conv2model-inspect COMMAND [OPTION]... ARGUMENT...
Look into a conv2model work file before a forecast is run on it.

Every command reads WORKFILE together with its info file WORKFILE.gdsinfo, which
gives the level count, the level pressures, the grid and the order of the fields.
A work file whose size does not match its info file is refused.

Commands:
  stats WORKFILE                      statistics of every record, with flags
  compare A B                         compare two work files record by record
  netcdf WORKFILE OUT.nc              export to a CF-1.8 NetCDF-4 file
  png WORKFILE FIELD [LEVEL] OUT.png  quick-look picture of one record
  overview WORKFILE OUT.png           one picture of the surface fields and of
                                      850, 500 and 250 hPa, to read at a glance

Options:
)",
                                 R"(
'conv2model-inspect COMMAND --help' describes a command.

Exit status: 0 on success, 1 when compare finds differences or stats --check
raises a flag, 2 on an error, 64 on a wrong command line.
)"};

extern const help_text stats_help{
    R"(Usage: conv2model-inspect stats [--check] [--histogram] WORKFILE
Print one line per record of WORKFILE: record number, field, level and its pressure
in hPa for the 3-D fields, minimum, maximum and mean over the valid points, and the
counts of points holding the missing value -99999, NaN and 0.0. Valid points are
those that are neither -99999 nor NaN nor infinite.

The last column flags what a forecast model should not be given: points holding
the missing value -99999, NaN or infinite points, and valid values out of the
field's plausible range:
  ua va    winds outside -150..150 m/s     zg      height outside -1000..80000 m
  hus      humidity outside 0..0.05 kg/kg  ta      outside 150..350 K
  sftlf    land-sea mask other than 0, 1   psl     outside 850..1100 hPa
  ps       outside 300..1100 hPa           orog    outside -450..9000 m
  tsl1-4   outside 150..350 K              mrsov1-4 outside 0..1
Topography and the soil fields are checked over land only (where sftlf is 1):
their values over sea are fill.
The last line counts the flags: "3 flags raised in 2 of 27 records".

Options:
)",
    R"(
Exit status: 0 when the table is printed (with --check: and no flag is raised),
1 with --check when a flag is raised, 2 on an error, 64 on a wrong command line.
)"};

extern const help_text compare_help{R"(Usage: conv2model-inspect compare [--tolerance X] A B
Compare the work files A and B, with their info files, record by record. For each
record that differs print how many points differ by more than X, the largest
absolute difference, where it is (i, j from 1: i west to east, j as stored, south
to north for conv2model's grids), the two values there and the root mean square
difference over the points finite in both files; then, each counted apart with the
first of them, the points that are NaN in one file only, infinite in one file only
(or of opposite signs), and a value in one file but the missing value -99999 in the
other ("against missing"). These have no size: no tolerance hides them and they
stay out of the largest difference and the RMS. Differences of the info files
(grid, level pressures, grid description integers, field names) are listed first;
records are compared only when both grids and level counts agree. The last line
says whether the files are identical, match within X, or differ.

Two NaNs count as equal, and so do two equal infinities.

Options:
)",
                                    R"(
Exit status: 0 when the files match within X, 1 when they differ, 2 on an error,
64 on a wrong command line.
)"};

extern const help_text netcdf_help{R"(Usage: conv2model-inspect netcdf [OPTION]... WORKFILE OUT.nc
Write WORKFILE as a CF-1.8 NetCDF-4 file. Coordinates: lat (degrees_north), lon
(degrees_east), plev (pressure in Pa, positive down, level 1 = the bottom first, as
in the work file), the soil axes, and time with --time. Variables, with long_name,
units, standard_name and _FillValue -99999:
  ua va zg hus ta      winds, geopotential height, specific humidity, temperature
                       on (plev, lat, lon)
  sftlf psl ps orog    land-sea mask, mean-sea-level and surface pressure (in Pa:
                       the work file's hPa x 100), topography on (lat, lon)
  tsl1..tsl4           soil temperature and volumetric soil moisture by layer,
  mrsov1..mrsov4       each on an axis of its own (depth1..depth4) with
                       --soil-depths (GRIB 1, the default)
  tsl mrsov            the same, the four layers on one soil axis (GRIB 2)
All other values are the work file's own, bit for bit. Each variable carries the
attributes CDO turns into a GRIB parameter when it writes GRIB (cdo -f grb copy,
cdo -f grb2 copy): 'code' and 'table' for GRIB 1 (WMO table 2; ECMWF's table 128
for the soil layers, stl1..stl4 and swvl1..swvl4 in m3 m-3, which table 2 lacks),
'param' for GRIB 2. CDO reads 'code' before 'param', so an export describes one
edition only. Write GRIB of the edition the export was made for: a GRIB 1 file made
from it and converted by CDO to GRIB 2 (or the reverse) has unknown or wrong
parameter names; export again with the other --grib-edition instead.

The grid runs evenly from the first grid point to the last (kgds 4, 5, 7, 8), as
GRIB 1 decoders take it; increments that disagree with those points by more than
their rounding, and a scanning mode that disagrees with their order, are reported
as warnings. It must be a latitude/longitude grid (kgds(1) = 0). OUT.nc is replaced
only once the new file is complete.

Options:
)",
                                   R"()"};

extern const help_text png_help{
    R"(Usage: conv2model-inspect png [OPTION]... WORKFILE FIELD [LEVEL] OUT.png
Draw one record of WORKFILE as a quick-look picture: north up, a degree of longitude
as wide as a degree of latitude, latitude and longitude ticks, the coastline drawn
from the work file's own land-sea mask, missing points (-99999, NaN, infinite) in
grey, and a labelled colour bar. Winds are coloured blue to red through white at
zero, the land-sea mask in its two classes, the other fields on the viridis scale;
specific humidity is shown in g/kg. Fields defined over land only (topography, the
soil fields) show the sea in light grey and take their colours from the land.
By default the colours run from the smallest to the largest value, leaving out a
few outlying points (fewer than one in two hundred at either end, far beyond the
rest); points beyond the colour range take its end colours, and the bar shows a
triangle at that end.

FIELD is a name. 3-D fields take a LEVEL from 1 (the bottom, highest pressure) to
the level count, or --hpa:
  ua    zonal wind                 va    meridional wind
  zg    geopotential height        hus   specific humidity
  ta    temperature
Surface fields take no LEVEL:
  sftlf land-sea mask              psl   mean-sea-level pressure
  ps    surface pressure           orog  topography
  tsl1 tsl2 tsl3 tsl4        soil temperature, layers 1 to 4
  mrsov1 mrsov2 mrsov3 mrsov4  soil moisture, layers 1 to 4
The older names uw vw ht q tp lsm mslp psfc topo st1..st4 sm1..sm4 work too.

Options:
)",
    R"()"};

extern const help_text overview_help{
    R"(Usage: conv2model-inspect overview [--time T] WORKFILE OUT.png
Draw one picture to read at a glance before a forecast is run on WORKFILE: the
surface fields (land-sea mask, mean-sea-level and surface pressure, topography, the
top layer of soil temperature and moisture) and, at 850, 500 and 250 hPa,
temperature, geopotential height and wind speed, each a small map with its own
colour bar, under one title naming the file, the grid and the analysis time. A
standard level the work file lacks is taken from its nearest level, whose pressure
the panel names. The maps are drawn as png draws them (see png --help).

Options:
)",
    R"()"};

}  // namespace c2m::inspect
