// Soil of any layering on four layers: the plan and the values it gives, held to the
// column's water and to the temperature of the bracketing nodes, both by formula.
#include "companion/prepare/soil_layers.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <string>
#include <vector>

#include "common/command_line_options.hpp"
#include "common/constants.hpp"
#include "common/errors.hpp"

namespace c2m::prepare {
namespace {

// ICON's node depths of T_SO and layer bounds of W_SO, in metres.
const std::vector<double> icon_nodes = {0, 0.005, 0.02, 0.06, 0.18, 0.54, 1.62, 4.86, 14.58};
const std::vector<double> icon_bounds = {0, 0.01, 0.03, 0.09, 0.27, 0.81, 2.43, 7.29, 21.87};

struct fields {
  std::deque<source_field> all;
  std::vector<const source_field*> list;
  void add(bool temperature, double top, double bottom, bool node = false) {
    source_field s;
    s.kind.surface = temperature ? k_soil_t1 : k_soil_m1;
    s.kind.soil_layer_by_depth = true;
    s.soil = {top, bottom, node, true};
    s.file = "f.grib2";
    s.origin = "message " + std::to_string(all.size() + 1);
    all.push_back(s);
    list.push_back(&all.back());
  }
};

fields icon() {
  fields f;
  for (const double d : icon_nodes) f.add(true, d, 0, true);
  for (std::size_t i = 0; i + 1 < icon_bounds.size(); ++i)
    f.add(false, icon_bounds[i], icon_bounds[i + 1]);
  return f;
}

// One point: source i holds `values[i]`; returns the eight slots.
std::array<float, 8> map_point(const soil_plan& plan, const fields& f,
                               const std::vector<float>& values) {
  std::vector<const float*> planes;
  for (const source_field* s : plan.sources) {
    std::size_t i = 0;
    while (f.list[i] != s) ++i;
    planes.push_back(&values[i]);
  }
  std::array<float, 8> out{};
  std::array<float*, 8> slots{};
  for (std::size_t k = 0; k < 8; ++k) slots[k] = &out[k];
  map_soil(plan, planes, slots, 1);
  return out;
}

TEST(soil_layers, icon_water_is_kept_down_to_the_deepest_target_depth) {
  const fields f = icon();
  for (const auto& target : {gfs_soil_layers, soil_bounds{0, 0.07, 0.28, 1.0, 2.89}}) {
    const soil_plan plan = plan_soil(f.list, target);
    std::vector<float> v(f.list.size());
    for (std::size_t i = 0; i < v.size(); ++i)
      v[i] = i < 9 ? 270.0f + float(i) : 0.1f + 0.037f * float(i);
    const std::array<float, 8> out = map_point(plan, f, v);
    // Water down to the target's bottom: by formula from the source layers.
    double source = 0, mapped = 0;
    for (std::size_t i = 0; i + 1 < icon_bounds.size(); ++i)
      source += v[9 + i] * std::max(0.0, std::min(icon_bounds[i + 1], target[4]) - icon_bounds[i]);
    for (std::size_t n = 0; n < 4; ++n) mapped += out[2 * n + 1] * (target[n + 1] - target[n]);
    EXPECT_NEAR(mapped, source, 2e-7 * source);
  }
}

TEST(soil_layers, icon_temperature_is_linear_between_the_nodes_bracketing_each_mid_depth) {
  const fields f = icon();
  const soil_plan plan = plan_soil(f.list, std::nullopt);
  EXPECT_EQ(plan.target, gfs_soil_layers);
  std::vector<float> v(f.list.size(), 0.3f);
  const std::vector<float> t = {280.0f, 279.5f, 278.0f, 277.25f, 276.0f,
                                275.5f, 281.0f, 283.0f, 285.0f};
  std::copy(t.begin(), t.end(), v.begin());
  const std::array<float, 8> out = map_point(plan, f, v);
  // Mid-depths 0.05 (nodes 0.02, 0.06), 0.25 (0.18, 0.54), 0.7 (0.54, 1.62), 1.5 (0.54, 1.62).
  const auto between = [&](double z, std::size_t a, std::size_t b) {
    return t[a] + (t[b] - t[a]) * (z - icon_nodes[a]) / (icon_nodes[b] - icon_nodes[a]);
  };
  EXPECT_NEAR(out[0], between(0.05, 2, 3), 3e-5);
  EXPECT_NEAR(out[2], between(0.25, 4, 5), 3e-5);
  EXPECT_NEAR(out[4], between(0.7, 5, 6), 3e-5);
  EXPECT_NEAR(out[6], between(1.5, 5, 6), 3e-5);
  EXPECT_NE(plan.note.find("soil mapped onto the layers 0-0.1, 0.1-0.4, 0.4-1, 1-2 m"),
            std::string::npos);
}

TEST(soil_layers, below_the_deepest_node_the_temperature_stays) {
  fields f;
  f.add(true, 0, 0, true);
  f.add(true, 0.5, 0, true);
  for (std::size_t n = 0; n < 4; ++n) f.add(false, gfs_soil_layers[n], gfs_soil_layers[n + 1]);
  const soil_plan plan = plan_soil(f.list, std::nullopt);
  const std::array<float, 8> out = map_point(plan, f, {290, 280, 0.1f, 0.2f, 0.3f, 0.4f});
  EXPECT_EQ(out[4], 280.0f);
  EXPECT_EQ(out[6], 280.0f);
  EXPECT_FLOAT_EQ(out[0], 290.0f - 10.0f * 0.05f / 0.5f);
  // The moisture is GFS's own four layers: kept as given, not mapped.
  for (std::size_t n = 0; n < 4; ++n) {
    EXPECT_FALSE(plan.mapped(2 * n + 1));
    EXPECT_EQ(plan.direct[2 * n + 1], f.list[2 + n]);
  }
}

TEST(soil_layers, four_layers_of_the_source_are_kept_unless_others_are_asked_for) {
  fields f;
  const soil_bounds era5 = {0, 0.07, 0.28, 1.0, 2.89};
  for (std::size_t n = 0; n < 4; ++n) {
    f.add(true, era5[n], era5[n + 1]);
    f.add(false, era5[n], era5[n + 1]);
  }
  const soil_plan kept = plan_soil(f.list, std::nullopt);
  EXPECT_EQ(kept.target, era5);
  EXPECT_TRUE(kept.sources.empty());
  EXPECT_TRUE(kept.note.empty());
  const soil_plan mapped = plan_soil(f.list, gfs_soil_layers);
  for (std::size_t slot = 0; slot < 8; ++slot) EXPECT_TRUE(mapped.mapped(slot)) << slot;
}

TEST(soil_layers, layerings_that_cannot_be_mapped_are_refused_naming_the_depths) {
  const auto refusal = [](const fields& f, std::optional<soil_bounds> target = std::nullopt) {
    try {
      plan_soil(f.list, target);
    } catch (const run_error& e) {
      return std::string(e.what());
    }
    return std::string("accepted");
  };
  fields overlap;
  overlap.add(false, 0, 0.1);
  overlap.add(false, 0.05, 2);
  EXPECT_NE(refusal(overlap).find("soil moisture layers overlap: 0-0.1 m (f.grib2: message 1) and "
                                  "0.05-2 m (f.grib2: message 2)"),
            std::string::npos)
      << refusal(overlap);
  // The same depths again are no refusal here: the first given is kept, as for every
  // field, and the two are paired for their values to be compared once read.
  fields twice;
  twice.add(true, 0.1, 0, true);
  twice.add(true, 0.1, 0, true);
  const soil_plan first = plan_soil(twice.list, std::nullopt);
  ASSERT_EQ(first.ignored.size(), 1u);
  EXPECT_EQ(first.ignored.front(), twice.list[1]);
  EXPECT_EQ(first.sources.front(), twice.list[0]);
  ASSERT_EQ(first.again.size(), 1u);
  EXPECT_EQ(first.again.front().kept, twice.list[0]);
  EXPECT_EQ(first.again.front().again, twice.list[1]);
  fields upside_down;
  upside_down.add(false, 0.28, 0.07);
  EXPECT_NE(refusal(upside_down)
                .find("lies between the depths 0.28-0.07 m, its bottom not below "
                      "its top"),
            std::string::npos);
  fields shallow;
  shallow.add(false, 0, 0.5);
  shallow.add(false, 0.5, 1.5);
  EXPECT_NE(refusal(shallow).find("the target layer 1-2 m lies deeper than the soil moisture "
                                  "reaches (0-0.5, 0.5-1.5 m)"),
            std::string::npos);
  fields gap;
  gap.add(false, 0, 0.5);
  gap.add(false, 0.6, 3);
  EXPECT_NE(refusal(gap).find("soil moisture leaves a gap between 0.5 and 0.6 m"),
            std::string::npos);
}

TEST(soil_layers, the_layers_asked_for_are_four_from_the_surface_down_in_cm) {
  const soil_bounds b = soil_layers_of("0-7,7-28,28-100,100-289");
  EXPECT_EQ(b, (soil_bounds{0, 0.07, 0.28, 1.0, 2.89}));
  for (const char* bad : {"0-7,7-28,28-100", "5-7,7-28,28-100,100-289", "0-7,8-28,28-100,100-289",
                          "0-7,7-28,28-100,100-90", "0-7,7-28,28-100,100-289,289-300", "0-x", ""})
    EXPECT_THROW(soil_layers_of(bad), usage_error) << bad;
}

}  // namespace
}  // namespace c2m::prepare
