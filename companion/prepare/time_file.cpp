#include "companion/prepare/time_file.hpp"

#include <algorithm>
#include <array>
#include <vector>

#include "common/constants.hpp"
#include "common/errors.hpp"
#include "common/field_file.hpp"
#include "common/field_slots.hpp"
#include "companion/prepare/analysis.hpp"
#include "companion/prepare/field_reading.hpp"
#include "companion/prepare/regridding.hpp"

namespace c2m::prepare {

namespace {

// The records that hold fields, in file order: one for each 3-D field, at its slot's
// position less one, then the surface stack.
using record_id = std::size_t;
constexpr record_id record_3d(std::int32_t position) {
  return static_cast<record_id>(position - 1);
}
constexpr record_id eastward = record_3d(slots::eastward_wind);
constexpr record_id northward = record_3d(slots::northward_wind);
constexpr record_id humidity = record_3d(slots::humidity);
constexpr record_id temperature = record_3d(slots::air_temperature);
constexpr record_id surface = record_3d(slots::count_3d + 1);
constexpr std::size_t records = surface + 1;

// A view of the first nl levels of a buffer.
grid levels_of(grid& buffer, std::int32_t nl) {
  return grid{buffer.im, buffer.jm, nl, buffer.data, {}};
}

class time_file {
 public:
  time_file(const selection& sel, const window& w, const options& opt, record_buffers& buffers,
            field_file::writer& out, const blend* between, kept_fields* keep)
      : sel_(sel),
        w_(w),
        opt_(opt),
        buffers_(buffers),
        out_(out),
        placed_(sel),
        between_(between),
        keep_(keep),
        derive_(derives_humidity(sel)) {
    // Humidity given as q needs the temperature of its level: then it comes in first.
    for (record_id r = 0; r < records; ++r) order_[r] = r;
    if (derive_) std::swap(order_[humidity], order_[temperature]);
    for (std::size_t at = 0; at < records; ++at) plan(at);
  }

  // Reads every field and writes every record; returns the largest relative difference
  // of humidity derived from q and converted back.
  double run(const decode_limits& limits) {
    const auto lm = static_cast<std::int32_t>(sel_.levels.size());
    out_.put(&lm, sizeof lm);
    read_fields(
        loads_, limits, opt_.allow_implausible,
        [&](std::size_t k) {
          const std::size_t at = turn_of_load_[k];
          return at < 2 || written_[(order_[at - 2])];
        },
        [&](std::size_t k) {
          --pending_[(order_[turn_of_load_[k]])];
          write_ready();
        });
    write_ready();
    if (next_ < records) throw run_error("conv2model-prepare: a record was never complete");
    return round_trip_;
  }

  const placed& summaries() const { return placed_; }

 private:
  // The loads of the record read in turn `at`, into buffer at % 2.
  void plan(std::size_t at) {
    const record_id r = order_[at];
    grid& g = buffers_[at % 2];
    buffer_of_[r] = &g;
    // Between two held times, each field comes with its own at the later time.
    const auto add = [&](const source_field* s, const source_field* later, std::int32_t level,
                         field_summary* sum) {
      if (!between_ || later == s) later = nullptr;
      loads_.push_back({s, &w_, g.level(level), sum, later, between_ ? between_->after : 0,
                        between_ ? between_->span : 0, kept(s), kept(later), land_for(r, level)});
      turn_of_load_.push_back(at);
      ++pending_[r];
    };
    if (r == surface) {
      for (int k = 1; k <= nsfcfld; ++k)
        if (const source_field* s = sel_.surface[static_cast<std::size_t>(k - 1)];
            s && !(k >= k_soil_t1 && sel_.soil.mapped(std::size_t(k - k_soil_t1))))
          add(s, between_ ? between_->later->surface[static_cast<std::size_t>(k - 1)] : nullptr, k,
              &placed_.surface[static_cast<std::size_t>(k - 1)]);
      // Soil of another layering: each source into a plane of its own, mapped once all
      // are in. Between two held times the later time's sources follow the earlier's.
      const std::size_t n = std::size_t(w_.im) * std::size_t(w_.jm);
      const std::vector<const source_field*>& later =
          between_ ? between_->later->soil.sources : no_sources_;
      const std::size_t planes = sel_.soil.sources.size() + later.size();
      if (planes && !soil_memory_)
        soil_memory_ = std::make_unique<shared_memory>(planes * n * sizeof(float));
      later_summaries_.resize(later.size());
      for (std::size_t i = 0; i < planes; ++i) {
        const bool own = i < sel_.soil.sources.size();
        const std::size_t j = own ? i : i - sel_.soil.sources.size();
        const source_field* s = own ? sel_.soil.sources[i] : later[j];
        loads_.push_back({s,
                          &w_,
                          soil_memory_->floats() + i * n,
                          own ? &placed_.soil_sources[i] : &later_summaries_[j],
                          nullptr,
                          0,
                          0,
                          kept(s),
                          {},
                          land_for(r, k_soil_t1)});
        turn_of_load_.push_back(at);
        ++pending_[r];
      }
      return;
    }
    for (std::size_t l = 0; l < sel_.levels.size(); ++l)
      add(sel_.upper[r][l], between_ ? between_->later->upper[r][l] : nullptr,
          static_cast<std::int32_t>(l + 1), &placed_.upper[r][l]);
  }

  kept_values kept(const source_field* s) const {
    return keep_ && s ? keep_->at(s) : kept_values{};
  }

  // With --grid, soil takes land from the land-sea mask.
  const source_field* land_for(record_id r, std::int32_t level) const {
    if (!w_.regridded || r != surface || level < k_soil_t1) return nullptr;
    return sel_.surface[k_lsm - 1];
  }

  bool complete(record_id r) const {
    // With --grid, u is turned with v of its level.
    return pending_[r] == 0 && (r != humidity || !derive_ || pending_[temperature] == 0) &&
           (r != eastward || !w_.regridded || pending_[northward] == 0);
  }

  // Writes, in file order, every record whose fields are all in.
  void write_ready() {
    const auto lm = static_cast<std::int32_t>(sel_.levels.size());
    for (; next_ < records && complete(next_); ++next_) {
      const record_id r = next_;
      grid& g = *buffer_of_[next_];
      if (r == surface) {
        grid s = levels_of(g, nsfcfld);
        for (int k = 1; k <= nsfcfld; ++k)
          if (!sel_.surface[static_cast<std::size_t>(k - 1)])
            std::fill_n(s.level(k), s.level_size(), input_fill);
        if (soil_memory_) map_sources(s);
        settle_soil(s, sel_, opt_.allow_implausible, placed_);
        out_.put(s.data, s.size() * sizeof(float));
      } else {
        grid v = levels_of(g, lm);
        if (r == eastward && w_.regridded) {
          grid vw = levels_of(*buffer_of_[northward], lm);
          for (std::int32_t l = 1; l <= lm; ++l)
            w_.regridded->turn_winds(*sel_.upper[eastward][std::size_t(l - 1)], v.level(l),
                                     vw.level(l));
        }
        if (r == humidity && derive_) {
          const grid t = levels_of(*buffer_of_[temperature], lm);
          round_trip_ = derive_relative_humidity(v, t, sel_);
        }
        out_.put(v.data, v.size() * sizeof(float));
        if (r == temperature) {
          const std::vector<float> pr(sel_.levels.begin(), sel_.levels.end());
          out_.put(pr.data(), pr.size() * sizeof(float));
        }
      }
      written_[next_] = true;
    }
  }

  // The mapped soil slots of the surface stack `s` from the sources' planes, each source
  // judged over land only, as a soil field kept is.
  void map_sources(grid& s) {
    std::vector<const float*> planes;
    for (std::size_t i = 0; i < sel_.soil.sources.size(); ++i) {
      planes.push_back(soil_memory_->floats() + i * s.level_size());
      field_summary& sum = placed_.soil_sources[i];
      const std::size_t nearest = sum.nearest_land;
      sum = summarize({planes.back(), s.level_size()}, field_index(sel_.soil.sources[i]->kind),
                      opt_.allow_implausible, s.level(k_lsm));
      sum.nearest_land = nearest;
    }
    std::array<float*, 8> slots{};
    for (std::size_t slot = 0; slot < slots.size(); ++slot)
      slots[slot] = s.level(k_soil_t1 + static_cast<int>(slot));
    if (!between_) {
      map_soil(sel_.soil, planes, slots, s.level_size());
      return;
    }
    // Each target layer mapped at both times, then the two paired by target layer.
    std::vector<const float*> later_planes;
    for (std::size_t j = 0; j < between_->later->soil.sources.size(); ++j)
      later_planes.push_back(soil_memory_->floats() +
                             (sel_.soil.sources.size() + j) * s.level_size());
    map_soil_between(sel_.soil, planes, between_->later->soil, later_planes, between_->after,
                     between_->span, slots, s.level_size());
  }

  const selection& sel_;
  const window& w_;
  const options& opt_;
  record_buffers& buffers_;
  field_file::writer& out_;
  placed placed_;
  const blend* between_;
  kept_fields* keep_;
  bool derive_;
  std::array<record_id, records> order_{};
  std::array<grid*, records> buffer_of_{};
  std::array<std::size_t, records> pending_{};
  std::array<bool, records> written_{};
  std::size_t next_ = 0;                        // the next record to write, in file order
  std::unique_ptr<shared_memory> soil_memory_;  // the soil sources' planes, when mapped
  std::vector<field_summary> later_summaries_;  // the later time's soil sources, as read
  const std::vector<const source_field*> no_sources_;
  std::vector<field_load> loads_;
  std::vector<std::size_t> turn_of_load_;
  double round_trip_ = 0;
};

}  // namespace

record_buffers::record_buffers(const window& w, std::int32_t lm)
    : im_(w.im), jm_(w.jm), nl_(std::max(lm, nsfcfld)) {}

grid& record_buffers::operator[](std::size_t k) {
  if (!memory_[k]) {
    memory_[k] = std::make_unique<shared_memory>(std::size_t(im_) * std::size_t(jm_) *
                                                 std::size_t(nl_) * sizeof(float));
    view_[k] = grid{im_, jm_, nl_, memory_[k]->floats(), {}};
  }
  return view_[k];
}

void write_time_file(const selection& sel, const window& w, const std::string& temp,
                     const std::string& name, const options& opt, const decode_limits& limits,
                     record_buffers& buffers, std::ostream& warn, const blend* between,
                     kept_fields* keep) {
  field_file::writer out(temp, name);
  time_file t(sel, w, opt, buffers, out, between, keep);
  const double round_trip = t.run(limits);
  out.close();
  check_holes(t.summaries(), sel, w, opt.allow_holes, warn);
  check_values(t.summaries(), sel, w);
  note_derived_humidity(sel, round_trip, warn);
}

}  // namespace c2m::prepare
