#include "companion/prepare/source_field.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "common/constants.hpp"
#include "common/errors.hpp"
#include "companion/prepare/plausibility.hpp"

namespace c2m::prepare {

namespace {

// A value beyond the float range becomes an infinity of its sign rather than undefined
// behaviour; the plausibility check refuses it.
float to_float(double x) {
  if (std::fabs(x) <= std::numeric_limits<float>::max() || std::isnan(x))
    return static_cast<float>(x);
  return x < 0 ? -std::numeric_limits<float>::infinity() : std::numeric_limits<float>::infinity();
}

// The runs of consecutive source columns along a row of the window: one for a whole
// grid stored by rows, two for a window across the seam, one per point for a grid
// stored by columns.
struct column_run {
  std::size_t first_out, source, length;
};

std::vector<column_run> column_runs(const std::vector<std::size_t>& col) {
  std::vector<column_run> runs;
  for (std::size_t i = 0; i < col.size(); ++i)
    if (!runs.empty() && col[i] == runs.back().source + runs.back().length)
      ++runs.back().length;
    else
      runs.push_back({i, col[i], 1});
  return runs;
}

#if defined(__SSE2__)
// The low halves of two double masks, as one float mask.
__m128 narrow(__m128d low, __m128d high) {
  return _mm_shuffle_ps(_mm_castpd_ps(low), _mm_castpd_ps(high), _MM_SHUFFLE(2, 0, 2, 0));
}

__m128 select(__m128 mask, __m128 yes, __m128 no) {
  return _mm_or_ps(_mm_and_ps(mask, yes), _mm_andnot_ps(mask, no));
}

// convert's first values, four at a time, chosen by masks rather than branches (a
// compiler keeps the branches: under IEEE rules a comparison may raise a flag, so it
// will not run both sides). The same operations as to_float, so the same bits. Returns
// how many values it did.
std::size_t convert_by_fours(const double* from, std::size_t n, double missing, double divisor,
                             float* out) {
  const __m128d most = _mm_set1_pd(std::numeric_limits<float>::max());
  const __m128d magnitude = _mm_castsi128_pd(_mm_set1_epi64x(0x7fffffffffffffff));
  const __m128d gap = _mm_set1_pd(missing), by = _mm_set1_pd(divisor);
  const __m128 sign = _mm_set1_ps(-0.0f), inf = _mm_set1_ps(std::numeric_limits<float>::infinity());
  const __m128 fill = _mm_set1_ps(input_fill);
  std::size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    const __m128d a = _mm_loadu_pd(from + i), b = _mm_loadu_pd(from + i + 2);
    const __m128d va = divisor == 1.0 ? a : _mm_div_pd(a, by);
    const __m128d vb = divisor == 1.0 ? b : _mm_div_pd(b, by);
    const __m128 f = _mm_movelh_ps(_mm_cvtpd_ps(va), _mm_cvtpd_ps(vb));
    // Beyond the float range an infinity of its sign; NaN is not beyond it.
    const __m128 beyond = narrow(_mm_cmpgt_pd(_mm_and_pd(va, magnitude), most),
                                 _mm_cmpgt_pd(_mm_and_pd(vb, magnitude), most));
    const __m128 r = select(beyond, _mm_or_ps(_mm_and_ps(f, sign), inf), f);
    _mm_storeu_ps(out + i, select(narrow(_mm_cmpeq_pd(a, gap), _mm_cmpeq_pd(b, gap)), fill, r));
  }
  return i;
}
#endif

// One run of values in the field's unit.
void convert(const double* from, std::size_t n, double missing, double divisor, float* out) {
  std::size_t i = 0;
#if defined(__SSE2__)
  i = convert_by_fours(from, n, missing, divisor, out);
#endif
  for (; i < n; ++i) out[i] = from[i] == missing ? input_fill : to_float(from[i] / divisor);
}

// The land-sea mask: a plausible value becomes 0 or 1 at 0.5.
void convert_mask(const double* from, std::size_t n, double missing, std::size_t k, float* out) {
  for (std::size_t i = 0; i < n; ++i) {
    const double v = from[i];
    if (v == missing)
      out[i] = input_fill;
    else if (plausible(k, v))
      out[i] = v >= 0.5 ? 1.0f : 0.0f;
    else
      out[i] = to_float(v);  // NaN and implausible values stay for the check
  }
}

}  // namespace

void place(std::span<const double> values, double missing, const window& cut,
           const field_kind& kind, float* out, summarizer& rows) {
  const std::size_t k = field_index(kind);
  // Every reader checks its values against the grid; this keeps a fault there from
  // reading past them.
  if (!cut.row.empty() && !cut.col.empty() &&
      *std::max_element(cut.row.begin(), cut.row.end()) +
              *std::max_element(cut.col.begin(), cut.col.end()) >=
          values.size())
    throw run_error("the values read do not cover the window");
  const std::vector<column_run> runs = column_runs(cut.col);
  for (std::size_t j = 0; j < cut.row.size(); ++j, out += cut.col.size()) {
    for (const column_run& r : runs) {
      const double* from = values.data() + cut.row[j] + r.source;
      if (kind.mask)
        convert_mask(from, r.length, missing, k, out + r.first_out);
      else
        convert(from, r.length, missing, kind.divisor, out + r.first_out);
    }
    rows.add({out, cut.col.size()});
  }
}

}  // namespace c2m::prepare
