// The Cypher recognizer: a PEG engine running the grammar of grammar.cc over a query text.
//
// A successful match yields the pair tree as a flat tape: one Pair per rule match, in pre-order,
// each holding byte offsets into the query and the index one past its last descendant. The tape
// holds no text, so the query must outlive any use of the pairs. A failed match yields a
// SyntaxError placed at the farthest position where a rule began and failed.
//
// A Recognizer owns its buffers and reuses them from one parse to the next; it is not shared
// between threads, but any number of Recognizers may run at once (the grammar is immutable).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "parser/memo.h"
#include "parser/pair.h"
#include "parser/rule.h"

namespace morvane::parser {

// How deep rule calls may nest. Each level of parentheses in an expression takes about fourteen
// rule calls, so this allows about seventy; the limit keeps the recognizer, the builder and the
// validator inside a 2 MiB thread stack, with room to spare even in sanitizer builds. On a
// smaller stack nesting ends sooner, where the StackBound of stack_bound.h is reached.
inline constexpr std::uint32_t kMaxRuleDepth = 1000;

// Rule calls allowed per byte of query (plus kWorkSlack). Ordinary queries need a few dozen,
// and the constructs the grammar tries more than once are reused rather than matched again;
// the limit is the last bound on the time any query can take.
inline constexpr std::uint64_t kMaxRuleCallsPerByte = 4000;
inline constexpr std::uint64_t kWorkSlack = 1 << 16;

// Pairs a run may hold on its tape as a rule matches. The builder, the tree and the validator
// take memory in proportion to the pairs, so this bounds what one query costs (the memo keeps
// each reused match once, however deeply such matches nest). Ordinary queries make one or two
// pairs per byte (a chain of 100000 operands about a million), a list of one-digit numbers eight.
inline constexpr std::uint32_t kMaxPairs = 1 << 20;

// The longest query recognized, in bytes. Positions are 32-bit; this keeps them, and any count
// of up to 256 per byte of input, from wrapping, and keeps the report of an error at the bound
// (which repeats its line up to there) to tens of MiB.
inline constexpr std::uint32_t kMaxQueryBytes = 1 << 24;

struct SyntaxError {
  enum class Kind : std::uint8_t {
    kExpected,  // the grammar failed: `expected` lists the rules it wanted at `offset`
    kTooDeep,   // rule calls nested deeper than kMaxRuleDepth, or the stack ran short, at `offset`
    kTooMuchWork,  // the work limit ran out at `offset`
    kTooLarge,  // a rule matched up to `offset` took the tape past kMaxPairs
    kTooLong,   // the query is longer than kMaxQueryBytes; `offset` is where the bound falls
  };
  Kind kind = Kind::kExpected;
  std::uint32_t offset = 0;       // byte offset into the query
  std::uint32_t line = 0;         // 1-based
  std::uint32_t column = 0;       // 1-based, in characters (a byte not in UTF-8 counts as one)
  std::vector<Rule> expected;     // sorted by value, no duplicates; empty unless kExpected
  std::string message;            // "expected a, b, or c" (or the limit's text)
  std::string display;            // the six-line report
};

class Recognizer {
 public:
  enum class Mode : std::uint8_t {
    // The predictive matcher (fast_matcher.h) for Rule::cypher, and where it gives up (or for
    // another start rule) kEngine; a failure's error comes from the engine's recording run.
    kFast,
    // Matches without failure bookkeeping, reusing the clauses and operands the grammar tries
    // more than once; on failure matches again with the bookkeeping on to build the error.
    kEngine,
    // Runs the grammar literally in one pass with the bookkeeping on. Same results as kFast
    // and kEngine (tests compare them), but nested constructs tried twice cost exponential time.
    kExact,
  };

  // Matches `start` at the beginning of `input`. Returns true when it matched: pairs() then
  // holds the match (for Rule::cypher exactly one top-level pair spanning the whole input).
  // Returns false otherwise: error() then describes the failure. Both stay valid until the
  // next call.
  bool parse(std::string_view input, Rule start = Rule::cypher, Mode mode = Mode::kFast);

  std::span<const Pair> pairs() const { return {tape_.data(), tape_size_}; }
  const SyntaxError& error() const { return error_; }

  // The bytes its buffers hold on to between calls (they keep the size of the largest match).
  std::size_t retained_bytes() const;

 private:
  std::vector<Pair> tape_;  // kept at its largest size; the first tape_size_ pairs are the match
  std::uint32_t tape_size_ = 0;
  SyntaxError error_;
  std::vector<Rule> failure_rules_;  // the buffer of the failure record
  std::string fast_scratch_;         // the fast matcher's copy of the input
  engine::Memo memo_;
};

// Children of tape[index], for range-for: `for (std::uint32_t c : children(tape, i))`.
class ChildRange {
 public:
  class Iterator {
   public:
    Iterator(std::span<const Pair> tape, std::uint32_t at) : tape_(tape), at_(at) {}
    std::uint32_t operator*() const { return at_; }
    Iterator& operator++() {
      at_ = tape_[at_].next;
      return *this;
    }
    bool operator!=(const Iterator& other) const { return at_ != other.at_; }

   private:
    std::span<const Pair> tape_;
    std::uint32_t at_;
  };
  ChildRange(std::span<const Pair> tape, std::uint32_t index) : tape_(tape), index_(index) {}
  Iterator begin() const { return {tape_, index_ + 1}; }
  Iterator end() const { return {tape_, tape_[index_].next}; }

 private:
  std::span<const Pair> tape_;
  std::uint32_t index_;
};

inline ChildRange children(std::span<const Pair> tape, std::uint32_t index) {
  return {tape, index};
}

// The text of a pair.
inline std::string_view pair_text(std::string_view input, const Pair& pair) {
  return input.substr(pair.begin, pair.end - pair.begin);
}

}  // namespace morvane::parser
