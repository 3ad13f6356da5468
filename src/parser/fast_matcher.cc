// The predictive matcher (see fast_matcher.h). Each function below matches one rule at the
// current position exactly as the engine does: the implicit skip runs where a `~` stands, a
// failed rule restores the position and the tape, ordered choices are tried in grammar order,
// and an alternative is left out only where the next byte or word shows it cannot match. The
// answers of the matcher are exact, so a failure is the engine's failure too; only giving up
// (a sticky flag, checked once at the end) leaves the decision to the engine.
#include "parser/fast_matcher.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstring>

#include "parser/byte_classes.h"
#include "parser/keywords.h"
#include "parser/recognizer.h"
#include "parser/rule.h"
#include "parser/skip.h"

namespace morvane::parser {
namespace {

// The matcher's work budget, in units of rule-level steps (an operand, a clause, a node or a
// relationship, a query). The engine makes at most about fifty rule calls per such step, plus a
// few per byte for lists of names, so with this budget it stays far below its own
// kMaxRuleCallsPerByte * (size + 1) + kWorkSlack on every text the matcher decides. Texts that
// need more are the ones whose alternatives are read again at every level of nesting.
constexpr std::uint64_t kFastWorkPerByte = 16;
constexpr std::uint64_t kFastWorkBase = 256;

// The matcher's tape bound: the engine stops a run whose tape passes kMaxPairs, and its tape
// in the middle of a run can hold pairs of attempts that later fail; half leaves room for them.
constexpr std::uint32_t kFastMaxPairs = kMaxPairs / 2;

// A name's first byte, (ASCII_ALPHA | "_"), and its other bytes, (ASCII_ALPHANUMERIC | "_").
constexpr ByteTable kUnderscore = range_table<'_', '_'>();
constexpr ByteTable kNameStart = union_table(kAlpha, kUnderscore);
constexpr ByteTable kWordChar = union_table(kAlphanumeric, kUnderscore);

// Reserved words by length and first letter: each bucket holds up to four words packed as their
// lower-case bytes (byte i at bits 8i), 0 for an empty slot.
constexpr std::uint32_t kShortestReserved = 2;
constexpr std::uint32_t kLongestReserved = 8;
constexpr std::size_t kBucketSlots = 4;
struct ReservedTable {
  std::uint64_t words[(kLongestReserved - kShortestReserved + 1) * 26][kBucketSlots];
  std::size_t count;  // reserved words placed
  bool fits;          // every reserved word found its bucket and a free slot
};

constexpr std::uint64_t pack_lower(std::string_view word) {
  std::uint64_t packed = 0;
  for (std::size_t i = 0; i < word.size(); ++i) {
    packed |= static_cast<std::uint64_t>(static_cast<unsigned char>(word[i]) | 0x20) << (8 * i);
  }
  return packed;
}

constexpr ReservedTable make_reserved_table() {
  ReservedTable table{};
  table.fits = true;
  for (std::size_t k = 0; k < kKeywordWords.size(); ++k) {
    const std::string_view word = kKeywordWords[k];
    bool shadowed = false;
    for (std::size_t j = 0; j < k; ++j) {
      shadowed = shadowed || word.substr(0, kKeywordWords[j].size()) == kKeywordWords[j];
    }
    if (shadowed) continue;
    if (word.size() < kShortestReserved || word.size() > kLongestReserved) {
      table.fits = false;
      continue;
    }
    std::uint64_t* bucket = table.words[(word.size() - kShortestReserved) * 26 + (word[0] - 'A')];
    std::size_t slot = 0;
    while (slot < kBucketSlots && bucket[slot] != 0) ++slot;
    if (slot == kBucketSlots) {
      table.fits = false;
      continue;
    }
    bucket[slot] = pack_lower(word);
    ++table.count;
  }
  return table;
}

constexpr ReservedTable kReserved = make_reserved_table();
static_assert(kReserved.fits && kReserved.count == 51, "51 reserved words, 2 to 8 letters");

// Whether the name `p[0, length)` (ASCII letters, digits, "_") is a reserved word in any case.
bool is_reserved(const char* p, std::uint32_t length) {
  if (length < kShortestReserved || length > kLongestReserved) return false;
  const unsigned first = (static_cast<unsigned char>(p[0]) | 0x20u) - 'a';
  if (first >= 26) return false;
  const std::uint64_t* bucket = kReserved.words[(length - kShortestReserved) * 26 + first];
  if (bucket[0] == 0) return false;
  const std::uint64_t packed = pack_lower(std::string_view(p, length));
  for (std::size_t slot = 0; slot < kBucketSlots; ++slot) {
    const std::uint64_t word = bucket[slot];
    if (word == packed) return true;
  }
  return false;
}

// The levels of the operator chain, outermost first, with the rule of each level's pair.
enum Level : int {
  kOr,
  kXor,
  kAnd,
  kNot,
  kComparison,
  kAddSub,
  kMulDiv,
  kMod,
  kPower,
  kLevels,
  kNoLevel = -1,
};
constexpr Rule kLevelRule[kLevels] = {
    Rule::or_expr,     Rule::xor_expr,     Rule::and_expr, Rule::not_expr,   Rule::comparison_expr,
    Rule::add_sub_expr, Rule::mul_div_expr, Rule::mod_expr, Rule::power_expr,
};

// The clause kinds of a query part, told by the clause's first word.
enum class Clause : std::uint8_t { kNone, kReading, kUpdating, kWith, kReturn };

// Where a construct began: enough to give back everything it consumed and produced.
struct Mark {
  std::uint32_t pos;
  std::uint32_t size;
};

class Matcher {
 public:
  Matcher(std::string_view input, std::vector<Pair>& tape, StackBound stack)
      : in_(input.data()),
        n_(static_cast<std::uint32_t>(input.size())),
        tape_(tape),
        stack_(stack),
        work_budget_(kFastWorkPerByte * (static_cast<std::uint64_t>(input.size()) + 1) +
                     kFastWorkBase) {}

  FastMatch run() {
    const bool matched = cypher();
    if (gave_up_) return {FastMatch::Result::kGaveUp, 0};
    if (!matched) return {FastMatch::Result::kRefused, 0};
    return {FastMatch::Result::kAccepted, size_};
  }

 private:
  // --- Input -------------------------------------------------------------------------------
  // The byte at `p`, or 0 past the end (no test below asks for the byte 0): the input is
  // followed by kFastPadding zero bytes.
  unsigned char at(std::uint32_t p) const {
    assert(p < n_ + kFastPadding);
    return static_cast<unsigned char>(in_[p]);
  }
  // Whether `word` (upper-case letters) stands at `p` in any case, as ^"WORD" matches.
  bool word_at(std::uint32_t p, std::string_view word) const {
    if (p > n_ || n_ - p < word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
      if ((static_cast<unsigned char>(in_[p + i]) | 0x20) != (word[i] | 0x20)) return false;
    }
    return true;
  }
  bool starts_with(std::string_view word) const { return word_at(pos_, word); }
  // ^"WORD": consumes the word when it stands here.
  bool ilit(std::string_view word) {
    if (!word_at(pos_, word)) return false;
    pos_ += static_cast<std::uint32_t>(word.size());
    return true;
  }
  // "c": consumes the byte when it stands here.
  bool lit(char c) {
    if (at(pos_) != static_cast<unsigned char>(c)) return false;
    ++pos_;
    return true;
  }
  bool lit2(char a, char b) {
    if (at(pos_) != static_cast<unsigned char>(a) || at(pos_ + 1) != static_cast<unsigned char>(b)) {
      return false;
    }
    pos_ += 2;
    return true;
  }
  std::uint32_t word_end(std::uint32_t p) const {
    while (kWordChar[at(p)]) ++p;  // the zero byte after the input ends every word
    return p;
  }
  // !(ASCII_ALPHANUMERIC | "_") at `p`.
  bool boundary(std::uint32_t p) const { return !kWordChar[at(p)]; }

  // The implicit skip: WHITESPACE* ~ (COMMENT ~ WHITESPACE*)*. An unclosed "/*" is no comment.
  void skip() {
    if (!kSkipStart[at(pos_)]) return;
    if (at(pos_) == ' ' && !kSkipStart[at(pos_ + 1)]) {
      ++pos_;  // the usual single space, inline
      return;
    }
    skip_whitespace_and_comments();
  }
  [[gnu::noinline]] void skip_whitespace_and_comments() {
    pos_ = static_cast<std::uint32_t>(skip_implicit(std::string_view(in_, n_), pos_));
  }
  // Where the skip from `p` ends, the position left unchanged.
  std::uint32_t skipped(std::uint32_t p) {
    const std::uint32_t saved = pos_;
    pos_ = p;
    skip();
    const std::uint32_t end = pos_;
    pos_ = saved;
    return end;
  }

  // --- Tape --------------------------------------------------------------------------------
  Mark mark() const { return {pos_, size_}; }
  void reset(Mark m) {
    pos_ = m.pos;
    size_ = m.size;
  }
  bool fail(Mark m) {
    reset(m);
    return false;
  }
  std::uint32_t open(Rule rule) {
    if (size_ == room_) make_room();
    pairs_[size_] = {pos_, 0, 0, rule};
    return size_++;
  }
  void close(std::uint32_t index) { close_at(index, pos_); }
  void close_at(std::uint32_t index, std::uint32_t end) {
    pairs_[index].end = end;
    pairs_[index].next = size_;
  }
  void leaf(Rule rule, std::uint32_t begin, std::uint32_t end) {
    if (size_ == room_) make_room();
    pairs_[size_] = {begin, end, size_ + 1, rule};
    ++size_;
  }
  // Called when the tape is full or holds kFastMaxPairs: grows it, and gives up at that bound.
  [[gnu::noinline]] void make_room() {
    if (size_ >= kFastMaxPairs) give_up();
    if (size_ == tape_.size()) tape_.resize(tape_.empty() ? 256 : tape_.size() * 2);
    pairs_ = tape_.data();
    room_ = size_ < kFastMaxPairs ? std::min<std::size_t>(tape_.size(), kFastMaxPairs)
                                  : tape_.size();
  }

  // --- Limits ------------------------------------------------------------------------------
  // Also spends the work budget, so that work() alone tells that the matcher gave up.
  bool give_up() {
    gave_up_ = true;
    work_budget_ = 0;
    return false;
  }
  // One rule-level step of work; false (having given up) when the budget is spent.
  bool work() {
    if (++work_ > work_budget_) return give_up();
    return true;
  }
  // Entering a construct that nests (expression, query, FOREACH). Short of stack the engine
  // decides, meeting its own bound.
  bool enter() {
    if (gave_up_ || nesting_ == kMaxFastNesting || stack_.reached()) return give_up();
    ++nesting_;
    return true;
  }
  void leave() { --nesting_; }

  // e*: the skip runs before every repetition but the first and is given back with a failed one.
  template <class E>
  void star(E e) {
    if (!e()) return;
    for (;;) {
      const Mark m = mark();
      skip();
      if (!e()) {
        reset(m);
        return;
      }
    }
  }
  // "," ~ e, one repetition of a comma-separated list.
  template <class E>
  bool comma(E e) {
    const Mark m = mark();
    if (!lit(',')) return false;
    skip();
    if (!e()) return fail(m);
    return true;
  }
  // (expression ~ ("," ~ expression)*)?
  void expression_list() {
    if (!expression()) return;
    skip();
    star([&] { return comma([&] { return expression(); }); });
  }

  // --- Query structure ---------------------------------------------------------------------

  // cypher = { SOI ~ statement ~ ";"? ~ EOI }
  bool cypher() {
    const std::uint32_t self = open(Rule::cypher);
    skip();
    if (!statement()) return false;
    skip();
    lit(';');
    skip();
    if (pos_ != n_) return false;
    leaf(Rule::EOI, n_, n_);
    close(self);
    return true;
  }

  // statement = { regular_query | standalone_call }
  // Whatever standalone_call matches, regular_query matches first (the call is a reading
  // clause there), so when regular_query fails the statement fails.
  bool statement() {
    const Mark m = mark();
    const std::uint32_t self = open(Rule::statement);
    if (!regular_query()) return fail(m);
    close(self);
    return true;
  }

  // regular_query = { single_query ~ union_clause* }
  bool regular_query() {
    if (!enter()) return false;
    const Mark m = mark();
    const std::uint32_t self = open(Rule::regular_query);
    const bool matched = work() && single_query();
    if (matched) {
      skip();
      star([&] { return union_clause(); });
      close(self);
    } else {
      reset(m);
    }
    leave();
    return matched;
  }

  // union_clause = { ^"UNION" ~ ^"ALL"? ~ single_query }
  bool union_clause() {
    const Mark m = mark();
    if (!ilit("UNION")) return false;
    const std::uint32_t self = open(Rule::union_clause);
    pairs_[self].begin = m.pos;
    skip();
    ilit("ALL");
    skip();
    if (!single_query()) return fail(m);
    close(self);
    return true;
  }

  Clause clause_at() const {
    switch (at(pos_) | 0x20) {
      case 'm':
        return starts_with("MATCH") ? Clause::kReading
               : starts_with("MERGE") ? Clause::kUpdating
                                      : Clause::kNone;
      case 'o': return starts_with("OPTIONAL") ? Clause::kReading : Clause::kNone;
      case 'u': return starts_with("UNWIND") ? Clause::kReading : Clause::kNone;
      case 'c':
        return starts_with("CALL") ? Clause::kReading
               : starts_with("CREATE") ? Clause::kUpdating
                                       : Clause::kNone;
      case 'f': return starts_with("FOREACH") ? Clause::kUpdating : Clause::kNone;
      case 's': return starts_with("SET") ? Clause::kUpdating : Clause::kNone;
      case 'd':
        return starts_with("DETACH") || starts_with("DELETE") ? Clause::kUpdating : Clause::kNone;
      case 'r':
        return starts_with("REMOVE") ? Clause::kUpdating
               : starts_with("RETURN") ? Clause::kReturn
                                       : Clause::kNone;
      case 'w': return starts_with("WITH") ? Clause::kWith : Clause::kNone;
      default: return Clause::kNone;
    }
  }

  // single_query = { multi_part_query | single_part_query }
  // multi_part_query = { (reading_clause* ~ updating_clause* ~ with_clause)+ ~ reading_clause*
  //                    ~ updating_clause* ~ return_clause? }
  // single_part_query = { reading_clause+ ~ updating_clause* ~ return_clause?
  //                     | updating_clause+ ~ return_clause? | return_clause }
  // The clauses are matched once, in one list. At most one kind of clause can begin at a place
  // (each begins with its own words), and both forms take the same greedy run of clauses: within
  // a part reading clauses come before updating ones, WITH ends a part, RETURN ends the query.
  // They hold the same flat list of clause pairs and end alike (with the last clause when it is
  // a RETURN, else after the skip that follows it), so a WITH in the list makes it multi-part.
  bool single_query() {
    const Mark m = mark();
    const std::uint32_t self = open(Rule::single_query);
    const std::uint32_t part = open(Rule::single_part_query);
    bool any = false;
    bool updating = false;
    bool with = false;
    bool returned = false;
    while (!returned) {
      const Mark before = mark();
      if (any) skip();
      bool matched = false;
      switch (clause_at()) {
        case Clause::kReading: matched = !updating && reading_clause(); break;
        case Clause::kUpdating: matched = updating = updating_clause(); break;
        case Clause::kWith:
          matched = with_clause();
          if (matched) {
            with = true;
            updating = false;
          }
          break;
        case Clause::kReturn: matched = returned = return_clause(); break;
        case Clause::kNone: break;
      }
      if (!matched) {
        reset(before);
        break;
      }
      any = true;
    }
    if (!any) return fail(m);
    if (!returned) skip();
    pairs_[part].rule = with ? Rule::multi_part_query : Rule::single_part_query;
    close(part);
    close(self);
    return true;
  }

  // with_clause = { ^"WITH" ~ ^"DISTINCT"? ~ return_body ~ where_clause? }
  bool with_clause() {
    if (!work()) return false;
    const Mark m = mark();
    const std::uint32_t self = open(Rule::with_clause);
    if (!ilit("WITH")) return fail(m);
    skip();
    ilit("DISTINCT");
    skip();
    if (!return_body()) return fail(m);
    skip();
    where_clause();
    close(self);
    return true;
  }

  // return_clause = { ^"RETURN" ~ ^"DISTINCT"? ~ return_body }
  bool return_clause() {
    if (!work()) return false;
    const Mark m = mark();
    const std::uint32_t self = open(Rule::return_clause);
    if (!ilit("RETURN")) return fail(m);
    skip();
    ilit("DISTINCT");
    skip();
    if (!return_body()) return fail(m);
    close(self);
    return true;
  }

  // return_body = { return_items ~ order_clause? ~ skip_clause? ~ limit_clause? }
  bool return_body() {
    const Mark m = mark();
    const std::uint32_t self = open(Rule::return_body);
    if (!return_items()) return fail(m);
    skip();
    order_clause();
    skip();
    keyword_clause("SKIP", Rule::skip_clause);
    skip();
    keyword_clause("LIMIT", Rule::limit_clause);
    close(self);
    return true;
  }

  // return_items = { "*" | return_item ~ ("," ~ return_item)* }
  bool return_items() {
    const Mark m = mark();
    const std::uint32_t self = open(Rule::return_items);
    if (!lit('*')) {
      if (!return_item()) return fail(m);
      skip();
      star([&] { return comma([&] { return return_item(); }); });
    }
    close(self);
    return true;
  }

  // return_item = { expression ~ (^"AS" ~ variable)? }
  bool return_item() {
    const Mark m = mark();
    const std::uint32_t self = open(Rule::return_item);
    if (!expression()) return fail(m);
    skip();
    const Mark alias = mark();
    if (ilit("AS")) {
      skip();
      if (!name(Rule::variable)) reset(alias);
    }
    close(self);
    return true;
  }

  // order_clause = { ^"ORDER" ~ ^"BY" ~ sort_item ~ ("," ~ sort_item)* }
  bool order_clause() {
    const Mark m = mark();
    if (!ilit("ORDER")) return false;
    const std::uint32_t self = open(Rule::order_clause);
    pairs_[self].begin = m.pos;
    skip();
    if (!ilit("BY")) return fail(m);
    skip();
    if (!sort_item()) return fail(m);
    skip();
    star([&] { return comma([&] { return sort_item(); }); });
    close(self);
    return true;
  }

  // sort_item = { expression ~ (^"ASCENDING" | ^"ASC" | ^"DESCENDING" | ^"DESC")? }
  bool sort_item() {
    const Mark m = mark();
    const std::uint32_t self = open(Rule::sort_item);
    if (!expression()) return fail(m);
    skip();
    if (!ilit("ASCENDING") && !ilit("ASC") && !ilit("DESCENDING")) ilit("DESC");
    close(self);
    return true;
  }

  // skip_clause = { ^"SKIP" ~ expression }
  // limit_clause = { ^"LIMIT" ~ expression }
  // where_clause = { ^"WHERE" ~ expression }
  bool keyword_clause(std::string_view word, Rule rule) {
    const Mark m = mark();
    if (!ilit(word)) return false;
    const std::uint32_t self = open(rule);
    pairs_[self].begin = m.pos;
    skip();
    if (!expression()) return fail(m);
    close(self);
    return true;
  }
  bool where_clause() { return keyword_clause("WHERE", Rule::where_clause); }

  // --- Reading and updating clauses --------------------------------------------------------

  // reading_clause = { match_clause | unwind_clause | call_subquery | in_query_call }
  bool reading_clause() {
    if (!work()) return false;
    const Mark m = mark();
    const std::uint32_t self = open(Rule::reading_clause);
    bool matched;
    switch (at(pos_) | 0x20) {
      case 'm':
      case 'o': matched = match_clause(); break;
      case 'u': matched = unwind_clause(); break;
      default: matched = call_subquery() || in_query_call(); break;
    }
    if (!matched) return fail(m);
    close(self);
    return true;
  }

  // match_clause = { ^"OPTIONAL"? ~ ^"MATCH" ~ pattern ~ where_clause? }
  bool match_clause() {
    const Mark m = mark();
    const std::uint32_t self = open(Rule::match_clause);
    ilit("OPTIONAL");
    skip();
    if (!ilit("MATCH")) return fail(m);
    skip();
    if (!pattern()) return fail(m);
    skip();
    where_clause();
    close(self);
    return true;
  }

  // unwind_clause = { ^"UNWIND" ~ expression ~ ^"AS" ~ variable }
  bool unwind_clause() {
    const Mark m = mark();
    const std::uint32_t self = open(Rule::unwind_clause);
    if (!ilit("UNWIND")) return fail(m);
    skip();
    if (!expression()) return fail(m);
    skip();
    if (!ilit("AS")) return fail(m);
    skip();
    if (!name(Rule::variable)) return fail(m);
    close(self);
    return true;
  }

  // call_subquery = { ^"CALL" ~ "{" ~ regular_query ~ "}" }
  // count_subquery = { ^"COUNT" ~ "{" ~ regular_query ~ "}" }
  // collect_subquery = { ^"COLLECT" ~ "{" ~ regular_query ~ "}" }
  bool braced_query(std::string_view word, Rule rule) {
    const Mark m = mark();
    const std::uint32_t self = open(rule);
    if (!ilit(word)) return fail(m);
    skip();
    if (!lit('{')) return fail(m);
    skip();
    if (!regular_query()) return fail(m);
    skip();
    if (!lit('}')) return fail(m);
    close(self);
    return true;
  }
  bool call_subquery() { return braced_query("CALL", Rule::call_subquery); }

  // in_query_call = { ^"CALL" ~ explicit_procedure_invocation ~ (^"YIELD" ~ yield_items)? }
  bool in_query_call() {
    const Mark m = mark();
    const std::uint32_t self = open(Rule::in_query_call);
    if (!ilit("CALL")) return fail(m);
    skip();
    if (!explicit_procedure_invocation()) return fail(m);
    skip();
    const Mark yield = mark();
    if (ilit("YIELD")) {
      skip();
      if (!yield_items()) reset(yield);
    }
    close(self);
    return true;
  }

  // explicit_procedure_invocation = { procedure_name ~ "(" ~ (expression ~ ("," ~ expression)*)?
  //                                 ~ ")" }
  bool explicit_procedure_invocation() {
    const Mark m = mark();
    const std::uint32_t self = open(Rule::explicit_procedure_invocation);
    if (!procedure_name()) return fail(m);
    skip();
    if (!lit('(')) return fail(m);
    skip();
    expression_list();
    skip();
    if (!lit(')')) return fail(m);
    close(self);
    return true;
  }

  // procedure_name = @{ identifier ~ ("." ~ identifier)* }
  bool procedure_name() {
    std::uint32_t end = identifier_end(pos_);
    if (end == 0) return false;
    while (at(end) == '.') {
      const std::uint32_t next = identifier_end(end + 1);
      if (next == 0) break;
      end = next;
    }
    leaf(Rule::procedure_name, pos_, end);
    pos_ = end;
    return true;
  }

  // yield_items = { yield_item ~ ("," ~ yield_item)* }
  bool yield_items() {
    const Mark m = mark();
    const std::uint32_t self = open(Rule::yield_items);
    if (!yield_item()) return fail(m);
    skip();
    star([&] { return comma([&] { return yield_item(); }); });
    close(self);
    return true;
  }

  // yield_item = { (procedure_result_field ~ ^"AS")? ~ variable }
  bool yield_item() {
    const Mark m = mark();
    const std::uint32_t self = open(Rule::yield_item);
    const Mark field = mark();
    if (name(Rule::procedure_result_field)) {
      skip();
      if (!ilit("AS")) reset(field);
    }
    skip();
    if (!name(Rule::variable)) return fail(m);
    close(self);
    return true;
  }

  // updating_clause = { create_clause | merge_clause | foreach_clause | set_clause
  //                   | remove_clause | delete_clause }
  bool updating_clause() {
    if (!work()) return false;
    const Mark m = mark();
    const std::uint32_t self = open(Rule::updating_clause);
    bool matched;
    switch (at(pos_) | 0x20) {
      case 'c': matched = create_clause(); break;
      case 'm': matched = merge_clause(); break;
      case 'f': matched = foreach_clause(); break;
      case 's': matched = set_clause(); break;
      case 'r': matched = remove_clause(); break;
      case 'd': matched = delete_clause(); break;
      default: matched = false;
    }
    if (!matched) return fail(m);
    close(self);
    return true;
  }

  // foreach_clause = { ^"FOREACH" ~ "(" ~ variable ~ ^"IN" ~ expression ~ "|" ~ updating_clause+
  //                  ~ ")" }
  bool foreach_clause() {
    if (!enter()) return false;
    const bool matched = foreach_body();
    leave();
    return matched;
  }
  bool foreach_body() {
    const Mark m = mark();
    const std::uint32_t self = open(Rule::foreach_clause);
    if (!ilit("FOREACH")) return fail(m);
    skip();
    if (!lit('(')) return fail(m);
    skip();
    if (!name(Rule::variable)) return fail(m);
    skip();
    if (!ilit("IN")) return fail(m);
    skip();
    if (!expression()) return fail(m);
    skip();
    if (!lit('|')) return fail(m);
    skip();
    if (!updating_clause()) return fail(m);
    skip();
    star([&] { return updating_clause(); });
    skip();
    if (!lit(')')) return fail(m);
    close(self);
    return true;
  }

  // create_clause = { ^"CREATE" ~ pattern }
  bool create_clause() {
    const Mark m = mark();
    const std::uint32_t self = open(Rule::create_clause);
    if (!ilit("CREATE")) return fail(m);
    skip();
    if (!pattern()) return fail(m);
    close(self);
    return true;
  }

  // merge_clause = { ^"MERGE" ~ pattern_part ~ on_match_or_create* }
  bool merge_clause() {
    const Mark m = mark();
    const std::uint32_t self = open(Rule::merge_clause);
    if (!ilit("MERGE")) return fail(m);
    skip();
    if (!pattern_part()) return fail(m);
    skip();
    star([&] { return on_match_or_create(); });
    close(self);
    return true;
  }

  // on_match_or_create = { ^"ON" ~ (^"MATCH" ~ set_clause | ^"CREATE" ~ set_clause) }
  bool on_match_or_create() {
    const Mark m = mark();
    if (!ilit("ON")) return false;
    const std::uint32_t self = open(Rule::on_match_or_create);
    pairs_[self].begin = m.pos;
    skip();
    if (!ilit("MATCH") && !ilit("CREATE")) return fail(m);
    skip();
    if (!set_clause()) return fail(m);
    close(self);
    return true;
  }

  // set_clause = { ^"SET" ~ set_item ~ ("," ~ set_item)* }
  bool set_clause() {
    const Mark m = mark();
    const std::uint32_t self = open(Rule::set_clause);
    if (!ilit("SET")) return fail(m);
    skip();
    if (!set_item()) return fail(m);
    skip();
    star([&] { return comma([&] { return set_item(); }); });
    close(self);
    return true;
  }

  // set_item = { property_expression ~ "=" ~ expression | variable ~ "=" ~ expression
  //            | variable ~ "+=" ~ expression | variable ~ node_labels }
  bool set_item() {
    const Mark m = mark();
    const std::uint32_t self = open(Rule::set_item);
    const Mark start = mark();
    auto assignment = [&](bool property, char first, char second) {
      if (!(property ? property_expression() : name(Rule::variable))) return false;
      skip();
      if (!(second ? lit2(first, second) : lit(first))) return fail(start);
      skip();
      if (!expression()) return fail(start);
      return true;
    };
    auto labels = [&] {
      if (!name(Rule::variable)) return false;
      skip();
      if (!node_labels()) return fail(start);
      return true;
    };
    if (!assignment(true, '=', 0) && !assignment(false, '=', 0) &&
        !assignment(false, '+', '=') && !labels()) {
      return fail(m);
    }
    close(self);
    return true;
  }

  // remove_clause = { ^"REMOVE" ~ remove_item ~ ("," ~ remove_item)* }
  bool remove_clause() {
    const Mark m = mark();
    const std::uint32_t self = open(Rule::remove_clause);
    if (!ilit("REMOVE")) return fail(m);
    skip();
    if (!remove_item()) return fail(m);
    skip();
    star([&] { return comma([&] { return remove_item(); }); });
    close(self);
    return true;
  }

  // remove_item = { variable ~ node_labels | property_expression }
  bool remove_item() {
    const Mark m = mark();
    const std::uint32_t self = open(Rule::remove_item);
    const Mark start = mark();
    bool labelled = false;
    if (name(Rule::variable)) {
      skip();
      labelled = node_labels();
      if (!labelled) reset(start);
    }
    if (!labelled && !property_expression()) return fail(m);
    close(self);
    return true;
  }

  // delete_clause = { ^"DETACH"? ~ ^"DELETE" ~ expression ~ ("," ~ expression)* }
  bool delete_clause() {
    const Mark m = mark();
    const std::uint32_t self = open(Rule::delete_clause);
    ilit("DETACH");
    skip();
    if (!ilit("DELETE")) return fail(m);
    skip();
    if (!expression()) return fail(m);
    skip();
    star([&] { return comma([&] { return expression(); }); });
    close(self);
    return true;
  }

  // property_expression = { variable ~ property_lookup+ }
  bool property_expression() {
    const Mark m = mark();
    const std::uint32_t self = open(Rule::property_expression);
    if (!name(Rule::variable)) return fail(m);
    skip();
    if (!property_lookup()) return fail(m);
    skip();
    star([&] { return property_lookup(); });
    close(self);
    return true;
  }

  // --- Patterns ----------------------------------------------------------------------------

  // pattern = { pattern_part ~ ("," ~ pattern_part)* }
  bool pattern() {
    const Mark m = mark();
    const std::uint32_t self = open(Rule::pattern);
    if (!pattern_part()) return fail(m);
    skip();
    star([&] { return comma([&] { return pattern_part(); }); });
    close(self);
    return true;
  }

  // pattern_part = { (variable ~ "=")? ~ pattern_element }
  bool pattern_part() {
    const Mark m = mark();
    const std::uint32_t self = open(Rule::pattern_part);
    const Mark start = mark();
    if (name(Rule::variable)) {
      skip();
      if (!lit('=')) reset(start);
    }
    skip();
    if (!pattern_element()) return fail(m);
    close(self);
    return true;
  }

  // pattern_element = { shortest_path_call | node_pattern ~ (relationship_pattern ~ node_pattern)* }
  bool pattern_element() {
    const Mark m = mark();
    const std::uint32_t self = open(Rule::pattern_element);
    if (at(pos_) == '(') {
      if (!node_pattern()) return fail(m);
      skip();
      star([&] { return pattern_step(); });
    } else if (!shortest_path_call()) {
      return fail(m);
    }
    close(self);
    return true;
  }

  // relationship_pattern ~ node_pattern, one step of a chain.
  bool pattern_step() {
    const Mark m = mark();
    if (!relationship_pattern()) return false;
    skip();
    if (!node_pattern()) return fail(m);
    return true;
  }

  // node_pattern = { "(" ~ variable? ~ node_labels? ~ properties? ~ ")" }
  bool node_pattern() {
    if (at(pos_) != '(' || !work()) return false;
    const Mark m = mark();
    const std::uint32_t self = open(Rule::node_pattern);
    ++pos_;
    skip();
    name(Rule::variable);
    skip();
    node_labels();
    skip();
    properties();
    skip();
    if (!lit(')')) return fail(m);
    close(self);
    return true;
  }

  // ":" ~ label_name, one repetition of node_labels.
  bool colon_label() {
    const Mark m = mark();
    if (!lit(':')) return false;
    skip();
    if (!name(Rule::label_name)) return fail(m);
    return true;
  }

  // node_labels = { (":" ~ label_name)+ }
  bool node_labels() {
    const Mark m = mark();
    const std::uint32_t self = open(Rule::node_labels);
    if (!colon_label()) return fail(m);
    skip();
    star([&] { return colon_label(); });
    close(self);
    return true;
  }

  // relationship_pattern = { left_arrow? ~ ("-" ~ "[" ~ variable? ~ rel_types? ~ range_literal?
  //                          ~ properties? ~ "]" ~ "-" | "--") ~ right_arrow? }
  // left_arrow = { "<" }  right_arrow = { ">" }
  bool relationship_pattern() {
    const unsigned char first = at(pos_);
    if ((first != '<' && first != '-') || !work()) return false;
    const Mark m = mark();
    const std::uint32_t self = open(Rule::relationship_pattern);
    if (first == '<') {
      leaf(Rule::left_arrow, pos_, pos_ + 1);
      ++pos_;
    }
    skip();
    const Mark body = mark();
    if (!relationship_detail()) {
      reset(body);
      if (!lit2('-', '-')) return fail(m);
    }
    skip();
    if (at(pos_) == '>') {
      leaf(Rule::right_arrow, pos_, pos_ + 1);
      ++pos_;
    }
    close(self);
    return true;
  }
  // "-" ~ "[" ~ variable? ~ rel_types? ~ range_literal? ~ properties? ~ "]" ~ "-"
  bool relationship_detail() {
    if (!lit('-')) return false;
    skip();
    if (!lit('[')) return false;
    skip();
    name(Rule::variable);
    skip();
    rel_types();
    skip();
    range_literal();
    skip();
    properties();
    skip();
    if (!lit(']')) return false;
    skip();
    return lit('-');
  }

  // rel_types = { ":" ~ rel_type_name ~ ("|" ~ ":"? ~ rel_type_name)* }
  bool rel_types() {
    const Mark m = mark();
    if (!lit(':')) return false;
    const std::uint32_t self = open(Rule::rel_types);
    pairs_[self].begin = m.pos;
    skip();
    if (!name(Rule::rel_type_name)) return fail(m);
    skip();
    star([&] {
      const Mark k = mark();
      if (!lit('|')) return false;
      skip();
      lit(':');
      skip();
      if (!name(Rule::rel_type_name)) return fail(k);
      return true;
    });
    close(self);
    return true;
  }

  // range_literal = { "*" ~ (integer_literal ~ (".." ~ integer_literal?)?)? }
  bool range_literal() {
    if (at(pos_) != '*') return false;
    const std::uint32_t self = open(Rule::range_literal);
    ++pos_;
    skip();
    if (integer_literal()) {
      skip();
      if (lit2('.', '.')) {
        skip();
        integer_literal();
      }
    }
    close(self);
    return true;
  }

  // properties = { map_literal | parameter }
  bool properties() {
    const unsigned char first = at(pos_);
    if (first != '{' && first != '$') return false;
    const Mark m = mark();
    const std::uint32_t self = open(Rule::properties);
    if (!(first == '{' ? map_literal() : parameter())) return fail(m);
    close(self);
    return true;
  }

  // --- Operator expressions ----------------------------------------------------------------

  // expression = { or_expr }
  // or_expr = { xor_expr ~ (or_kw ~ xor_expr)* }        ... down to
  // power_expr = { unary_expr ~ ("^" ~ unary_expr)* }
  // The nine infix levels (not_expr among them, with its prefix NOTs) in one loop. After each
  // operand the skip runs once and one look at the operator there tells the level at which the
  // chain continues: every level's operator is tried at that same place, and no two levels
  // share an operator. The levels inside it end there: a level with one operand after the skip
  // (its repetition matched nothing), one with more at the end of its last operand. The next
  // operand then opens every level inside the operator's. When the operand after an operator
  // fails, that repetition is given back and no level can continue, so all of them end.
  bool expression() {
    if (!enter()) return false;
    const Mark start = mark();
    const std::uint32_t self = open(Rule::expression);
    std::uint32_t index[kLevels];
    std::uint32_t operands[kLevels];
    if (!operand(kOr, index, operands)) {
      leave();
      return fail(start);
    }
    int level = kNoLevel;
    std::uint32_t end = pos_;
    for (;;) {
      const Mark after = mark();
      skip();
      const std::uint32_t at_op = pos_;
      std::uint32_t op_end = 0;
      level = operator_at(at_op, op_end);
      for (int l = kPower; l > level; --l) end = close_level(l, end, at_op, index, operands);
      if (level == kNoLevel) break;
      const Rule op_rule = level == kComparison ? Rule::comparison_op
                           : level == kAnd      ? Rule::and_kw
                           : level == kXor      ? Rule::xor_kw
                           : level == kOr       ? Rule::or_kw
                                                : Rule::EOI;
      if (op_rule != Rule::EOI) leaf(op_rule, at_op, op_end);
      pos_ = op_end;
      skip();
      ++operands[level];
      if (!operand(level + 1, index, operands)) {
        --operands[level];
        reset(after);
        for (int l = level; l >= kOr; --l) end = close_level(l, end, at_op, index, operands);
        break;
      }
      end = pos_;
    }
    pos_ = end;
    close(self);
    leave();
    return true;
  }

  // Closes the pair of `level`, whose last operand ends at `child_end`, the skip after it ending
  // at `skipped_end`; returns where the level ends.
  std::uint32_t close_level(int level, std::uint32_t child_end, std::uint32_t skipped_end,
                            const std::uint32_t* index, const std::uint32_t* operands) {
    const std::uint32_t end =
        level == kNot || operands[level] >= 2 ? child_end : skipped_end;
    close_at(index[level], end);
    return end;
  }

  // Opens the levels from `from` down to power_expr, then matches one operand:
  // not_expr = { not_kw* ~ comparison_expr }
  // unary_expr = { "-"? ~ postfix_expr }
  // postfix_expr = { atom ~ postfix_op* }
  // On failure the caller restores the tape.
  bool operand(int from, std::uint32_t* index, std::uint32_t* operands) {
    for (int l = from; l < kLevels; ++l) {
      index[l] = open(kLevelRule[l]);
      operands[l] = 1;
      if (l == kNot) {
        while (not_kw()) skip();
      }
    }
    const std::uint32_t unary = open(Rule::unary_expr);
    if (lit('-')) skip();
    const std::uint32_t postfix = open(Rule::postfix_expr);
    if (!atom()) return false;
    skip();
    star([&] { return postfix_op(); });
    close(postfix);
    close(unary);
    return true;
  }

  // not_kw = @{ ^"NOT" ~ !(ASCII_ALPHANUMERIC | "_") }
  bool not_kw() {
    if (!starts_with("NOT") || !boundary(pos_ + 3)) return false;
    leaf(Rule::not_kw, pos_, pos_ + 3);
    pos_ += 3;
    return true;
  }

  // The level whose operator stands at `p` (setting `end` past it), or kNoLevel:
  // or_kw = @{ ^"OR" ~ !(ASCII_ALPHANUMERIC | "_") }, likewise xor_kw and and_kw;
  // comparison_op = { "<=" | ">=" | "<>" | "<" | ">" | "=~" | "="
  //                 | ^"IN" ~ !(ASCII_ALPHANUMERIC | "_")
  //                 | ^"STARTS" ~ ^"WITH" ~ !(ASCII_ALPHANUMERIC | "_")
  //                 | ^"ENDS" ~ ^"WITH" ~ !(ASCII_ALPHANUMERIC | "_")
  //                 | ^"CONTAINS" ~ !(ASCII_ALPHANUMERIC | "_") }
  // and the symbols "+", "-", "*", "/", "%", "^" of the arithmetic levels.
  int operator_at(std::uint32_t p, std::uint32_t& end) {
    const unsigned char c = at(p);
    auto word = [&](std::string_view w, int level) {
      const std::uint32_t after = p + static_cast<std::uint32_t>(w.size());
      if (!word_at(p, w) || !boundary(after)) return static_cast<int>(kNoLevel);
      end = after;
      return level;
    };
    auto then_with = [&](std::uint32_t length) {
      if (!word_at(p, length == 6 ? "STARTS" : "ENDS")) return static_cast<int>(kNoLevel);
      const std::uint32_t w = skipped(p + length);
      if (!word_at(w, "WITH") || !boundary(w + 4)) return static_cast<int>(kNoLevel);
      end = w + 4;
      return static_cast<int>(kComparison);
    };
    end = p + 1;
    switch (c) {
      case '^': return kPower;
      case '%': return kMod;
      case '*':
      case '/': return kMulDiv;
      case '+':
      case '-': return kAddSub;
      case '<':
        if (at(p + 1) == '=' || at(p + 1) == '>') end = p + 2;
        return kComparison;
      case '>':
        if (at(p + 1) == '=') end = p + 2;
        return kComparison;
      case '=':
        if (at(p + 1) == '~') end = p + 2;
        return kComparison;
      case 'a':
      case 'A': return word("AND", kAnd);
      case 'o':
      case 'O': return word("OR", kOr);
      case 'x':
      case 'X': return word("XOR", kXor);
      case 'i':
      case 'I': return word("IN", kComparison);
      case 'c':
      case 'C': return word("CONTAINS", kComparison);
      case 's':
      case 'S': return then_with(6);
      case 'e':
      case 'E': return then_with(4);
      default: return kNoLevel;
    }
  }

  // postfix_op = { null_check_op | property_lookup | subscript_op | list_slice_op }
  bool postfix_op() {
    const unsigned char first = at(pos_);
    if (first != '.' && first != '[' && (first | 0x20) != 'i') return false;
    const Mark m = mark();
    const std::uint32_t self = open(Rule::postfix_op);
    const bool matched = first == '.'   ? property_lookup()
                         : first == '[' ? subscript_op() || list_slice_op()
                                        : null_check_op();
    if (!matched) return fail(m);
    close(self);
    return true;
  }

  // null_check_op = @{ ^"IS" ~ WHITESPACE+ ~ (^"NOT" ~ WHITESPACE+ ~ ^"NULL"
  //                    ~ !(ASCII_ALPHANUMERIC | "_") | ^"NULL" ~ !(ASCII_ALPHANUMERIC | "_")) }
  bool null_check_op() {
    auto spaces = [&](std::uint32_t p) {
      while (kSkipWhitespace[at(p)]) ++p;
      return p;
    };
    if (!starts_with("IS") || !kSkipWhitespace[at(pos_ + 2)]) return false;
    const std::uint32_t after_is = spaces(pos_ + 2);
    std::uint32_t end = 0;
    if (word_at(after_is, "NOT") && kSkipWhitespace[at(after_is + 3)]) {
      const std::uint32_t null_at = spaces(after_is + 3);
      if (word_at(null_at, "NULL") && boundary(null_at + 4)) end = null_at + 4;
    }
    if (end == 0) {
      if (!word_at(after_is, "NULL") || !boundary(after_is + 4)) return false;
      end = after_is + 4;
    }
    leaf(Rule::null_check_op, pos_, end);
    pos_ = end;
    return true;
  }

  // property_lookup = { "." ~ property_key_name }
  bool property_lookup() {
    const Mark m = mark();
    if (!lit('.')) return false;
    const std::uint32_t self = open(Rule::property_lookup);
    pairs_[self].begin = m.pos;
    skip();
    if (!name(Rule::property_key_name)) return fail(m);
    close(self);
    return true;
  }

  // subscript_op = { "[" ~ expression ~ "]" }
  bool subscript_op() {
    const Mark m = mark();
    const std::uint32_t self = open(Rule::subscript_op);
    if (!lit('[')) return fail(m);
    skip();
    if (!expression()) return fail(m);
    skip();
    if (!lit(']')) return fail(m);
    close(self);
    return true;
  }

  // list_slice_op = { "[" ~ expression? ~ ".." ~ expression? ~ "]" }
  bool list_slice_op() {
    const Mark m = mark();
    const std::uint32_t self = open(Rule::list_slice_op);
    if (!lit('[')) return fail(m);
    skip();
    expression();
    skip();
    if (!lit2('.', '.')) return fail(m);
    skip();
    expression();
    skip();
    if (!lit(']')) return fail(m);
    close(self);
    return true;
  }

  // --- Atoms -------------------------------------------------------------------------------

  // atom = { reduce_expression | shortest_path_call | list_comprehension | literal | parameter
  //        | case_expression | pattern_comprehension | quantifier_expression | exists_subquery
  //        | count_subquery | collect_subquery | count_star | function_invocation | variable
  //        | parenthesized_expr }
  // The first byte leaves few alternatives: a digit, a quote or "{" only literal, "$" only
  // parameter, "(" only parenthesized_expr, "[" the comprehensions and the list; a name the
  // alternatives that begin with words, tried in order by word_atom.
  bool atom() {
    if (!work()) return false;
    const Mark m = mark();
    const std::uint32_t self = open(Rule::atom);
    const unsigned char first = at(pos_);
    bool matched;
    if (kDigit[first] || first == '"' || first == '\'' || first == '{') {
      matched = literal();
    } else if (first == '$') {
      matched = parameter();
    } else if (first == '[') {
      matched = list_comprehension() || literal() || pattern_comprehension();
    } else if (first == '(') {
      matched = parenthesized_expr();
    } else if (first == '`') {
      matched = function_invocation() || name(Rule::variable);
    } else if (kNameStart[first]) {
      matched = word_atom();
    } else {
      matched = false;
    }
    if (!matched) return fail(m);
    close(self);
    return true;
  }

  // The alternatives of atom that can begin with a letter or "_", in grammar order; each
  // keyword alternative is tried only where its word stands (no boundary follows the word).
  bool word_atom() {
    switch (at(pos_) | 0x20) {
      case 'r':
        if (starts_with("REDUCE") && at(skipped(pos_ + 6)) == '(') return give_up();
        break;
      case 'a':
      case 's':
        if (shortest_path_call() || quantifier_expression()) return true;
        break;
      case 't':
        if (starts_with("TRUE")) return literal();
        break;
      case 'f':
        if (starts_with("FALSE")) return literal();
        break;
      case 'n':
        if (starts_with("NULL")) return literal();
        if (quantifier_expression()) return true;
        break;
      case 'c':
        if (starts_with("CASE") && case_expression()) return true;
        if (starts_with("COUNT") && (braced_query("COUNT", Rule::count_subquery) || count_star())) {
          return true;
        }
        if (starts_with("COLLECT") && braced_query("COLLECT", Rule::collect_subquery)) return true;
        break;
      case 'e':
        if (starts_with("EXISTS") && exists_subquery()) return true;
        break;
      default: break;
    }
    return function_invocation() || name(Rule::variable);
  }

  // parenthesized_expr = { "(" ~ expression ~ ")" }
  bool parenthesized_expr() {
    const Mark m = mark();
    const std::uint32_t self = open(Rule::parenthesized_expr);
    if (!lit('(')) return fail(m);
    skip();
    if (!expression()) return fail(m);
    skip();
    if (!lit(')')) return fail(m);
    close(self);
    return true;
  }

  // count_star = { ^"COUNT" ~ "(" ~ "*" ~ ")" }
  bool count_star() {
    const Mark m = mark();
    const std::uint32_t self = open(Rule::count_star);
    if (!ilit("COUNT")) return fail(m);
    skip();
    if (!lit('(')) return fail(m);
    skip();
    if (!lit('*')) return fail(m);
    skip();
    if (!lit(')')) return fail(m);
    close(self);
    return true;
  }

  // function_invocation = { function_name ~ "(" ~ ^"DISTINCT"? ~ (expression ~ ("," ~ expression)*)?
  //                       ~ ")" }
  bool function_invocation() {
    const std::uint32_t name_end = function_name_end(pos_);
    if (name_end == 0 || at(skipped(name_end)) != '(') return false;
    const Mark m = mark();
    const std::uint32_t self = open(Rule::function_invocation);
    leaf(Rule::function_name, pos_, name_end);
    pos_ = name_end;
    skip();
    ++pos_;
    skip();
    ilit("DISTINCT");
    skip();
    expression_list();
    skip();
    if (!lit(')')) return fail(m);
    close(self);
    return true;
  }

  // function_name = @{ namespace? ~ (ASCII_ALPHA | "_") ~ (ASCII_ALPHANUMERIC | "_")* }
  // namespace = @{ (identifier ~ ".")+ }
  // Where the name starting at `p` ends, or 0. The last part has no keyword check.
  std::uint32_t function_name_end(std::uint32_t p) const {
    for (;;) {
      const std::uint32_t end = at(p) == '`' ? quoted_end(p) : word_end(p);
      if (end == 0 || end == p || at(end) != '.' || identifier_end(p) == 0) break;
      p = end + 1;
    }
    if (!kNameStart[at(p)]) return 0;
    return word_end(p + 1);
  }

  // shortest_path_call = { (^"allShortestPaths" | ^"shortestPath") ~ "(" ~ node_pattern
  //                      ~ (relationship_pattern ~ node_pattern)* ~ ")" }
  bool shortest_path_call() {
    const std::uint32_t word = starts_with("ALLSHORTESTPATHS") ? 16
                               : starts_with("SHORTESTPATH")   ? 12
                                                               : 0;
    if (word == 0) return false;
    const Mark m = mark();
    const std::uint32_t self = open(Rule::shortest_path_call);
    pos_ += word;
    skip();
    if (!lit('(')) return fail(m);
    skip();
    if (!node_pattern()) return fail(m);
    skip();
    star([&] { return pattern_step(); });
    skip();
    if (!lit(')')) return fail(m);
    close(self);
    return true;
  }

  // case_expression = { ^"CASE" ~ expression? ~ (^"WHEN" ~ expression ~ ^"THEN" ~ expression)+
  //                   ~ (^"ELSE" ~ expression)? ~ ^"END" }
  bool case_expression() {
    const Mark m = mark();
    const std::uint32_t self = open(Rule::case_expression);
    if (!ilit("CASE")) return fail(m);
    skip();
    expression();
    skip();
    auto arm = [&] {
      const Mark k = mark();
      if (!ilit("WHEN")) return false;
      skip();
      if (!expression()) return fail(k);
      skip();
      if (!ilit("THEN")) return fail(k);
      skip();
      if (!expression()) return fail(k);
      return true;
    };
    if (!arm()) return fail(m);
    skip();
    star(arm);
    skip();
    const Mark otherwise = mark();
    if (ilit("ELSE")) {
      skip();
      if (!expression()) reset(otherwise);
    }
    skip();
    if (!ilit("END")) return fail(m);
    close(self);
    return true;
  }

  // list_comprehension = { "[" ~ filter_expression ~ ("|" ~ expression)? ~ "]" }
  bool list_comprehension() {
    const Mark m = mark();
    const std::uint32_t self = open(Rule::list_comprehension);
    if (!lit('[')) return fail(m);
    skip();
    if (!filter_expression()) return fail(m);
    skip();
    const Mark projection = mark();
    if (lit('|')) {
      skip();
      if (!expression()) reset(projection);
    }
    skip();
    if (!lit(']')) return fail(m);
    close(self);
    return true;
  }

  // filter_expression = { id_in_coll ~ (^"WHERE" ~ expression)? }
  bool filter_expression() {
    const Mark m = mark();
    const std::uint32_t self = open(Rule::filter_expression);
    if (!id_in_coll()) return fail(m);
    skip();
    where_expression();
    close(self);
    return true;
  }

  // (^"WHERE" ~ expression)?, without a pair of its own.
  void where_expression() {
    const Mark m = mark();
    if (!ilit("WHERE")) return;
    skip();
    if (!expression()) reset(m);
  }

  // id_in_coll = { variable ~ ^"IN" ~ expression }
  bool id_in_coll() {
    const Mark m = mark();
    const std::uint32_t self = open(Rule::id_in_coll);
    if (!name(Rule::variable)) return fail(m);
    skip();
    if (!ilit("IN")) return fail(m);
    skip();
    if (!expression()) return fail(m);
    close(self);
    return true;
  }

  // quantifier_expression = { (^"ALL" | ^"ANY" | ^"NONE" | ^"SINGLE") ~ "(" ~ filter_expression
  //                         ~ ")" }
  bool quantifier_expression() {
    const std::uint32_t word = starts_with("ALL") || starts_with("ANY") ? 3
                               : starts_with("NONE")                    ? 4
                               : starts_with("SINGLE")                  ? 6
                                                                        : 0;
    if (word == 0) return false;
    const Mark m = mark();
    const std::uint32_t self = open(Rule::quantifier_expression);
    pos_ += word;
    skip();
    if (!lit('(')) return fail(m);
    skip();
    if (!filter_expression()) return fail(m);
    skip();
    if (!lit(')')) return fail(m);
    close(self);
    return true;
  }

  // exists_subquery = { ^"EXISTS" ~ "{" ~ pattern ~ "}" }
  bool exists_subquery() {
    const Mark m = mark();
    const std::uint32_t self = open(Rule::exists_subquery);
    if (!ilit("EXISTS")) return fail(m);
    skip();
    if (!lit('{')) return fail(m);
    skip();
    if (!pattern()) return fail(m);
    skip();
    if (!lit('}')) return fail(m);
    close(self);
    return true;
  }

  // pattern_comprehension = { "[" ~ pattern_element ~ (^"WHERE" ~ expression)? ~ "|" ~ expression
  //                         ~ "]" }
  bool pattern_comprehension() {
    const Mark m = mark();
    const std::uint32_t self = open(Rule::pattern_comprehension);
    if (!lit('[')) return fail(m);
    skip();
    if (!pattern_element()) return fail(m);
    skip();
    where_expression();
    skip();
    if (!lit('|')) return fail(m);
    skip();
    if (!expression()) return fail(m);
    skip();
    if (!lit(']')) return fail(m);
    close(self);
    return true;
  }

  // --- Literals and names ------------------------------------------------------------------

  // literal = { float_literal | integer_literal | string_literal | boolean_literal
  //           | null_literal | list_literal | map_literal }
  bool literal() {
    const Mark m = mark();
    const std::uint32_t self = open(Rule::literal);
    const unsigned char first = at(pos_);
    bool matched;
    if (kDigit[first]) {
      matched = float_literal() || integer_literal();
    } else if (first == '"' || first == '\'') {
      matched = string_literal();
    } else if (first == '[') {
      matched = list_literal();
    } else if (first == '{') {
      matched = map_literal();
    } else {
      matched = word_literal("TRUE", Rule::boolean_literal) ||
                word_literal("FALSE", Rule::boolean_literal) ||
                word_literal("NULL", Rule::null_literal);
    }
    if (!matched) return fail(m);
    close(self);
    return true;
  }

  // boolean_literal = { ^"TRUE" | ^"FALSE" }  null_literal = { ^"NULL" }
  bool word_literal(std::string_view word, Rule rule) {
    if (!starts_with(word)) return false;
    leaf(rule, pos_, pos_ + static_cast<std::uint32_t>(word.size()));
    pos_ += static_cast<std::uint32_t>(word.size());
    return true;
  }

  // integer_literal = @{ "0x" ~ ASCII_HEX_DIGIT+ | "0o" ~ ('0'..'7')+ | ASCII_DIGIT+ }
  bool integer_literal() {
    std::uint32_t end = pos_;
    if (at(pos_) == '0' && at(pos_ + 1) == 'x' && kHexDigit[at(pos_ + 2)]) {
      end = pos_ + 3;
      while (kHexDigit[at(end)]) ++end;
    } else if (at(pos_) == '0' && at(pos_ + 1) == 'o' && kOctal[at(pos_ + 2)]) {
      end = pos_ + 3;
      while (kOctal[at(end)]) ++end;
    } else {
      while (kDigit[at(end)]) ++end;
      if (end == pos_) return false;
    }
    leaf(Rule::integer_literal, pos_, end);
    pos_ = end;
    return true;
  }

  // float_literal = @{ ASCII_DIGIT+ ~ "." ~ ASCII_DIGIT* ~ (("e" | "E") ~ ("+" | "-")?
  //                    ~ ASCII_DIGIT+)? }
  bool float_literal() {
    std::uint32_t end = pos_;
    while (kDigit[at(end)]) ++end;
    if (end == pos_ || at(end) != '.') return false;
    ++end;
    while (kDigit[at(end)]) ++end;
    if (at(end) == 'e' || at(end) == 'E') {
      std::uint32_t exponent = end + 1;
      if (at(exponent) == '+' || at(exponent) == '-') ++exponent;
      if (kDigit[at(exponent)]) {
        while (kDigit[at(exponent)]) ++exponent;
        end = exponent;
      }
    }
    leaf(Rule::float_literal, pos_, end);
    pos_ = end;
    return true;
  }

  // string_literal = @{ "\"" ~ (!"\"" ~ ANY)* ~ "\"" | "'" ~ (!"'" ~ ANY)* ~ "'" }
  bool string_literal() {
    const std::uint32_t close = quoted_end(pos_);
    if (close == 0) return false;
    leaf(Rule::string_literal, pos_, close);
    pos_ = close;
    return true;
  }

  // Past the quote that closes the one at `p` (a quote byte never occurs inside a multi-byte
  // character), or 0 when there is none.
  std::uint32_t quoted_end(std::uint32_t p) const {
    const void* hit = std::memchr(in_ + p + 1, in_[p], n_ - p - 1);
    return hit ? static_cast<std::uint32_t>(static_cast<const char*>(hit) - in_) + 1 : 0;
  }

  // list_literal = { "[" ~ (expression ~ ("," ~ expression)*)? ~ "]" }
  bool list_literal() {
    const Mark m = mark();
    const std::uint32_t self = open(Rule::list_literal);
    if (!lit('[')) return fail(m);
    skip();
    expression_list();
    skip();
    if (!lit(']')) return fail(m);
    close(self);
    return true;
  }

  // map_literal = { "{" ~ (property_key_value_pair ~ ("," ~ property_key_value_pair)*)? ~ "}" }
  bool map_literal() {
    const Mark m = mark();
    const std::uint32_t self = open(Rule::map_literal);
    if (!lit('{')) return fail(m);
    skip();
    if (property_key_value_pair()) {
      skip();
      star([&] { return comma([&] { return property_key_value_pair(); }); });
    }
    skip();
    if (!lit('}')) return fail(m);
    close(self);
    return true;
  }

  // property_key_value_pair = { property_key_name ~ ":" ~ expression }
  bool property_key_value_pair() {
    const Mark m = mark();
    const std::uint32_t self = open(Rule::property_key_value_pair);
    if (!name(Rule::property_key_name)) return fail(m);
    skip();
    if (!lit(':')) return fail(m);
    skip();
    if (!expression()) return fail(m);
    close(self);
    return true;
  }

  // parameter = @{ "$" ~ ((ASCII_ALPHA | "_") ~ (ASCII_ALPHANUMERIC | "_")* | ASCII_DIGIT+) }
  bool parameter() {
    if (at(pos_) != '$') return false;
    std::uint32_t end = pos_ + 1;
    if (kNameStart[at(end)]) {
      end = word_end(end + 1);
    } else {
      while (kDigit[at(end)]) ++end;
      if (end == pos_ + 1) return false;
    }
    leaf(Rule::parameter, pos_, end);
    pos_ = end;
    return true;
  }

  // identifier = @{ !keyword ~ (ASCII_ALPHA | "_") ~ (ASCII_ALPHANUMERIC | "_")*
  //               | backtick_identifier }
  // backtick_identifier = @{ "`" ~ (!"`" ~ ANY)* ~ "`" }
  // Where the identifier starting at `p` ends, or 0.
  std::uint32_t identifier_end(std::uint32_t p) const {
    const unsigned char first = at(p);
    if (first == '`') return quoted_end(p);
    if (!kNameStart[first]) return 0;
    const std::uint32_t end = word_end(p + 1);
    return is_reserved(in_ + p, end - p) ? 0 : end;
  }

  // variable, label_name, rel_type_name, property_key_name, procedure_result_field:
  // each is @{ identifier }.
  bool name(Rule rule) {
    const std::uint32_t end = identifier_end(pos_);
    if (end == 0) return false;
    leaf(rule, pos_, end);
    pos_ = end;
    return true;
  }

  const char* in_;
  std::uint32_t n_;
  std::uint32_t pos_ = 0;
  std::vector<Pair>& tape_;
  const StackBound stack_;
  Pair* pairs_ = nullptr;  // tape_.data(), renewed as the tape grows
  std::uint32_t size_ = 0;
  std::size_t room_ = 0;  // size_ may grow to this before make_room() runs
  std::uint32_t nesting_ = 0;
  std::uint64_t work_ = 0;
  std::uint64_t work_budget_;
  bool gave_up_ = false;
};

}  // namespace

FastMatch fast_match(std::string_view input, std::vector<Pair>& tape, std::string& scratch,
                     StackBound stack) {
  scratch.resize(input.size() + kFastPadding);
  std::memcpy(scratch.data(), input.data(), input.size());
  std::memset(scratch.data() + input.size(), 0, kFastPadding);
  return Matcher(std::string_view(scratch.data(), input.size()), tape, stack).run();
}

}  // namespace morvane::parser
