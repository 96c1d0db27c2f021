// A small RAII wrapper over the netCDF C library: the file is closed when the object
// goes, and every failing call becomes a run_error naming the file, what was being done,
// the netCDF call and its error.
#pragma once

#include <netcdf.h>

#include <cstddef>
#include <initializer_list>
#include <string>
#include <vector>

namespace c2m::companion {

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
  // Chunks of these sizes, one per axis. Each is meant to be written whole in one call, so
  // the variable's chunk cache is made to hold just one: a chunk larger than the default
  // cache would otherwise be read back, inflated and deflated again on every partial write.
  void chunk(int var, const std::vector<std::size_t>& sizes);
  void compress(int var, int level);  // shuffle, then deflate at level 1 to 9
  void no_fill(int var);              // for a variable whose every value will be written
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

  // Reading a file one does not know: its variables, their axes and attributes.
  struct dim_info {
    std::string name;
    std::size_t length = 0;
  };
  int var_count() const;
  int find_var(const std::string& name) const;  // -1 when there is none
  std::string var_name(int var) const;
  nc_type var_type(int var) const;
  std::vector<dim_info> var_dims(int var) const;
  bool has_att(int var, const std::string& name) const;
  std::string text_or(int var, const std::string& name, const std::string& otherwise) const;
  std::vector<double> numbers(int var, const std::string& name) const;  // empty if absent
  // A hyperslab as doubles, raw (no unpacking); start and count per axis.
  std::vector<double> read_doubles(int var, const std::vector<std::size_t>& start,
                                   const std::vector<std::size_t>& count) const;
  const std::string& path() const { return path_; }

 private:
  netcdf_file(int id, std::string path) : id_(id), path_(std::move(path)) {}
  // A failing call becomes a run_error: the file, what was being done, the call, and
  // the library's own words.
  void check(int status, const char* call, const std::string& what) const;
  std::string label(int var) const;  // the variable's name, for diagnostics

  int id_ = -1;
  std::string path_;
};

}  // namespace c2m::companion
