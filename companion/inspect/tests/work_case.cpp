#include "companion/inspect/tests/work_case.hpp"

#include <algorithm>

#include "common/run_state.hpp"
#include "output/output.hpp"
#include "tools/record_writer.hpp"

namespace c2m::inspect::test {

float* work_case::record(int r) {
  return values.data() + static_cast<std::size_t>(r - 1) * static_cast<std::size_t>(im) *
                             static_cast<std::size_t>(jm);
}

float& work_case::at(int r, std::int32_t i, std::int32_t j) {
  return record(r)[static_cast<std::size_t>(j - 1) * static_cast<std::size_t>(im) +
                   static_cast<std::size_t>(i - 1)];
}

work_case make_case(std::int32_t im, std::int32_t jm, std::int32_t lm) {
  work_case c;
  c.im = im;
  c.jm = jm;
  c.lm = lm;
  for (std::int32_t l = 0; l < lm; ++l)
    c.pr_hpa.push_back(1000.0f - 100.0f * static_cast<float>(l));
  c.kgds = {0,   0,   im, jm, 35000, -10000, 128, 35000 + 250 * (jm - 1), -10000 + 250 * (im - 1),
            250, 250, 64};
  c.kgds[20] = 255;
  const std::size_t n = static_cast<std::size_t>(im) * static_cast<std::size_t>(jm);
  c.values.resize(n * static_cast<std::size_t>(5 * lm + 12));
  const float per_field[] = {5.0f, 5.0f, 1000.0f, 0.001f, 250.0f};
  for (int f = 0; f < 5; ++f)
    for (std::int32_t l = 1; l <= lm; ++l) std::fill_n(c.record(f * lm + l), n, per_field[f]);
  const float surface[] = {1.0f,   1000.0f, 1000.0f, 100.0f, 280.0f, 0.3f,
                           280.0f, 0.3f,    280.0f,  0.3f,   280.0f, 0.3f};
  for (int k = 1; k <= 12; ++k) std::fill_n(c.record(5 * lm + k), n, surface[k - 1]);
  return c;
}

void write_case(const work_case& c, const std::string& path) {
  run_state run;
  run.im = c.im;
  run.jm = c.jm;
  run.lm = c.lm;
  run.pr = c.pr_hpa;
  run.kgds = c.kgds;
  sample::write_file(path + ".gdsinfo", gds_info_text(run));
  sample::write_file(path, std::string(reinterpret_cast<const char*>(c.values.data()),
                                       c.values.size() * sizeof(float)));
}

}  // namespace c2m::inspect::test
