#include "parser/recognizer.h"

#include <algorithm>
#include <cassert>
#include <span>

#include "parser/engine.h"
#include "parser/fast_matcher.h"
#include "parser/grammar.h"
#include "parser/syntax_error.h"

namespace morvane::parser {

using engine::Memo;
using engine::State;

namespace {

// The error of a run that kept the failure record and did not match, into `error`.
void error_of(const State& s, std::string_view input, SyntaxError& error) {
  if (s.stopped()) {
    make_syntax_error(input, s.stop_pos(), s.stop_kind(), {}, error);
  } else {
    make_syntax_error(input, s.failures().pos(), SyntaxError::Kind::kExpected,
                      s.failures().rules(), error);
  }
}

}  // namespace

bool Recognizer::parse(std::string_view input, Rule start, Mode mode) {
  tape_size_ = 0;
  if (input.size() > kMaxQueryBytes) {
    // Placed at the character holding the first byte past the bound; the report shows the
    // text up to there and reads nothing beyond it.
    std::uint32_t at = kMaxQueryBytes;
    while (at > 0 && (static_cast<unsigned char>(input[at]) & 0xC0) == 0x80) --at;
    make_syntax_error(input.substr(0, at), at, SyntaxError::Kind::kTooLong, {}, error_);
    return false;
  }

  const StackBound stack = StackBound::of_current_thread();
  if (mode == Mode::kExact) {
    State s(input, {.pairs = State::Pairs::kWritten, .record = true}, tape_, failure_rules_,
            nullptr, stack);
    if (grammar::match(start, s)) {
      tape_size_ = s.tape_size();
      return true;
    }
    error_of(s, input, error_);
    return false;
  }

  // The matcher's answer stands for the fast run's; its refusal leaves only the error to build.
  FastMatch predicted{FastMatch::Result::kGaveUp, 0};
  if (mode == Mode::kFast && start == Rule::cypher) {
    predicted = fast_match(input, tape_, fast_scratch_, stack);
  }
  if (predicted.result == FastMatch::Result::kAccepted) {
    tape_size_ = predicted.tape_size;
    return true;
  }
  // The fast run needs no failure record; only a failed match pays for building one.
  bool stopped = false;
  std::uint32_t stop_pos = 0;
  SyntaxError::Kind stop_kind = SyntaxError::Kind::kExpected;
  if (predicted.result == FastMatch::Result::kGaveUp) {
    memo_.clear(input.size());
    State fast(input, {.pairs = State::Pairs::kWritten, .record = false}, tape_, failure_rules_,
               &memo_, stack);
    if (grammar::match(start, fast)) {
      tape_size_ = fast.tape_size();
      return true;
    }
    stopped = fast.stopped();
    stop_pos = fast.stop_pos();
    stop_kind = fast.stop_kind();
  }
  // A failed match, or one stopped by a limit, is run again with the failure record. The fast
  // run skips rules by their first byte, so it meets the depth limit at other places than the
  // grammar run literally; the second run meets it where that one does. Pairs close alike in
  // every run, so only after a stop need the second run count them to meet kMaxPairs.
  memo_.clear(input.size());
  const State::Pairs pairs = stopped ? State::Pairs::kCounted : State::Pairs::kNone;
  State slow(input, {.pairs = pairs, .record = true}, tape_, failure_rules_, &memo_, stack);
  if (grammar::match(start, slow)) {
    // Only the stack bound tells the runs apart: the fast run nests rules in other places, and
    // a call the memo replays costs no stack. The fast run's stop stands.
    assert(stopped && stop_kind == SyntaxError::Kind::kTooDeep);
    make_syntax_error(input, stop_pos, stop_kind, {}, error_);
    return false;
  }
  error_of(slow, input, error_);
  return false;
}

std::size_t Recognizer::retained_bytes() const {
  return tape_.capacity() * sizeof(Pair) + failure_rules_.capacity() * sizeof(Rule) +
         error_.expected.capacity() * sizeof(Rule) + error_.message.capacity() +
         error_.display.capacity() + fast_scratch_.capacity() + memo_.retained_bytes();
}

}  // namespace morvane::parser

namespace morvane::parser::engine {

// A rule's result depends on its position alone, and with it:
// - the pairs it produced (when pairs are on), which replay at any tape position;
// - its effect on the failure record (when the record is on). That effect depends only on the
//   farthest-failure position F0 the rule started from: entries it finds there are never
//   touched, and it either appends entries at F0 or moves the record to a farther F1 and
//   leaves its own entries there. Started again from F0 it does the same; from F1 it appends
//   the same entries (it starts no farther than F1, and whatever it recorded before reaching
//   F1 is ignored there); from beyond F1 it leaves the record alone. From any other position
//   it is run again.
// The depth limit is met again only if the rule starts deeper than the call it replays, by more
// than the headroom that call used: such a call is run again. Likewise the pair limit, checked
// as each pair closes, is met again only if the rule starts with a longer tape than the call it
// replays, by more than that call's pair headroom.

namespace {

std::uint32_t slot_hash(Rule rule, std::uint32_t pos) {
  return (pos * 2654435761u) ^ static_cast<std::uint32_t>(rule);
}

// The `end` of a record in the memo's copies that refers to another entry's pairs; no pair ends
// there, as queries are shorter.
constexpr std::uint32_t kReference = 0xFFFFFFFFu;
static_assert(kMaxQueryBytes < kReference);

// Subtrees of fewer pairs are copied, not looked up: the lookup would cost more than the copy,
// and such copies add at most this many pairs per kept rule around them.
constexpr std::uint32_t kShareFrom = 64;

}  // namespace

void Memo::clear(std::size_t input_size) {
  visited_.assign(input_size + 1, false);
  entries_.clear();
  pairs_.clear();
  rules_.clear();
  kept_.fill(false);
  if (slots_.empty()) slots_.resize(64);
  std::fill(slots_.begin(), slots_.end(), 0);
}

std::size_t Memo::retained_bytes() const {
  return entries_.capacity() * sizeof(Entry) + slots_.capacity() * sizeof(std::uint32_t) +
         pairs_.capacity() * sizeof(Pair) + rules_.capacity() * sizeof(Rule) +
         visited_.capacity() / 8;
}

Memo::Entry* Memo::find(Rule rule, std::uint32_t pos) {
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = slot_hash(rule, pos) & mask;; i = (i + 1) & mask) {
    const std::uint32_t slot = slots_[i];
    if (slot == 0) return nullptr;
    Entry& e = entries_[slot - 1];
    if (e.pos == pos && e.rule == rule) return &e;
  }
}

void Memo::insert(const Entry& entry) {
  kept_[static_cast<std::size_t>(entry.rule)] = true;
  entries_.push_back(entry);
  if (entries_.size() * 2 > slots_.size()) {
    slots_.assign(slots_.size() * 2, 0);
    for (std::size_t k = 0; k + 1 < entries_.size(); ++k) place(k);
  }
  place(entries_.size() - 1);
}

void Memo::place(std::size_t index) {
  const std::size_t mask = slots_.size() - 1;
  std::size_t i = slot_hash(entries_[index].rule, entries_[index].pos) & mask;
  while (slots_[i] != 0) i = (i + 1) & mask;
  slots_[i] = static_cast<std::uint32_t>(index + 1);
}

bool Memo::replay(State& s, const Entry& e) {
  // How often an entry stands in the record matters only to rules that began at the failure
  // position; when the replayed rule began before it, no such rule is open, so entries already
  // present are not added again. This keeps the record small where the grammar would repeat the
  // same entries over and over.
  if (s.options().record &&
      !s.failures().replay(e.fail_before, e.fail_after,
                           std::span(rules_).subspan(e.first, e.count), e.pos == e.fail_after)) {
    return false;
  }
  s.set_pair_peak(std::max(s.pair_peak(), s.tape_size() + e.pair_headroom));
  if (e.matched) {
    if (s.options().pairs != State::Pairs::kWritten) {
      s.count_pairs(e.pairs);
    } else if (e.count == e.pairs) {  // no references, which stand for many pairs each
      const std::uint32_t base = s.tape_size();
      for (std::uint32_t k = e.first; k < e.first + e.count; ++k) {
        Pair p = pairs_[k];
        p.next += base;
        s.push_pair(p);
      }
    } else {
      replay_pairs(s, e);
    }
    s.set_pos(e.end);
  }
  return true;
}

// The copy of the tape from `from` on. A subtree that is the match of another entry is stored
// as a reference to it: that entry's copy holds the same pairs, as a rule's match depends on its
// position alone. Recursion through references is bounded by the depth limit.
void Memo::copy_pairs(const State& s, std::uint32_t from) {
  const std::uint32_t to = s.tape_size();
  for (std::uint32_t k = from; k < to;) {
    Pair p = s.pair_at(k);
    if (kept_[static_cast<std::size_t>(p.rule)] && k != from && p.next - k >= kShareFrom) {
      const Entry* inner = find(p.rule, p.begin);
      if (inner != nullptr && inner->matched && inner->pairs == p.next - k) {
        const auto index = static_cast<std::uint32_t>(inner - entries_.data());
        pairs_.push_back({index, kReference, p.next - from, p.rule});
        k = p.next;
        continue;
      }
    }
    p.next -= from;
    pairs_.push_back(p);
    ++k;
  }
}

void Memo::replay_pairs(State& s, const Entry& e) {
  const std::uint32_t base = s.tape_size();
  for (std::uint32_t k = e.first; k < e.first + e.count; ++k) {
    Pair p = pairs_[k];
    if (p.end == kReference) {
      replay_pairs(s, entries_[p.begin]);
    } else {
      p.next += base;
      s.push_pair(p);
    }
  }
}

bool Memo::call(State& s, Rule rule, RuleFn fn, Keep keep) {
  const std::uint32_t pos = s.pos();
  if (keep == Keep::kWhenRevisited && !visited_[pos]) {
    visited_[pos] = true;
    return fn(s);
  }
  if (const Entry* e = find(rule, pos);
      e && s.depth() + e->headroom <= kMaxRuleDepth &&
      s.tape_size() + e->pair_headroom <= kMaxPairs && replay(s, *e)) {
    return e->matched;
  }

  const std::uint32_t fail_before = s.failures().pos();
  const std::size_t entries_before = s.failures().rules().size();
  const std::uint32_t tape_before = s.tape_size();
  const std::uint32_t deepest_before = s.deepest();
  const std::uint32_t peak_before = s.pair_peak();
  s.set_deepest(s.depth());
  s.set_pair_peak(tape_before);
  const bool matched = fn(s);
  const std::uint32_t headroom = s.deepest() - s.depth();
  const std::uint32_t pair_headroom = s.pair_peak() - tape_before;
  s.set_deepest(std::max(deepest_before, s.deepest()));
  s.set_pair_peak(std::max(peak_before, s.pair_peak()));
  if (s.stopped()) return false;

  Entry fresh{};
  fresh.pos = pos;
  fresh.headroom = headroom;
  fresh.pair_headroom = pair_headroom;
  fresh.end = s.pos();
  fresh.pairs = s.tape_size() - tape_before;
  fresh.rule = rule;
  fresh.matched = matched;
  if (s.options().record) {
    fresh.fail_before = fail_before;
    fresh.fail_after = s.failures().pos();
    const std::vector<Rule>& entries = s.failures().rules();
    const std::size_t from = fresh.fail_after > fail_before ? 0 : entries_before;
    fresh.first = static_cast<std::uint32_t>(rules_.size());
    for (auto it = entries.begin() + from; it != entries.end(); ++it) {
      const bool counted = pos == fresh.fail_after;  // see replay
      if (counted || std::find(rules_.begin() + fresh.first, rules_.end(), *it) == rules_.end()) {
        rules_.push_back(*it);
      }
    }
    fresh.count = static_cast<std::uint32_t>(rules_.size() - fresh.first);
  } else if (matched) {
    fresh.first = static_cast<std::uint32_t>(pairs_.size());
    if (fresh.pairs > kShareFrom) {
      copy_pairs(s, tape_before);
    } else {  // too few pairs to hold a subtree worth sharing
      for (std::uint32_t k = tape_before; k < s.tape_size(); ++k) {
        Pair p = s.pair_at(k);
        p.next -= tape_before;
        pairs_.push_back(p);
      }
    }
    fresh.count = static_cast<std::uint32_t>(pairs_.size() - fresh.first);
  }
  if (Entry* e = find(rule, pos)) {
    *e = fresh;
  } else {
    insert(fresh);
  }
  return matched;
}

}  // namespace morvane::parser::engine
