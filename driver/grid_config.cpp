#include "driver/grid_config.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/constants.hpp"
#include "common/errors.hpp"
#include "common/line_layout.hpp"

namespace c2m {

std::string read_small_file(const std::string& path) {
  // A configuration file is a few hundred bytes; a huge one is not one.
  constexpr std::size_t limit = std::size_t{16} << 20;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw run_error(os_error(path, "cannot open"));
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    throw run_error(path + ": is a directory, not a file");
  }
  std::string text;
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const std::string msg = os_error(path, "cannot read");
      ::close(fd);
      throw run_error(msg);
    }
    if (n == 0) break;
    text.append(buf, static_cast<std::size_t>(n));
    if (text.size() > limit) {
      ::close(fd);
      throw run_error(path + ": larger than 16 MiB, not a grid configuration file");
    }
  }
  ::close(fd);
  return text;
}

list_reader open_grid_config(const std::string& path) {
  return list_reader(read_small_file(path), path);
}

void read_grid_description(list_reader& cfg, run_state& run) {
  std::string title = cfg.read_line("title line");
  title.resize(20, ' ');
  run.title = title;

  const auto dims = cfg.read_ints(3, "grid dimensions im, jm, lm");
  run.im = dims[0];
  run.jm = dims[1];
  run.lm = dims[2];

  run.kgds[1] = cfg.read_ints(1, "data representation type kgds(1)")[0];
  run.kgds[4] = cfg.read_ints(1, "latitude of the first point kgds(4)")[0];
  run.kgds[5] = cfg.read_ints(1, "longitude of the first point kgds(5)")[0];
  run.kgds[7] = cfg.read_ints(1, "latitude of the last point kgds(7)")[0];
  run.kgds[8] = cfg.read_ints(1, "longitude of the last point kgds(8)")[0];
  run.kgds[9] = cfg.read_ints(1, "increment along the first axis kgds(9)")[0];
  run.kgds[10] = cfg.read_ints(1, "increment along the second axis kgds(10)")[0];

  // Empty grids would leave the level check, the soil repair and the sample without a
  // point to read; refuse them before anything is allocated.
  if (run.im < 1 || run.jm < 1 || run.lm < 1)
    throw run_error(std::string(grid_config_path) +
                    ": grid dimensions must be at least 1, got im=" + std::to_string(run.im) +
                    " jm=" + std::to_string(run.jm) + " lm=" + std::to_string(run.lm));
}

void read_config_pressures(list_reader& cfg, run_state& run) {
  // Grown line by line: a huge lm in a short file ends at its end of file without
  // first claiming lm floats.
  run.pr.clear();
  for (std::int32_t l = 1; l <= run.lm; ++l)
    run.pr.push_back(cfg.read_real("pressure of level " + std::to_string(l)));
}

void echo_grid_config(const run_state& run) {
  log_line({"using hardwired stuff! ", run.im, run.jm, run.lm});
  std::vector<item> pressures(run.pr.begin(), run.pr.end());
  log_line(pressures);
  // The title up to its first blank; a title without a blank echoes as nothing.
  const std::size_t blank = run.title.find(' ');
  log_line({std::string_view(run.title).substr(0, blank == std::string::npos ? 0 : blank)});
}

}  // namespace c2m
