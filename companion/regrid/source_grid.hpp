// Where a point of the earth falls in a source field's grid: rows of points along
// latitude circles (regular, Gaussian, reduced, rotated), or a plane of a map projection
// (Lambert conformal, polar stereographic, Mercator), in the grid's own index space.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace c2m::regrid {

// A source point with its share of a target point's value.
struct corner {
  std::size_t index = 0;  // in the field's values, as stored
  double weight = 0;
};

// The four corners of the cell around a point (weights summing to 1), or none when the
// point lies outside the grid's coverage.
struct cell {
  bool inside = false;
  corner c[4];
};

// A row of points along one latitude circle, as stored: `count` points from
// `first_lon` by `step` degrees (negative: westwards) at stored positions
// offset, offset + 1, ...
struct grid_row {
  double lat = 0;
  double first_lon = 0;
  double step = 0;
  std::int64_t count = 0;
  std::size_t offset = 0;
  bool round_the_earth = false;  // the point after the last is the first again
};

// A pole rotation (GRIB's rotated grids): the southern pole of the rotated sphere, in
// geographic degrees.
struct rotation {
  double south_pole_lat = -90, south_pole_lon = 0;
};

// A plane grid: point (i, j) lies at x = x0 + i dx, y = y0 + j dy in the projection's
// plane (metres), stored at j ni + i.
struct plane_layout {
  std::int64_t ni = 0, nj = 0;
  double x0 = 0, y0 = 0, dx = 0, dy = 0;
};

class projection;  // PROJ's transformation of a plane grid

class source_grid {
 public:
  // Rows sorted neither way: as stored. `rotated` places them on a rotated sphere.
  static source_grid rows(std::string name, std::vector<grid_row> rows, bool rotated,
                          rotation pole = {});
  // A plane of the map projection `proj_definition` (a PROJ string) with its first point
  // at (first_lat, first_lon) and steps dx, dy (signed, metres).
  static source_grid plane(std::string name, const std::string& proj_definition, std::int64_t ni,
                           std::int64_t nj, double first_lat, double first_lon, double dx,
                           double dy);

  source_grid(source_grid&&) noexcept;
  source_grid& operator=(source_grid&&) noexcept;
  ~source_grid();

  const std::string& name() const { return name_; }  // "a Lambert conformal grid of 93 x 65"
  std::size_t points() const { return points_; }
  // Whether winds along the grid's axes differ from east and north.
  bool turns_winds() const { return rotated_ || proj_ != nullptr; }

  // The cell around a geographic point (degrees), bilinear in the grid's index space.
  cell locate(double lat, double lon) const;
  // The angle (radians) from the grid's y axis to north, positive when north lies
  // towards -x: a wind (u', v') along the axes is u = cos a u' + sin a v',
  // v = cos a v' - sin a u' towards east and north.
  double north_angle(double lat, double lon) const;
  // The stored points within `reach` steps of the cell around (lat, lon), in index space.
  std::vector<std::size_t> near(double lat, double lon, int reach) const;
  // The position of a geographic point in index space: (i, j) for a plane, (position
  // along the row, row in latitude order) for rows. False outside.
  bool index_of(double lat, double lon, double& i, double& j) const;
  // A step of the grid in kilometres (the larger of its two), to bound searches.
  double step_km() const;
  // Whether every point of the earth lies in the grid's coverage.
  bool global() const { return global_; }

  // The geographic coordinates of the stored points (degrees), as ecCodes places them,
  // for nearest-point searches and the grid's extent.
  void set_coordinates(std::vector<float> lat, std::vector<float> lon);
  const std::vector<float>& lats() const { return lat_; }
  const std::vector<float>& lons() const { return lon_; }
  // The grid's extent: south, north, and west, east in continuous longitudes (east may
  // pass 180); a global grid's is the whole earth.
  struct extent {
    double south = -90, north = 90, west = 0, east = 360;
  };
  extent bounds() const;

 private:
  source_grid() = default;
  void to_native(double lat, double lon, double& a, double& b) const;
  cell row_cell(double lat, double lon) const;
  std::size_t row_point(const grid_row& r, std::int64_t k) const;

  std::string name_;
  std::size_t points_ = 0;
  bool global_ = false;
  // Rows.
  std::vector<grid_row> rows_;
  std::vector<std::size_t> by_lat_;  // rows_ indices, southernmost first
  bool rotated_ = false;
  rotation pole_;
  bool caps_ = false;  // the outermost rows stand for the caps beyond them
  std::vector<float> lat_, lon_;
  // Plane.
  std::unique_ptr<projection> proj_;
  plane_layout plane_;
};

}  // namespace c2m::regrid
