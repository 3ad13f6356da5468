// The farthest-failure record a recognizer run keeps for its syntax error: the farthest position
// where a recorded rule began and failed, and the rules that failed there (in the order they
// failed, repeats allowed; the report sorts them and drops repeats). A rule's failure changes it
// only through add(), a replayed rule call only through replay(): the placement rules live
// there and nowhere else. The entries live in a buffer the Recognizer keeps from one parse to
// the next.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "parser/rule.h"

namespace morvane::parser::engine {

class FailureRecord {
 public:
  // An empty record at position 0, its rules kept in `buffer` (cleared here), which must
  // outlive it.
  explicit FailureRecord(std::vector<Rule>& buffer) : rules_(buffer) { rules_.clear(); }

  std::uint32_t pos() const { return pos_; }
  // The entries at pos(); valid until the next change.
  const std::vector<Rule>& rules() const { return rules_; }

  // How many entries stand at `pos` as a rule starting there begins: the entries added after
  // that are the rule's inner ones.
  std::uint32_t entries_at(std::uint32_t pos) const {
    return pos == pos_ ? static_cast<std::uint32_t>(rules_.size()) : 0;
  }

  // The failure of `rule`, which began at `pos` when entries_at(pos) was `before`. A single inner
  // entry stands for the rule; several are replaced by it. A failure behind pos() changes
  // nothing; one beyond it starts the record afresh there.
  void add(Rule rule, std::uint32_t pos, std::uint32_t before) {
    if (pos < pos_) return;  // most failures: inline, and nothing to do
    add_here_or_beyond(rule, pos, before);
  }

  // Applies again the effect of a rule call that found the record at `before` and left it at
  // `after` with `added` as its own entries there (see the memo in recognizer.cc). `began_there`
  // says the call began at `after`: then every entry counts and goes in as often as it stands
  // in `added`; otherwise only entries not yet present go in. Returns false, changing nothing,
  // when the record stands where the effect is not known (the call must run again).
  bool replay(std::uint32_t before, std::uint32_t after, std::span<const Rule> added,
              bool began_there) {
    const bool moved = after > before;
    if (pos_ == before && moved) {
      rules_.clear();
      pos_ = after;
    } else if (!(pos_ == before || (pos_ == after && moved))) {
      return pos_ >= after;
    }
    if (began_there) {
      rules_.insert(rules_.end(), added.begin(), added.end());
      return true;
    }
    for (const Rule rule : added) {
      if (std::find(rules_.begin(), rules_.end(), rule) == rules_.end()) rules_.push_back(rule);
    }
    return true;
  }

 private:
  [[gnu::noinline]] void add_here_or_beyond(Rule rule, std::uint32_t pos, std::uint32_t before) {
    if (pos > pos_) {
      rules_.clear();
      pos_ = pos;
    } else if (rules_.size() == before + std::size_t{1}) {
      return;
    } else {
      rules_.resize(before);
    }
    rules_.push_back(rule);
  }

  std::uint32_t pos_ = 0;
  std::vector<Rule>& rules_;
};

}  // namespace morvane::parser::engine
