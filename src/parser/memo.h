// Reuse of rule results the grammar would otherwise compute twice (see recognizer.cc).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "parser/pair.h"
#include "parser/rule.h"

namespace morvane::parser::engine {

class State;
using RuleFn = bool (*)(State&);

// Reuses the result of a rule already tried at the same position, when neither the depth limit
// nor the pair limit could tell the two calls apart. With pairs on (the fast run) it replays the
// pairs; with the failure record on (the error run) it replays the rule's effect on the record,
// which depends only on the farthest-failure position the rule started from, and counts the
// pairs if the run counts them. A copy of pairs refers to the kept matches inside it instead of
// copying them again, so nested kept matches cost their pairs once, not once per level.
// Defined in recognizer.cc.
class Memo {
 public:
  // When a rule's result is kept: on every call, or only from its second call at a position
  // (for rules that are rarely tried twice, so the common case copies nothing).
  enum class Keep : std::uint8_t { kAlways, kWhenRevisited };

  void clear(std::size_t input_size);
  // Calls `fn` for `rule` at the state's position, or replays a stored result of it.
  bool call(State& s, Rule rule, RuleFn fn, Keep keep);
  // The bytes its tables hold on to between runs.
  std::size_t retained_bytes() const;

 private:
  struct Entry {
    std::uint32_t pos;
    std::uint32_t headroom;  // how much deeper than its start the rule's calls nested
    std::uint32_t pair_headroom;  // how far past its start the tape grew as its calls matched
    std::uint32_t end;
    std::uint32_t pairs;  // the pairs of the match
    std::uint32_t first;  // pairs: offset of their copy into pairs_; record: into rules_
    std::uint32_t count;  // the copy's records in pairs_, or the rules in rules_
    std::uint32_t fail_before;  // record only: the farthest failure as the rule started
    std::uint32_t fail_after;   // ... and as it ended
    Rule rule;
    bool matched;
  };
  Entry* find(Rule rule, std::uint32_t pos);
  void insert(const Entry& entry);
  void place(std::size_t index);  // puts entries_[index] into its slot
  bool replay(State& s, const Entry& e);
  void copy_pairs(const State& s, std::uint32_t from);
  void replay_pairs(State& s, const Entry& e);

  std::vector<Entry> entries_;
  std::vector<std::uint32_t> slots_;  // open addressing: entry index + 1, 0 = empty
  // Copies of matched subtrees, `next` relative to the subtree. A record whose `end` is
  // kReference stands for the pairs of the entry at index `begin`.
  std::vector<Pair> pairs_;
  std::vector<Rule> rules_;           // record effects
  std::vector<bool> visited_;         // kWhenRevisited: positions the rule was called at
  std::array<bool, kRuleCount> kept_{};  // rules with entries: only their pairs can be shared
};

}  // namespace morvane::parser::engine
