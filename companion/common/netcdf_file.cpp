#include "companion/common/netcdf_file.hpp"

#include "common/errors.hpp"

namespace c2m::companion {

netcdf_file netcdf_file::create(const std::string& path) {
  int id = -1;
  const int status = nc_create(path.c_str(), NC_NETCDF4 | NC_CLOBBER, &id);
  if (status != NC_NOERR)
    throw run_error(path + ": cannot create NetCDF file: nc_create: " + nc_strerror(status));
  return netcdf_file(id, path);
}

netcdf_file netcdf_file::open(const std::string& path) {
  int id = -1;
  const int status = nc_open(path.c_str(), NC_NOWRITE, &id);
  // A file cut short shows as an HDF or a format error: say what it most likely is.
  const bool damaged = status == NC_EHDFERR || status == NC_ENOTNC || status == NC_ETRUNC;
  if (status != NC_NOERR)
    throw run_error(path + ": cannot open NetCDF file: nc_open: " + nc_strerror(status) +
                    (damaged ? " (the file looks cut short or damaged)" : ""));
  return netcdf_file(id, path);
}

// Only reached without close(): an error is already on its way, or the file was only
// read, so a failure to close has nobody left to tell.
netcdf_file::~netcdf_file() {
  if (id_ >= 0) (void)nc_close(id_);
}

netcdf_file::netcdf_file(netcdf_file&& other) noexcept
    : id_(other.id_), path_(std::move(other.path_)) {
  other.id_ = -1;
}

void netcdf_file::check(int status, const char* call, const std::string& what) const {
  if (status != NC_NOERR)
    throw run_error(path_ + ": " + what + ": " + call + ": " + nc_strerror(status));
}

std::string netcdf_file::label(int var) const {
  if (var == NC_GLOBAL) return "the global attributes";
  char name[NC_MAX_NAME + 1] = {};
  if (nc_inq_varname(id_, var, name) != NC_NOERR) return "number " + std::to_string(var);
  return name;
}

int netcdf_file::define_dim(const std::string& name, std::size_t length) {
  int dim = -1;
  check(nc_def_dim(id_, name.c_str(), length, &dim), "nc_def_dim",
        "cannot define dimension " + name);
  return dim;
}

int netcdf_file::define_var(const std::string& name, nc_type type,
                            std::initializer_list<int> dims) {
  int v = -1;
  check(nc_def_var(id_, name.c_str(), type, static_cast<int>(dims.size()), dims.begin(), &v),
        "nc_def_var", "cannot define variable " + name);
  return v;
}

int netcdf_file::define_var(const std::string& name, nc_type type, const std::vector<int>& dims) {
  int v = -1;
  check(nc_def_var(id_, name.c_str(), type, static_cast<int>(dims.size()), dims.data(), &v),
        "nc_def_var", "cannot define variable " + name);
  return v;
}

void netcdf_file::chunk(int var, const std::vector<std::size_t>& sizes) {
  check(nc_def_var_chunking(id_, var, NC_CHUNKED, sizes.data()), "nc_def_var_chunking",
        "cannot set the chunks of variable " + label(var));
  std::size_t values = 1;
  for (const std::size_t n : sizes) values *= n;
  nc_type type = NC_NAT;
  std::size_t value_bytes = 0;
  check(nc_inq_vartype(id_, var, &type), "nc_inq_vartype", "cannot inquire variable " + label(var));
  check(nc_inq_type(id_, type, nullptr, &value_bytes), "nc_inq_type",
        "cannot inquire the type of variable " + label(var));
  // One slot, and a chunk leaves the cache as soon as it is complete.
  check(nc_set_var_chunk_cache(id_, var, values * value_bytes, 1, 1.0f), "nc_set_var_chunk_cache",
        "cannot set the chunk cache of variable " + label(var));
}

void netcdf_file::compress(int var, int level) {
  check(nc_def_var_deflate(id_, var, 1, 1, level), "nc_def_var_deflate",
        "cannot set the compression of variable " + label(var));
}

void netcdf_file::no_fill(int var) {
  check(nc_def_var_fill(id_, var, NC_NOFILL, nullptr), "nc_def_var_fill",
        "cannot switch off the fill of variable " + label(var));
}

void netcdf_file::put_text(int var, const std::string& name, const std::string& value) {
  check(nc_put_att_text(id_, var, name.c_str(), value.size(), value.data()), "nc_put_att_text",
        "cannot write attribute " + name + " of " + label(var));
}

void netcdf_file::put_float(int var, const std::string& name, float value) {
  check(nc_put_att_float(id_, var, name.c_str(), NC_FLOAT, 1, &value), "nc_put_att_float",
        "cannot write attribute " + name + " of " + label(var));
}

void netcdf_file::put_int(int var, const std::string& name, int value) {
  check(nc_put_att_int(id_, var, name.c_str(), NC_INT, 1, &value), "nc_put_att_int",
        "cannot write attribute " + name + " of " + label(var));
}

void netcdf_file::end_define() {
  check(nc_enddef(id_), "nc_enddef", "cannot end the definitions");
}

void netcdf_file::write(int var, const float* values) {
  check(nc_put_var_float(id_, var, values), "nc_put_var_float",
        "cannot write variable " + label(var));
}

void netcdf_file::write(int var, const double* values) {
  check(nc_put_var_double(id_, var, values), "nc_put_var_double",
        "cannot write variable " + label(var));
}

void netcdf_file::write(int var, const std::vector<std::size_t>& start,
                        const std::vector<std::size_t>& count, const float* values) {
  check(nc_put_vara_float(id_, var, start.data(), count.data(), values), "nc_put_vara_float",
        "cannot write variable " + label(var));
}

void netcdf_file::close() {
  const int id = id_;
  id_ = -1;
  check(nc_close(id), "nc_close", "cannot close NetCDF file");
}

int netcdf_file::var(const std::string& name) const {
  int v = -1;
  check(nc_inq_varid(id_, name.c_str(), &v), "nc_inq_varid", "no variable " + name);
  return v;
}

std::string netcdf_file::text(int var, const std::string& name) const {
  std::size_t length = 0;
  check(nc_inq_attlen(id_, var, name.c_str(), &length), "nc_inq_attlen",
        "no attribute " + name + " of " + label(var));
  std::string value(length, '\0');
  check(nc_get_att_text(id_, var, name.c_str(), value.data()), "nc_get_att_text",
        "cannot read attribute " + name + " of " + label(var));
  return value;
}

int netcdf_file::integer(int var, const std::string& name) const {
  int value = 0;
  check(nc_get_att_int(id_, var, name.c_str(), &value), "nc_get_att_int",
        "cannot read attribute " + name + " of " + label(var));
  return value;
}

std::vector<float> netcdf_file::read_floats(int var) const {
  int ndims = 0;
  check(nc_inq_varndims(id_, var, &ndims), "nc_inq_varndims",
        "cannot inquire variable " + label(var));
  std::vector<int> dims(static_cast<std::size_t>(ndims));
  check(nc_inq_vardimid(id_, var, dims.data()), "nc_inq_vardimid",
        "cannot inquire variable " + label(var));
  std::size_t count = 1;
  for (const int d : dims) {
    std::size_t length = 0;
    check(nc_inq_dimlen(id_, d, &length), "nc_inq_dimlen",
          "cannot inquire a dimension of variable " + label(var));
    count *= length;
  }
  std::vector<float> values(count);
  check(nc_get_var_float(id_, var, values.data()), "nc_get_var_float",
        "cannot read variable " + label(var));
  return values;
}

int netcdf_file::var_count() const {
  int n = 0;
  check(nc_inq_nvars(id_, &n), "nc_inq_nvars", "cannot count the variables");
  return n;
}

int netcdf_file::find_var(const std::string& name) const {
  int v = -1;
  const int status = nc_inq_varid(id_, name.c_str(), &v);
  if (status == NC_ENOTVAR) return -1;
  check(status, "nc_inq_varid", "cannot look for variable " + name);
  return v;
}

std::string netcdf_file::var_name(int var) const {
  char name[NC_MAX_NAME + 1] = {};
  check(nc_inq_varname(id_, var, name), "nc_inq_varname", "cannot inquire variable " + label(var));
  return name;
}

nc_type netcdf_file::var_type(int var) const {
  nc_type type = NC_NAT;
  check(nc_inq_vartype(id_, var, &type), "nc_inq_vartype", "cannot inquire variable " + label(var));
  return type;
}

std::vector<netcdf_file::dim_info> netcdf_file::var_dims(int var) const {
  int ndims = 0;
  check(nc_inq_varndims(id_, var, &ndims), "nc_inq_varndims",
        "cannot inquire variable " + label(var));
  std::vector<int> ids(static_cast<std::size_t>(ndims));
  check(nc_inq_vardimid(id_, var, ids.data()), "nc_inq_vardimid",
        "cannot inquire variable " + label(var));
  std::vector<dim_info> dims;
  for (const int d : ids) {
    char name[NC_MAX_NAME + 1] = {};
    dim_info info;
    check(nc_inq_dim(id_, d, name, &info.length), "nc_inq_dim",
          "cannot inquire a dimension of variable " + label(var));
    info.name = name;
    dims.push_back(info);
  }
  return dims;
}

bool netcdf_file::has_att(int var, const std::string& name) const {
  const int status = nc_inq_attid(id_, var, name.c_str(), nullptr);
  if (status == NC_ENOTATT) return false;
  check(status, "nc_inq_attid", "cannot look for attribute " + name + " of " + label(var));
  return true;
}

std::string netcdf_file::text_or(int var, const std::string& name,
                                 const std::string& otherwise) const {
  nc_type type = NC_NAT;
  const int status = nc_inq_atttype(id_, var, name.c_str(), &type);
  if (status == NC_ENOTATT) return otherwise;
  check(status, "nc_inq_atttype", "cannot look for attribute " + name + " of " + label(var));
  if (type != NC_CHAR) return otherwise;
  std::string value = text(var, name);
  while (!value.empty() && value.back() == '\0') value.pop_back();
  return value;
}

std::vector<double> netcdf_file::numbers(int var, const std::string& name) const {
  nc_type type = NC_NAT;
  std::size_t length = 0;
  const int status = nc_inq_att(id_, var, name.c_str(), &type, &length);
  if (status == NC_ENOTATT) return {};
  check(status, "nc_inq_att", "cannot look for attribute " + name + " of " + label(var));
  if (type == NC_CHAR || type == NC_STRING) return {};
  std::vector<double> values(length);
  check(nc_get_att_double(id_, var, name.c_str(), values.data()), "nc_get_att_double",
        "cannot read attribute " + name + " of " + label(var));
  return values;
}

std::vector<double> netcdf_file::read_doubles(int var, const std::vector<std::size_t>& start,
                                              const std::vector<std::size_t>& count) const {
  std::size_t n = 1;
  for (const std::size_t c : count) n *= c;
  std::vector<double> values(n);
  check(nc_get_vara_double(id_, var, start.data(), count.data(), values.data()),
        "nc_get_vara_double", "cannot read variable " + label(var));
  return values;
}

}  // namespace c2m::companion
