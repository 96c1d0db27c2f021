// Soil of any layering on the four layers conv2model carries. A source whose layers are
// the four target layers keeps them, bit for bit. Any other layering is mapped: moisture
// by overlap weighting of volume fractions, so that the column's water down to the
// deepest target depth is kept; temperature linear in depth between the source's nodes
// (or its layers' mid-depths) at each target layer's mid-depth, constant above the first
// and below the last. Layerings that cannot be mapped are refused naming their depths.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "companion/prepare/source_field.hpp"

namespace c2m::prepare {

// The bounds of four layers in metres, from 0 down.
using soil_bounds = std::array<double, 5>;
inline constexpr soil_bounds gfs_soil_layers = {0.0, 0.1, 0.4, 1.0, 2.0};

// "0-7,7-28,28-100,100-289" (cm) as bounds; throws usage_error when the text is not four
// layers that follow each other from the surface down.
soil_bounds soil_layers_of(const std::string& text);

struct soil_weight {
  std::size_t source;  // in soil_plan::sources
  double weight;
};

// What becomes of the soil fields of one valid time. Slots are the eight soil fields of
// the surface stack in writing order (st1, sm1, st2, ..., sm4).
struct soil_plan {
  soil_bounds target = gfs_soil_layers;
  std::array<const source_field*, 8> direct{};      // kept as given
  std::array<std::vector<soil_weight>, 8> weights;  // mapped; empty when not
  std::vector<const source_field*> sources;         // read for the mapping
  std::vector<const source_field*> unknown;         // depths not known
  std::vector<const source_field*> ignored;         // depths given before
  std::vector<found_again> again;                   // each of those, with the one kept
  std::string note;                                 // what was mapped, for stderr
  bool mapped(std::size_t slot) const { return !weights[slot].empty(); }
};

// Plans the soil fields found; `asked` are the layers of --soil-layers. Throws run_error
// for a layering that cannot be mapped, naming its depths.
soil_plan plan_soil(const std::vector<const source_field*>& soil,
                    const std::optional<soil_bounds>& asked);

// The mapped slots from the sources' values, `n` points each; a point where a source
// that contributes has no data has none.
void map_soil(const soil_plan& plan, std::span<const float* const> sources,
              const std::array<float*, 8>& slots, std::size_t n);

// Between two held times whose soil is mapped alike: each mapped slot at both times, in
// double, and the value `after` of the `span` from the earlier to the later, rounded once.
void map_soil_between(const soil_plan& earlier, std::span<const float* const> earlier_sources,
                      const soil_plan& later, std::span<const float* const> later_sources,
                      std::int64_t after, std::int64_t span, const std::array<float*, 8>& slots,
                      std::size_t n);

// The first soil slot (st1, sm1, ..., sm4 from 0) that two times do not make alike: onto
// other target layers, kept at one time and mapped at the other, or mapped from other
// depths or with other weights. Nothing when every slot can be paired by its target layer.
std::optional<std::size_t> differing_soil_slot(const soil_plan& a, const soil_plan& b);

// How a slot is made: "kept from 0-0.1 m", "mapped from 0-0.07 m, 0.07-0.28 m".
std::string soil_slot_text(const soil_plan& plan, std::size_t slot);

// The depths of a soil field whose layer its code or name gives (ECMWF's stl1-4,
// swvl1-4): ECMWF's layers.
soil_depths depths_of_numbered_layer(const field_kind& kind);

// "0-0.1, 0.1-0.4, 0.4-1, 1-2 m"
std::string bounds_text(const soil_bounds& b);

}  // namespace c2m::prepare
