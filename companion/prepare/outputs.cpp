#include "companion/prepare/outputs.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "common/command_line_options.hpp"
#include "common/errors.hpp"
#include "common/grid_config_file.hpp"

namespace c2m::prepare {

namespace {

// The part of "2011-01-15T12:00Z" a conversion stands for.
std::string time_part(char conversion, const std::string& t) {
  switch (conversion) {
    case 'Y':
      return t.substr(0, 4);
    case 'm':
      return t.substr(5, 2);
    case 'd':
      return t.substr(8, 2);
    case 'H':
      return t.substr(11, 2);
    case 'M':
      return t.substr(14, 2);
    default:
      return "";
  }
}

bool is_time_conversion(char c) {
  return c == 'Y' || c == 'm' || c == 'd' || c == 'H' || c == 'M';
}

}  // namespace

std::string name_for_time(const std::string& pattern, const std::string& valid_time) {
  std::string name;
  for (std::size_t k = 0; k < pattern.size(); ++k) {
    if (pattern[k] != '%') {
      name += pattern[k];
      continue;
    }
    const char c = k + 1 < pattern.size() ? pattern[++k] : '\0';
    if (c == '%')
      name += '%';
    else if (is_time_conversion(c) && valid_time.size() >= 16)
      name += time_part(c, valid_time);
    else
      throw usage_error("-o: \"" + pattern + "\": a name pattern knows %Y %m %d %H %M and %% only");
  }
  return name;
}

bool names_a_time(const std::string& pattern) {
  for (std::size_t k = 0; k + 1 < pattern.size(); ++k)
    if (pattern[k] == '%') {
      if (is_time_conversion(pattern[k + 1])) return true;
      ++k;
    }
  return false;
}

namespace {

// The file an output name stands for: its directory resolved, its own name as given (the
// output replaces a link, it does not write through it). A directory that cannot be
// resolved is left to the write to report.
std::string resolved(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  char* real = ::realpath(dir.c_str(), nullptr);
  if (!real) return path;
  std::string full = real;
  std::free(real);
  return full + "/" + name;
}

}  // namespace

void check_outputs_are_distinct(const std::vector<std::string>& outputs) {
  for (std::size_t a = 0; a < outputs.size(); ++a)
    for (std::size_t b = a + 1; b < outputs.size(); ++b)
      if (resolved(outputs[a]) == resolved(outputs[b]))
        throw run_error(outputs[a] + ": is also the output " + outputs[b] +
                        "; writing both would leave one of them lost (choose another output "
                        "name: the grid configuration is always ./" +
                        std::string(grid_config_file::name) + ")");
}

namespace {

const std::string config_path(grid_config_file::name);

std::string contents_of(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

config_watch::config_watch() : existed_(::stat(config_path.c_str(), &at_start_) == 0) {}

bool config_watch::replaced_by_another_run(const std::string& ours) const {
  struct ::stat now {};
  if (::stat(config_path.c_str(), &now) != 0) return false;
  const bool same = existed_ && now.st_dev == at_start_.st_dev && now.st_ino == at_start_.st_ino &&
                    now.st_size == at_start_.st_size &&
                    now.st_mtim.tv_sec == at_start_.st_mtim.tv_sec &&
                    now.st_mtim.tv_nsec == at_start_.st_mtim.tv_nsec;
  return !same && contents_of(config_path) != contents_of(ours);
}

commit_lock::commit_lock() : fd_(::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
  if (!fd_.is_open()) throw run_error(os_error(".", "cannot open the working directory"));
  while (::flock(fd_.get(), LOCK_EX) != 0)
    if (errno != EINTR) throw run_error(os_error(".", "cannot lock the working directory"));
}

}  // namespace c2m::prepare
