// A small RAII wrapper over the netCDF C library: the file is closed when the object
// goes, and every failing call becomes a run_error naming the file and the call.
#pragma once

#include <netcdf.h>

#include <cstddef>
#include <initializer_list>
#include <string>
#include <vector>

namespace c2m::inspect {

class netcdf_file {
 public:
  static netcdf_file create(const std::string& path);  // NetCDF-4, replacing the file
  static netcdf_file open(const std::string& path);    // read only

  ~netcdf_file();
  netcdf_file(netcdf_file&& other) noexcept;
  netcdf_file& operator=(netcdf_file&&) = delete;
  netcdf_file(const netcdf_file&) = delete;
  netcdf_file& operator=(const netcdf_file&) = delete;

  int define_dim(const std::string& name, std::size_t length);
  int define_var(const std::string& name, nc_type type, std::initializer_list<int> dims);
  int define_var(const std::string& name, nc_type type, const std::vector<int>& dims);
  void compress(int var);  // shuffle and deflate level 1
  void put_text(int var, const std::string& name, const std::string& value);  // NC_GLOBAL too
  void put_float(int var, const std::string& name, float value);
  void put_int(int var, const std::string& name, int value);
  void end_define();
  void write(int var, const float* values);
  void write(int var, const double* values);
  // A block of a variable: count[d] values from start[d] along each of its dimensions.
  void write(int var, const std::vector<std::size_t>& start, const std::vector<std::size_t>& count,
             const float* values);
  void close();  // closes and reports a failure to flush; the destructor only closes

  int var(const std::string& name) const;
  std::string text(int var, const std::string& name) const;
  int integer(int var, const std::string& name) const;
  std::vector<float> read_floats(int var) const;  // all of it, as floats

 private:
  netcdf_file(int id, std::string path) : id_(id), path_(std::move(path)) {}
  void check(int status, const std::string& what) const;

  int id_ = -1;
  std::string path_;
};

}  // namespace c2m::inspect
