// The matching state of one recognizer run and the combinators that grammar rules are written
// with. Internal to the recognizer: grammar.cc writes each rule as one type whose body is a
// combinator expression mirroring its grammar line, and recognizer.cc drives the run; a null
// memo runs the grammar literally.
//
// Semantics are those of a PEG: ordered choice commits to the first alternative that matches,
// repetitions are greedy, nothing is given back once matched, lookaheads consume nothing. Outside
// atomic rules an implicit skip of whitespace and comments runs between the elements of a
// sequence and between repetitions. Every construct that fails restores the position and drops
// the pairs produced inside it.
#pragma once

#include <algorithm>
#include <array>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "parser/failure_record.h"
#include "parser/byte_classes.h"
#include "parser/memo.h"
#include "parser/recognizer.h"
#include "parser/rule.h"
#include "parser/skip.h"
#include "parser/stack_bound.h"

namespace morvane::parser::engine {

enum class Lookahead : std::uint8_t { kNone, kPositive, kNegative };

// Where a construct began: enough to give back everything it consumed and produced.
struct Mark {
  std::uint32_t pos;
  std::uint32_t tape_size;
};

class State {
 public:
  // What a run does with the pair of each rule matched outside atomic rules and lookaheads.
  enum class Pairs : std::uint8_t {
    kNone,
    // Counts it, so that the run meets kMaxPairs where one writing the tape does; the pairs of
    // a replayed rule take their places on the tape unwritten, as the tape is not read.
    kCounted,
    kWritten,  // writes it to the tape
  };
  struct Options {
    Pairs pairs;
    bool record;  // keep the farthest-failure record
  };

  // `memo` may be null: every rule is then matched afresh each time it is tried. The failure
  // record keeps its rules in `failure_buffer`.
  State(std::string_view input, Options options, std::vector<Pair>& tape,
        std::vector<Rule>& failure_buffer, Memo* memo, StackBound stack)
      : in_(input),
        n_(static_cast<std::uint32_t>(input.size())),
        options_(options),
        tape_(tape),
        failures_(failure_buffer),
        memo_(memo),
        stack_(stack),
        budget_(kMaxRuleCallsPerByte * (static_cast<std::uint64_t>(input.size()) + 1) +
                kWorkSlack) {}

  // --- Input -------------------------------------------------------------------------------
  std::uint32_t pos() const { return pos_; }
  bool at_end() const { return pos_ >= n_; }
  std::uint32_t remaining() const { return n_ - pos_; }
  const char* here() const { return in_.data() + pos_; }
  unsigned char peek() const { return static_cast<unsigned char>(in_[pos_]); }
  void advance(std::uint32_t count) { pos_ += count; }
  void set_pos(std::uint32_t pos) { pos_ = pos; }

  [[gnu::always_inline]] Mark mark() const { return {pos_, tape_size_}; }
  [[gnu::always_inline]] void reset(Mark m) {
    pos_ = m.pos;
    tape_size_ = m.tape_size;
  }

  // --- Context -----------------------------------------------------------------------------
  bool atomic() const { return atomic_; }
  void set_atomic(bool atomic) { atomic_ = atomic; }
  Lookahead lookahead() const { return lookahead_; }
  void set_lookahead(Lookahead lookahead) { lookahead_ = lookahead; }

  // The implicit skip: WHITESPACE* ~ (COMMENT ~ WHITESPACE*)*, outside atomic rules only.
  [[gnu::always_inline]] void skip() {
    if (atomic_ || pos_ >= n_) return;
    if (kSkipStart[static_cast<unsigned char>(in_[pos_])]) skip_whitespace_and_comments();
  }

  // --- Rule calls --------------------------------------------------------------------------
  // Called as a rule starts; false when the run has been stopped (a limit was hit). Nesting
  // stops at kMaxRuleDepth, or sooner where the thread's stack runs short.
  [[gnu::always_inline]] bool enter() {
    if (stopped_) return false;
    if (++depth_ > kMaxRuleDepth || stack_.reached()) [[unlikely]] {
      return stop(SyntaxError::Kind::kTooDeep);
    }
    if (depth_ > deepest_) deepest_ = depth_;
    if (++calls_ > budget_) return stop(SyntaxError::Kind::kTooMuchWork);
    return true;
  }
  void leave() { --depth_; }
  std::uint32_t depth() const { return depth_; }
  // The deepest nesting reached so far; the memo resets it to measure one call.
  std::uint32_t deepest() const { return deepest_; }
  void set_deepest(std::uint32_t depth) { deepest_ = depth; }

  // Whether a rule matched now makes a pair.
  bool producing() const {
    return options_.pairs != Pairs::kNone && !atomic_ && lookahead_ == Lookahead::kNone;
  }
  [[gnu::always_inline]] std::uint32_t open_pair(Rule rule) {
    push_pair({pos_, 0, 0, rule});
    return tape_size_ - 1;
  }
  // Closes the pair of a rule that matched; false (the run stopped) when the tape then holds
  // more than kMaxPairs. Only matches are checked: the fast run skips rules that cannot match,
  // and a rule that cannot match closes no pair inside it (the one rule that matches empty,
  // EOI, begins no other rule).
  [[gnu::always_inline]] bool close_pair(std::uint32_t index) {
    if (tape_size_ > kMaxPairs) [[unlikely]] return stop_out_of_pairs();
    pair_peak_ = std::max(pair_peak_, tape_size_);
    tape_[index].end = pos_;
    tape_[index].next = tape_size_;
    return true;
  }
  void drop_pairs(std::uint32_t from) { tape_size_ = from; }
  // Counts `count` pairs a replayed rule made, in a run that does not write them (kCounted).
  void count_pairs(std::uint32_t count) {
    while (tape_.size() - tape_size_ < count) grow_tape();
    tape_size_ += count;
  }
  // The longest tape any pair has closed on so far; the memo resets it to measure one call.
  std::uint32_t pair_peak() const { return pair_peak_; }
  void set_pair_peak(std::uint32_t size) { pair_peak_ = size; }
  // The tape is a vector kept at its largest size across runs; tape_size() pairs are in use.
  void push_pair(const Pair& pair) {
    if (tape_size_ == tape_.size()) grow_tape();
    tape_[tape_size_++] = pair;
  }
  std::uint32_t tape_size() const { return tape_size_; }
  const Pair& pair_at(std::uint32_t index) const { return tape_[index]; }

  // --- Failure record ----------------------------------------------------------------------
  // A rule's failure counts for the error report outside atomic rules and negative lookaheads.
  bool recording() const {
    return options_.record && !atomic_ && lookahead_ != Lookahead::kNegative && !stopped_;
  }
  FailureRecord& failures() { return failures_; }
  const FailureRecord& failures() const { return failures_; }

  // --- Limits ------------------------------------------------------------------------------
  bool stopped() const { return stopped_; }
  SyntaxError::Kind stop_kind() const { return stop_kind_; }
  std::uint32_t stop_pos() const { return stop_pos_; }

  const Options& options() const { return options_; }
  Memo* memo() const { return memo_; }

 private:
  bool stop(SyntaxError::Kind kind) {
    stopped_ = true;
    stop_kind_ = kind;
    stop_pos_ = pos_;
    return false;
  }
  [[gnu::cold, gnu::noinline]] bool stop_out_of_pairs() {
    return stop(SyntaxError::Kind::kTooLarge);
  }
  void skip_whitespace_and_comments();
  [[gnu::noinline]] void grow_tape() { tape_.resize(tape_.empty() ? 256 : tape_.size() * 2); }

  std::string_view in_;
  std::uint32_t n_;
  std::uint32_t pos_ = 0;
  bool atomic_ = false;
  Lookahead lookahead_ = Lookahead::kNone;
  Options options_;
  std::vector<Pair>& tape_;
  std::uint32_t tape_size_ = 0;
  std::uint32_t pair_peak_ = 0;
  FailureRecord failures_;
  Memo* memo_;
  const StackBound stack_;
  std::uint32_t depth_ = 0;
  std::uint32_t deepest_ = 0;
  std::uint64_t calls_ = 0;
  std::uint64_t budget_;
  bool stopped_ = false;
  SyntaxError::Kind stop_kind_ = SyntaxError::Kind::kExpected;
  std::uint32_t stop_pos_ = 0;
};

// ---------------------------------------------------------------------------------------------
// Combinators. Each is a type with `static bool match(State&)`; a failed match leaves the
// position and the tape as they were. Each also states, through `first()`, the bytes a match
// can begin with, so a rule whose body cannot begin at the next byte fails without being
// entered (only while no failure record is kept: skipping a rule changes what it records).

// A set of bytes a match can begin with, and whether a match can be empty.
struct FirstSet {
  std::uint64_t bits[4] = {0, 0, 0, 0};
  bool nullable = false;

  constexpr void add(unsigned char c) { bits[c >> 6] |= std::uint64_t{1} << (c & 63); }
  constexpr void add_all() { bits[0] = bits[1] = bits[2] = bits[3] = ~std::uint64_t{0}; }
  constexpr void add(const FirstSet& other) {
    for (int i = 0; i < 4; ++i) bits[i] |= other.bits[i];
  }
  [[gnu::always_inline]] constexpr bool has(unsigned char c) const {
    return (bits[c >> 6] >> (c & 63)) & 1;
  }
  static constexpr FirstSet any() {
    FirstSet f;
    f.add_all();
    f.nullable = true;
    return f;
  }
  static constexpr FirstSet empty_match() {
    FirstSet f;
    f.nullable = true;
    return f;
  }
};

template <std::size_t N>
struct Text {
  char chars[N - 1];
  constexpr Text(const char (&s)[N]) {
    for (std::size_t i = 0; i + 1 < N; ++i) chars[i] = s[i];
  }
  static constexpr std::uint32_t size() { return N - 1; }
};

// "abc": exactly these bytes.
template <Text T>
struct Lit {
  static bool match(State& s) {
    if (s.remaining() < T.size() || std::memcmp(s.here(), T.chars, T.size()) != 0) return false;
    s.advance(T.size());
    return true;
  }
  static constexpr FirstSet first() {
    FirstSet f;
    f.add(static_cast<unsigned char>(T.chars[0]));
    return f;
  }
};

constexpr bool is_ascii_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// ^"abc": the bytes, ASCII letters in either case.
template <Text T>
struct ILit {
  static bool match(State& s) {
    if (s.remaining() < T.size()) return false;
    const char* p = s.here();
    for (std::uint32_t i = 0; i < T.size(); ++i) {
      char want = T.chars[i];
      if (is_ascii_letter(want) ? (p[i] | 0x20) != (want | 0x20) : p[i] != want) return false;
    }
    s.advance(T.size());
    return true;
  }
  static constexpr FirstSet first() {
    FirstSet f;
    const char c = T.chars[0];
    f.add(static_cast<unsigned char>(c));
    if (is_ascii_letter(c)) {
      f.add(static_cast<unsigned char>(c | 0x20));
      f.add(static_cast<unsigned char>(c & ~0x20));
    }
    return f;
  }
};

// One byte of an ASCII class, given as a 256-entry table (byte_classes.h, skip.h).
template <const ByteTable& Table>
struct Class {
  static bool match(State& s) {
    if (s.at_end() || !Table[s.peek()]) return false;
    s.advance(1);
    return true;
  }
  static constexpr FirstSet first() {
    FirstSet f;
    for (int c = 0; c < 256; ++c) {
      if (Table[c]) f.add(static_cast<unsigned char>(c));
    }
    return f;
  }
};

// The bytes the implicit skip can pass over first.
constexpr FirstSet skip_first() { return Class<kSkipStart>::first(); }

using AsciiDigit = Class<kDigit>;
using AsciiAlpha = Class<kAlpha>;
using AsciiAlphanumeric = Class<kAlphanumeric>;
using AsciiHexDigit = Class<kHexDigit>;

// ANY: one character (a lead byte and its continuation bytes).
struct Any {
  static bool match(State& s) {
    if (s.at_end()) return false;
    s.advance(1);
    while (!s.at_end() && (s.peek() & 0xC0) == 0x80) s.advance(1);
    return true;
  }
  static constexpr FirstSet first() {
    FirstSet f = FirstSet::any();
    f.nullable = false;
    return f;
  }
};

struct Soi {
  static bool match(State& s) { return s.pos() == 0; }
  static constexpr FirstSet first() { return FirstSet::empty_match(); }
};

// (!"q" ~ ANY)*: every character up to the next `Quote` byte (or the end). A quote byte never
// occurs inside a multi-byte character, so a byte search gives the same answer.
template <char Quote>
struct Until {
  static bool match(State& s) {
    const void* hit = std::memchr(s.here(), Quote, s.remaining());
    s.advance(hit ? static_cast<std::uint32_t>(static_cast<const char*>(hit) - s.here())
                  : s.remaining());
    return true;
  }
  static constexpr FirstSet first() { return FirstSet::any(); }
};

// a ~ b ~ ...
template <class First, class... Rest>
struct Seq {
  static bool match(State& s) {
    const Mark m = s.mark();
    if (First::match(s) && (... && (s.skip(), Rest::match(s)))) return true;
    s.reset(m);
    return false;
  }
  static constexpr FirstSet first() { return first_of<First, Rest...>(); }

 private:
  // While the elements so far can be empty, the next one may begin after a skip. Later
  // elements are not looked at otherwise (they may lead back to this rule).
  template <class E, class... Es>
  static constexpr FirstSet first_of() {
    constexpr FirstSet f = E::first();
    if constexpr (!f.nullable || sizeof...(Es) == 0) {
      return f;
    } else {
      FirstSet joined = f;
      joined.add(skip_first());
      const FirstSet rest = first_of<Es...>();
      joined.add(rest);
      joined.nullable = rest.nullable;
      return joined;
    }
  }
};

// a | b | ...
template <class... Alternatives>
struct Choice {
  static bool match(State& s) { return (... || Alternatives::match(s)); }
  static constexpr FirstSet first() {
    FirstSet f;
    auto step = [&](FirstSet alternative) {
      f.add(alternative);
      f.nullable = f.nullable || alternative.nullable;
    };
    (step(Alternatives::first()), ...);
    return f;
  }
};

// e?
template <class E>
struct Opt {
  static bool match(State& s) {
    E::match(s);
    return true;
  }
  static constexpr FirstSet first() {
    FirstSet f = E::first();
    f.nullable = true;
    return f;
  }
};

// e*: the skip runs before every repetition but the first, and is given back with a failed one.
template <class E>
struct Star {
  static bool match(State& s) {
    if (!E::match(s)) return true;
    for (;;) {
      const Mark m = s.mark();
      s.skip();
      if (!E::match(s)) {
        s.reset(m);
        return true;
      }
      assert(s.pos() != m.pos && "repetition without progress");
      if (s.pos() == m.pos) return true;
    }
  }
  static constexpr FirstSet first() {
    FirstSet f = E::first();
    f.nullable = true;
    return f;
  }
};

// e+ is e ~ e*.
template <class E>
using Plus = Seq<E, Star<E>>;

inline Lookahead flipped(Lookahead outer, bool positive) {
  if (outer == Lookahead::kNegative) return positive ? Lookahead::kNegative : Lookahead::kPositive;
  return positive ? Lookahead::kPositive : Lookahead::kNegative;
}

template <class E, bool Positive>
struct Lookaround {
  static bool match(State& s) {
    const Mark m = s.mark();
    const Lookahead outer = s.lookahead();
    s.set_lookahead(flipped(outer, Positive));
    const bool matched = E::match(s);
    s.set_lookahead(outer);
    s.reset(m);
    return matched == Positive;
  }
  static constexpr FirstSet first() { return FirstSet::empty_match(); }
};
template <class E>
using And = Lookaround<E, true>;
template <class E>
using Not = Lookaround<E, false>;

// ---------------------------------------------------------------------------------------------
// Rule kinds. A grammar rule is a type deriving from one of these, so that rules can name each
// other in their bodies. A normal or atomic rule yields a pair when it matches outside atomic
// rules and lookaheads, and records its failure for the error report.

template <Rule Name, bool IsAtomic, class Body>
struct RuleDef {
  static constexpr FirstSet first() { return Body::first(); }

  // The first-byte test is inlined where the rule is called; the rest is one call.
  [[gnu::always_inline]] static bool match(State& s) {
    if constexpr (!first().nullable) {
      if (!s.options().record && (s.at_end() || !first().has(s.peek()))) return false;
    }
    return call(s);
  }

  static bool call(State& s) {
    if (!s.enter()) return false;
    const std::uint32_t begin = s.pos();
    const bool produce = s.producing();
    const std::uint32_t index = produce ? s.open_pair(Name) : 0;
    const bool record = s.recording();
    const std::uint32_t before = record ? s.failures().entries_at(begin) : 0;
    const bool outer_atomic = s.atomic();
    if constexpr (IsAtomic) s.set_atomic(true);
    const bool matched = Body::match(s);
    s.set_atomic(outer_atomic);
    s.leave();
    if (matched) {
      if (!produce || s.close_pair(index)) [[likely]] return true;
    }
    if (produce) s.drop_pairs(index);
    if (record && !s.stopped()) s.failures().add(Name, begin, before);
    return false;
  }
};

template <Rule Name, class Body>
using Normal = RuleDef<Name, false, Body>;
template <Rule Name, class Body>
using Atomic = RuleDef<Name, true, Body>;

// A rule that the grammar can try more than once at the same place: its result is kept and
// reused when the memo is on.
template <Rule Name, Memo::Keep Keep, class Body>
struct Memoized {
  using Def = RuleDef<Name, false, Body>;
  static constexpr FirstSet first() { return Def::first(); }
  static bool match(State& s) {
    Memo* memo = s.memo();
    if (memo == nullptr || s.atomic() || s.lookahead() != Lookahead::kNone) return Def::match(s);
    return memo->call(s, Name, &Def::match, Keep);
  }
};

// A silent rule: no pair, never recorded; WHITESPACE and COMMENT also match atomically.
template <class Body>
struct Silent {
  static constexpr FirstSet first() { return Body::first(); }
  static bool match(State& s) {
    const bool outer_atomic = s.atomic();
    s.set_atomic(true);
    const bool matched = Body::match(s);
    s.set_atomic(outer_atomic);
    return matched;
  }
};

}  // namespace morvane::parser::engine
