#include "companion/prepare/series.hpp"

#include <algorithm>
#include <map>
#include <set>

#include "common/errors.hpp"
#include "companion/prepare/prepare.hpp"

namespace c2m::prepare {

namespace {

bool may_be_invariant(const source_field& s) {
  return s.kind.surface == k_lsm || s.kind.surface == k_orog;
}

std::string where(const source_field& s) {
  return s.file + ": " + s.origin;
}

// The fields of one ensemble member (and those that name none), or all when there is
// no ensemble.
std::vector<const source_field*> of_member(const std::vector<source_field>& found,
                                           std::optional<long> member) {
  std::set<long> members;
  for (const source_field& s : found)
    if (s.used && s.member) members.insert(*s.member);
  std::string listed;
  for (const long m : members) listed += (listed.empty() ? "" : ", ") + std::to_string(m);
  if (!member && members.size() > 1)
    throw run_error("the files hold the ensemble members " + listed +
                    "; choose one with --member N");
  if (member && !members.count(*member))
    throw run_error("no field of ensemble member " + std::to_string(*member) + " in the files" +
                    (listed.empty() ? "" : " (they hold " + listed + ")"));
  std::vector<const source_field*> kept;
  for (const source_field& s : found)
    if (s.used && (!member || !s.member || *s.member == *member)) kept.push_back(&s);
  return kept;
}

// One run for one valid time: two reference times are refused naming both.
void check_one_run(const time_group& g) {
  const source_field* first = nullptr;
  for (const source_field* s : g.fields) {
    if (s->reference_time.empty()) continue;
    if (!first) first = s;
    if (s->reference_time != first->reference_time)
      throw run_error("two runs give fields valid at " + g.valid + ": " + where(*first) +
                      " comes from the run of " + first->reference_time + ", " + where(*s) +
                      " from the run of " + s->reference_time +
                      "; give the files of one run (or one of them)");
  }
}

}  // namespace

std::vector<time_group> group_by_time(const std::vector<source_field>& found,
                                      std::optional<long> member, std::ostream& warn) {
  const std::vector<const source_field*> kept = of_member(found, member);
  std::set<std::string> upper_times;
  for (const source_field* s : kept)
    if (!s->kind.surface) upper_times.insert(s->valid_time);
  std::map<std::string, time_group> by_time;
  std::vector<const source_field*> invariant;
  std::map<std::string, std::size_t> left_out;
  for (const source_field* s : kept) {
    if (upper_times.count(s->valid_time)) {
      by_time[s->valid_time].fields.push_back(s);
    } else if (may_be_invariant(*s)) {
      invariant.push_back(s);
    } else {
      ++left_out[s->valid_time];
    }
  }
  for (const auto& [time, n] : left_out)
    warn << program << ": note: " << n << " surface field" << (n == 1 ? "" : "s") << " valid at "
         << (time.empty() ? "no time" : time) << " left out: no upper-air field is valid then\n";
  std::vector<time_group> groups;
  for (auto& [time, g] : by_time) {
    g.valid = time;
    check_one_run(g);
    g.invariant = invariant.size();
    g.fields.insert(g.fields.end(), invariant.begin(), invariant.end());
    groups.push_back(std::move(g));
  }
  if (groups.empty()) throw run_error("no upper-air field in the input");
  return groups;
}

const time_group& group_at(const std::vector<time_group>& groups, const std::string& asked) {
  const auto digits = [](const std::string& t) {
    std::string d;
    for (const char c : t)
      if (c >= '0' && c <= '9') d += c;
    return d;
  };
  const std::string want = digits(asked);
  for (const time_group& g : groups) {
    const std::string have = digits(g.valid);  // YYYYMMDDHHMM
    if (want.size() >= 8 && have.compare(0, want.size(), want) == 0 &&
        std::all_of(have.begin() + static_cast<std::ptrdiff_t>(want.size()), have.end(),
                    [](char c) { return c == '0'; }))
      return g;
  }
  throw run_error("--time " + asked + ": no field is valid then; the files hold " +
                  times_text(groups));
}

std::string times_text(const std::vector<time_group>& groups) {
  std::string t;
  for (std::size_t k = 0; k < groups.size(); ++k) {
    if (k > 0) t += k + 1 == groups.size() ? " and " : ", ";
    t += groups[k].valid.empty() ? "no time" : groups[k].valid;
  }
  return t;
}

}  // namespace c2m::prepare
