// Real files from Debian's python-grib-doc on their own grids (Lambert, rotated,
// reduced Gaussian, polar stereographic north and south, reduced latitude/longitude with
// holes), each interpolated onto a regular grid and compared with CDO's remapbil onto
// the same grid; winds turned against the Lambert grid's cone factor; grids that cannot
// be located refused with the CDO command that helps.
#include "companion/regrid/grib_grid.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "common/errors.hpp"
#include "companion/regrid/weights.hpp"
#include "tests/support/scratch.hpp"

namespace c2m::regrid {
namespace {

using test::scratch_dir;

constexpr double pi = 3.14159265358979323846;

std::string regrid_data(const std::string& name) {
  return std::string(REGRID_DATA_DIR) + "/" + name;
}
std::string prepare_data(const std::string& name) {
  return std::string(PREPARE_DATA_DIR) + "/" + name;
}

int run(const std::string& dir, const std::string& command) {
  return std::system(("cd '" + dir + "' && " + command + " >/dev/null 2>&1").c_str());
}

struct handle_closer {
  void operator()(codes_handle* h) const { codes_handle_delete(h); }
};
using handle = std::unique_ptr<codes_handle, handle_closer>;

// The first message of `file`.
handle first_message(const std::string& file) {
  FILE* f = std::fopen(file.c_str(), "rb");
  if (f == nullptr) throw std::runtime_error("cannot open " + file);
  int err = 0;
  handle h(codes_handle_new_from_file(nullptr, f, PRODUCT_GRIB, &err));
  std::fclose(f);
  if (!h) throw std::runtime_error("no message in " + file);
  return h;
}

// The values, NaN where the bitmap says there are none.
std::vector<float> values(codes_handle* h) {
  std::size_t n = 0;
  codes_get_size(h, "values", &n);
  std::vector<double> v(n);
  codes_set_double(h, "missingValue", 9.999e20);
  codes_get_double_array(h, "values", v.data(), &n);
  std::vector<float> out(n);
  for (std::size_t p = 0; p < n; ++p)
    out[p] = v[p] == 9.999e20 ? std::numeric_limits<float>::quiet_NaN() : float(v[p]);
  return out;
}

std::string grid_file(const target_grid& t) {
  char buf[256];
  std::snprintf(buf, sizeof buf,
                "gridtype = lonlat\nxsize = %lld\nysize = %lld\nxfirst = %.10g\nxinc = %.10g\n"
                "yfirst = %.10g\nyinc = %.10g\n",
                static_cast<long long>(t.nlon), static_cast<long long>(t.nlat), t.west, t.dlon,
                t.south, t.dlat);
  return buf;
}

// A message selected by grib_copy's `where` from `file`, interpolated here and by CDO
// (`reduced`: CDO's operator that first fills a reduced grid's rows to a regular grid,
// which its remapbil needs).
struct compared {
  std::vector<float> ours, cdo;
  std::vector<double> lat, lon;
  std::size_t both = 0;  // points where both have data
  double most = 0;       // largest difference there
  double mean = 0;       // mean absolute difference there
};

compared compare_with_cdo(const std::string& file, const std::string& where,
                          const target_grid* area, const std::string& reduced = "") {
  scratch_dir dir;
  EXPECT_EQ(run(dir.path(), "grib_copy -w " + where + " '" + file + "' one.grb"), 0);
  handle h = first_message(dir / "one.grb");
  const source_grid g = grib_grid(h.get(), "one.grb");
  const target_grid t = area ? *area : largest_inside({0.5, 0.5}, g);
  const weights w(g, t);
  compared c;
  c.ours.resize(t.points());
  const std::vector<float> in = values(h.get());
  w.interpolate(in.data(), c.ours.data());
  test::write_text(dir / "grid.txt", grid_file(t));
  EXPECT_EQ(run(dir.path(), "cdo -s -b F64 remapbil,grid.txt " + reduced + " one.grb cdo.grb"), 0);
  handle r = first_message(dir / "cdo.grb");
  c.cdo = values(r.get());
  EXPECT_EQ(c.cdo.size(), t.points());
  for (std::int64_t j = 0; j < t.nlat; ++j)
    for (std::int64_t i = 0; i < t.nlon; ++i) {
      c.lat.push_back(t.lat(j));
      c.lon.push_back(t.lon(i));
    }
  double sum = 0;
  for (std::size_t p = 0; p < c.cdo.size() && p < c.ours.size(); ++p)
    if (!std::isnan(c.ours[p]) && !std::isnan(c.cdo[p])) {
      const double d = std::fabs(double(c.ours[p]) - double(c.cdo[p]));
      c.most = std::max(c.most, d);
      sum += d;
      ++c.both;
    }
  c.mean = c.both ? sum / double(c.both) : 0;
  return c;
}

const target_grid us = target_over({0.25, 0.25}, {45, -110, 30, -80});

// Bilinear in the Lambert plane and CDO's bilinear part by a few thousandths of a kelvin,
// a few hundredths of a metre and of a per cent here.
TEST(grib_grid_real, eta_on_its_lambert_grid_matches_cdo_remapbil) {
  for (const auto& [where, most] :
       {std::pair{"shortName=t,level=500", 0.02}, std::pair{"shortName=gh,level=850", 0.1},
        std::pair{"shortName=r,level=700", 0.2}}) {
    const compared c = compare_with_cdo(prepare_data("eta.grb"), where, &us);
    EXPECT_EQ(c.both, us.points()) << where;
    EXPECT_LT(c.most, most) << where;
    EXPECT_LT(c.mean, most / 5) << where;
  }
}

// u and v along the Lambert grid's axes, interpolated by CDO, turned here by the cone
// factor sin(25) times (lon - LoV), LoV 265 = -95 E: ours within 0.6 m/s at every point;
// the same winds unturned differ by metres per second.
TEST(grib_grid_real, eta_winds_are_turned_by_the_cone_factor) {
  scratch_dir dir;
  ASSERT_EQ(run(dir.path(), "grib_copy -w typeOfLevel=isobaricInhPa,level=850 '" +
                                prepare_data("eta.grb") +
                                "' l850.grb && grib_copy -w "
                                "shortName=u l850.grb u.grb && grib_copy -w shortName=v "
                                "l850.grb v.grb"),
            0);
  handle hu = first_message(dir / "u.grb"), hv = first_message(dir / "v.grb");
  ASSERT_TRUE(grib_winds_along_grid(hu.get()));
  const source_grid g = grib_grid(hu.get(), "u.grb");
  EXPECT_EQ(grib_grid_identity(hu.get()), grib_grid_identity(hv.get()));
  const weights w(g, us);
  std::vector<float> u(us.points()), v(us.points());
  w.interpolate(values(hu.get()).data(), u.data());
  w.interpolate(values(hv.get()).data(), v.data());
  w.turn_winds(u.data(), v.data());
  const compared cu = compare_with_cdo(dir / "u.grb", "shortName=u", &us),
                 cv = compare_with_cdo(dir / "v.grb", "shortName=v", &us);
  double most = 0, unturned = 0;
  for (std::size_t p = 0; p < us.points(); ++p) {
    const double a = std::sin(25 * pi / 180) * (cu.lon[p] + 95) * pi / 180;
    const double ue = std::cos(a) * cu.cdo[p] + std::sin(a) * cv.cdo[p],
                 ve = std::cos(a) * cv.cdo[p] - std::sin(a) * cu.cdo[p];
    most = std::max({most, std::fabs(u[p] - ue), std::fabs(v[p] - ve)});
    unturned = std::max(unturned, std::fabs(cu.cdo[p] - ue));
  }
  EXPECT_LT(most, 0.6);
  EXPECT_GT(unturned, 1.0);
}

TEST(grib_grid_real, a_rotated_grid_matches_cdo_remapbil) {
  const compared c = compare_with_cdo(regrid_data("rotated_ll.grib1"), "shortName=2t", nullptr);
  EXPECT_GT(c.both, 1000u);
  EXPECT_EQ(c.both, c.ours.size());
  EXPECT_LT(c.most, 0.05);
}

TEST(grib_grid_real, a_reduced_gaussian_mask_matches_cdo_remapbil) {
  const target_grid world = target_over({1, 1}, {90, 0, -90, 359});
  const compared c = compare_with_cdo(prepare_data("tigge_lsm_reduced_gg.grib2"), "shortName=lsm",
                                      &world, "-setgridtype,regular");
  EXPECT_EQ(c.both, world.points());
  handle h = first_message(prepare_data("tigge_lsm_reduced_gg.grib2"));
  EXPECT_EQ(grib_grid(h.get(), "lsm").name(),
            "a reduced Gaussian grid (reduced_gg) (400 rows, 213988 points)");
  EXPECT_LT(c.mean, 0.01);
  EXPECT_LT(c.most, 0.35);
}

// CDO's bilinear on a projected grid inverts each cell's bilinear map in latitude and
// longitude, ours in the projection's plane: they part where the field is steep (surface
// pressure over the Rockies on 190 km cells), by far less than a cell's spread. CDO
// leaves a point or two on the edge out.
TEST(grib_grid_real, polar_stereographic_grids_north_and_south_match_cdo_remapbil) {
  const compared north = compare_with_cdo(regrid_data("ngm.grb"), "shortName=sp", nullptr);
  EXPECT_GT(north.both, 1000u);
  EXPECT_GE(north.both + 4, north.ours.size());
  EXPECT_LT(north.most, 300.0);  // Pa
  EXPECT_LT(north.mean, 20.0);
  const compared south =
      compare_with_cdo(regrid_data("safrica_pwat.grib2"), "shortName=pwat", nullptr);
  EXPECT_GT(south.both, 1000u);
  EXPECT_GE(south.both + 4, south.ours.size());
  EXPECT_LT(south.most, 1.2);  // kg m-2
  EXPECT_LT(south.mean, 0.1);
}

// A GRIB 1 polar stereographic grid is true at 60 degrees: Environment Canada's 60 km
// grid (orientation 249 E), wind speed at 300 hPa, against CDO.
TEST(grib_grid_real, a_canadian_polar_stereographic_grid_matches_cdo_remapbil) {
  const compared c =
      compare_with_cdo(regrid_data("cmc_wind_speed_300_ps60km.grib"), "shortName=ws", nullptr);
  EXPECT_GT(c.both, 1000u);
  EXPECT_GE(c.both + 4, c.ours.size());
  EXPECT_LT(c.most, 0.2);  // m/s, of up to 75
  EXPECT_LT(c.mean, 0.02);
}

// CDO does not read a reduced latitude/longitude grid. Wave heights exist over the sea
// only: a target point on a source point (ecCodes' coordinates of points 58621, at sea
// off Algeria, and 44460, in the Po valley) takes its value or, on land, none; a
// quarter-degree Mediterranean has values wherever a source point with data shares a
// point's cell, and none inland.
TEST(grib_grid_real, a_reduced_latlon_grid_with_holes_keeps_them_out_of_every_value) {
  handle h = first_message(regrid_data("reduced_latlon_surface.grib2"));
  const source_grid g = grib_grid(h.get(), "reduced_latlon_surface.grib2");
  const std::vector<float> in = values(h.get());
  ASSERT_FALSE(std::isnan(in[58621]));
  ASSERT_TRUE(std::isnan(in[44460]));
  for (const std::size_t p : {std::size_t{58621}, std::size_t{44460}}) {
    const double lat = g.lats()[p], lon = g.lons()[p];
    const weights w(g, target_over({0.36, 0.25}, {lat + 0.36, lon, lat, lon + 0.25}));
    std::vector<float> out(w.target().points());
    w.interpolate(in.data(), out.data());
    if (std::isnan(in[p]))
      EXPECT_TRUE(std::isnan(out[0])) << out[0];
    else
      EXPECT_NEAR(out[0], in[p], 1e-3);
  }
  const weights med(g, target_over({0.25, 0.25}, {40, 0, 35, 20}));
  std::vector<float> out(med.target().points());
  med.interpolate(in.data(), out.data());
  std::size_t with = 0;
  for (const float v : out) with += !std::isnan(v);
  EXPECT_GT(with, out.size() / 2);
  EXPECT_LT(with, out.size());
}

TEST(grib_grid_real, grids_without_located_points_are_refused_with_the_cdo_command) {
  handle sh = first_message(prepare_data("spherical_pressure_level.grib1"));
  try {
    (void)grib_grid(sh.get(), "sh.grib1");
    FAIL();
  } catch (const run_error& e) {
    EXPECT_NE(std::string(e.what()).find("sh.grib1 is in spherical harmonics (sh)"),
              std::string::npos);
    EXPECT_NE(std::string(e.what()).find("cdo sp2gp in.grb out.grb"), std::string::npos);
  }
  scratch_dir dir;
  ASSERT_EQ(run(dir.path(), "grib_set -s gridDefinitionTemplateNumber=101 '" +
                                prepare_data("eta_t500_lambert.grb") + "' icon.grb"),
            0);
  handle icon = first_message(dir / "icon.grb");
  try {
    (void)grib_grid(icon.get(), "icon.grb");
    FAIL();
  } catch (const run_error& e) {
    EXPECT_NE(std::string(e.what()).find("icon.grb is on ICON's triangles (unstructured_grid)"),
              std::string::npos)
        << e.what();
    EXPECT_NE(std::string(e.what()).find("cdo remapcon,r1440x721 -setgrid,ICON_GRID_FILE.nc"),
              std::string::npos);
  }
}

}  // namespace
}  // namespace c2m::regrid
