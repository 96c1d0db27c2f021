#include "companion/netcdf_file.hpp"

#include "common/errors.hpp"

namespace c2m::inspect {

netcdf_file netcdf_file::create(const std::string& path) {
  int id = -1;
  const int status = nc_create(path.c_str(), NC_NETCDF4 | NC_CLOBBER, &id);
  if (status != NC_NOERR)
    throw run_error(path + ": cannot create NetCDF file: " + nc_strerror(status));
  return netcdf_file(id, path);
}

netcdf_file netcdf_file::open(const std::string& path) {
  int id = -1;
  const int status = nc_open(path.c_str(), NC_NOWRITE, &id);
  if (status != NC_NOERR)
    throw run_error(path + ": cannot open NetCDF file: " + nc_strerror(status));
  return netcdf_file(id, path);
}

netcdf_file::~netcdf_file() {
  if (id_ >= 0) nc_close(id_);
}

netcdf_file::netcdf_file(netcdf_file&& other) noexcept
    : id_(other.id_), path_(std::move(other.path_)) {
  other.id_ = -1;
}

void netcdf_file::check(int status, const std::string& what) const {
  if (status != NC_NOERR) throw run_error(path_ + ": " + what + ": " + nc_strerror(status));
}

int netcdf_file::define_dim(const std::string& name, std::size_t length) {
  int dim = -1;
  check(nc_def_dim(id_, name.c_str(), length, &dim), "cannot define dimension " + name);
  return dim;
}

int netcdf_file::define_var(const std::string& name, nc_type type,
                            std::initializer_list<int> dims) {
  int v = -1;
  check(nc_def_var(id_, name.c_str(), type, static_cast<int>(dims.size()), dims.begin(), &v),
        "cannot define variable " + name);
  return v;
}

int netcdf_file::define_var(const std::string& name, nc_type type, const std::vector<int>& dims) {
  int v = -1;
  check(nc_def_var(id_, name.c_str(), type, static_cast<int>(dims.size()), dims.data(), &v),
        "cannot define variable " + name);
  return v;
}

void netcdf_file::compress(int var) {
  check(nc_def_var_deflate(id_, var, 1, 1, 1), "cannot set compression");
}

void netcdf_file::put_text(int var, const std::string& name, const std::string& value) {
  check(nc_put_att_text(id_, var, name.c_str(), value.size(), value.data()),
        "cannot write attribute " + name);
}

void netcdf_file::put_float(int var, const std::string& name, float value) {
  check(nc_put_att_float(id_, var, name.c_str(), NC_FLOAT, 1, &value),
        "cannot write attribute " + name);
}

void netcdf_file::put_int(int var, const std::string& name, int value) {
  check(nc_put_att_int(id_, var, name.c_str(), NC_INT, 1, &value),
        "cannot write attribute " + name);
}

void netcdf_file::end_define() {
  check(nc_enddef(id_), "cannot end the definitions");
}

void netcdf_file::write(int var, const float* values) {
  check(nc_put_var_float(id_, var, values), "cannot write a variable");
}

void netcdf_file::write(int var, const double* values) {
  check(nc_put_var_double(id_, var, values), "cannot write a variable");
}

void netcdf_file::write(int var, const std::vector<std::size_t>& start,
                        const std::vector<std::size_t>& count, const float* values) {
  check(nc_put_vara_float(id_, var, start.data(), count.data(), values), "cannot write a variable");
}

void netcdf_file::close() {
  const int id = id_;
  id_ = -1;
  check(nc_close(id), "cannot close NetCDF file");
}

int netcdf_file::var(const std::string& name) const {
  int v = -1;
  check(nc_inq_varid(id_, name.c_str(), &v), "no variable " + name);
  return v;
}

std::string netcdf_file::text(int var, const std::string& name) const {
  std::size_t length = 0;
  check(nc_inq_attlen(id_, var, name.c_str(), &length), "no attribute " + name);
  std::string value(length, '\0');
  check(nc_get_att_text(id_, var, name.c_str(), value.data()), "cannot read attribute " + name);
  return value;
}

int netcdf_file::integer(int var, const std::string& name) const {
  int value = 0;
  check(nc_get_att_int(id_, var, name.c_str(), &value), "cannot read attribute " + name);
  return value;
}

std::vector<float> netcdf_file::read_floats(int var) const {
  int ndims = 0;
  check(nc_inq_varndims(id_, var, &ndims), "cannot inquire a variable");
  std::vector<int> dims(static_cast<std::size_t>(ndims));
  check(nc_inq_vardimid(id_, var, dims.data()), "cannot inquire a variable");
  std::size_t count = 1;
  for (const int d : dims) {
    std::size_t length = 0;
    check(nc_inq_dimlen(id_, d, &length), "cannot inquire a dimension");
    count *= length;
  }
  std::vector<float> values(count);
  check(nc_get_var_float(id_, var, values.data()), "cannot read a variable");
  return values;
}

}  // namespace c2m::inspect
