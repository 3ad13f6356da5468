// Helpers shared by the fast matcher suites: the differential check of one query against the
// engine, and a seeded generator of queries from the grammar.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "parser/fast_matcher.h"

namespace morvane::parser::fast_matcher_test {

// Runs the fast matcher and the engine alone (Recognizer::Mode::kEngine) on `query` and records
// a test failure, naming the query, unless the matcher's answer holds: accepted with the
// engine's exact tape, refused where the engine refuses, or given up. Also checks that the
// recognizer's default mode (matcher in front) gives the engine's result, error included.
// Returns the matcher's answer.
FastMatch::Result check_against_engine(std::string_view query);

// Seeded queries drawn from the grammar: every rule that can yield a pair is drawn, keywords in
// random case, whitespace and comments between tokens, and the grammar's quirks mixed in
// (keywords glued to the next word, "1..", STARTS /* c */ WITH, an AS read inside a longer
// word). Most queries are valid; a small share carries a deliberate fault.
class QueryGenerator {
 public:
  explicit QueryGenerator(std::uint64_t seed) : state_(seed) {}
  std::string next_query();

 private:
  std::uint64_t draw();
  int pick(int n) { return static_cast<int>(draw() % static_cast<std::uint64_t>(n)); }
  bool chance(int percent) { return pick(100) < percent; }

  void separator();
  void token(std::string_view text);
  void word(std::string_view keyword);
  void name();

  void regular_query(int depth);
  void single_query(int depth);
  void reading_clause(int depth);
  void updating_clause(int depth);
  void projection(int depth, bool with);
  void pattern(int depth);
  void pattern_part(int depth);
  void pattern_element(int depth);
  void node_pattern(int depth);
  void relationship_pattern(int depth);
  void properties(int depth);
  void expression(int depth);
  void operand(int depth);
  void atom(int depth);
  void filter(int depth);
  void literal(int depth);
  void map(int depth);

  std::uint64_t state_;
  std::string out_;
};

}  // namespace morvane::parser::fast_matcher_test
