#include "companion/prepare/kept_fields.hpp"

namespace c2m::prepare {

namespace {

std::size_t block_bytes(std::size_t points) {
  return (points + kept_tail) * sizeof(double);
}

std::size_t blocks_within(std::size_t points, std::size_t blocks, std::size_t budget) {
  return blocks * block_bytes(points) > budget ? 0 : blocks;
}

}  // namespace

kept_fields::kept_fields(std::size_t points, std::size_t blocks, std::size_t budget)
    : points_(points), memory_(blocks_within(points, blocks, budget) * block_bytes(points)) {
  for (std::size_t b = blocks_within(points, blocks, budget); b > 0; --b) free_.push_back(b - 1);
}

void kept_fields::expect(const std::set<const source_field*>& next) {
  next_ = next;
}

kept_values kept_fields::at(const source_field* f) {
  auto it = block_of_.find(f);
  if (it == block_of_.end()) {
    if (!next_.count(f) || free_.empty()) return {};
    it = block_of_.emplace(f, free_.back()).first;
    free_.pop_back();
  }
  return {memory_.doubles() + it->second * (points_ + kept_tail), filled_.count(f) > 0};
}

void kept_fields::written() {
  for (auto it = block_of_.begin(); it != block_of_.end();) {
    if (next_.count(it->first)) {
      filled_.insert(it->first);
      ++it;
      continue;
    }
    free_.push_back(it->second);
    filled_.erase(it->first);
    it = block_of_.erase(it);
  }
}

void add_fields_read(const selection& sel, std::set<const source_field*>& to) {
  for (const std::vector<const source_field*>& levels : sel.upper)
    for (const source_field* s : levels)
      if (s) to.insert(s);
  for (const source_field* s : sel.surface)
    if (s) to.insert(s);
  to.insert(sel.soil.sources.begin(), sel.soil.sources.end());
}

}  // namespace c2m::prepare
