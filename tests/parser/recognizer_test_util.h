// Helpers shared by the recognizer suites: parse a query in both modes (checking that they agree
// and that a successful tape is well formed), and render pairs as compact text for table rows.
//
// Rendering: `rule"text"` for a pair, followed by `{child child ...}` when it has children and
// the depth allows; texts escape `"`, `\`, line feed, carriage return and tab as in C.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "parser/recognizer.h"
#include "parser/rule.h"

namespace morvane::parser::recognizer_test {

// What may follow the last item of a RETURN at the end of a query: the message of most
// "stray text after the query" errors.
inline constexpr std::string_view kAfterReturnItem =
    "expected EOI, union_clause, order_clause, skip_clause, limit_clause, or_kw, xor_kw, and_kw, "
    "comparison_op, or postfix_op";

// What may follow a complete operand inside an expression that still lacks a closing token.
inline constexpr std::string_view kAfterOperand =
    "expected or_kw, xor_kw, and_kw, comparison_op, or postfix_op";

struct Outcome {
  bool ok = false;
  std::string input;  // the pairs point into this copy
  std::vector<Pair> pairs;
  SyntaxError error;
};

// A query that must fail at line:column; an empty message is not compared.
struct ErrorRow {
  std::string_view query;
  std::uint32_t line;
  std::uint32_t column;
  std::string_view message;
};

// A query that must parse, and the rendering of the `nth` pair of `rule` down to `depth`.
struct TreeRow {
  std::string_view query;
  Rule rule;
  int nth;
  int depth;
  std::string_view expected;
};

// Parses `query` from `start` with Mode::kFast and Mode::kExact, records a test failure (naming
// the query) when they disagree (unless the exact mode ran out of work) or when the result
// breaks a tape or error invariant, and returns the fast result.
Outcome parse_checked(std::string_view query, Rule start = Rule::cypher);

// Renders tape[index] down to `depth` levels of children (-1: all of them).
std::string render(std::string_view input, std::span<const Pair> tape, std::uint32_t index,
                   int depth);

// Renders the `nth` (0-based, pre-order) pair of `rule`, or "<none>" when there is no such pair.
std::string render_rule(const Outcome& outcome, Rule rule, int nth, int depth);

// The rule names of the whole tree, `rule{child child}`, without texts.
std::string render_shape(const Outcome& outcome);

// Checks the structure of a successful tape: pre-order, children inside their parent and in
// order, no text starting with whitespace or a comment (except the cypher pair), and for the
// start rule cypher one top-level pair spanning the input with EOI as its last child.
// Returns an empty string when all hold, otherwise a description of the first violation.
std::string tape_violation(std::string_view input, std::span<const Pair> tape, Rule start);

// Checks an error against the input: line and column agree with the offset, the expected list
// is sorted and free of duplicates, and the display has the six-line layout ending with the
// message. Returns an empty string when all hold.
std::string error_violation(std::string_view input, const SyntaxError& error);

// Table drivers: each failure message names the query of its row.
void expect_accepted(std::span<const std::string_view> queries);
void expect_refused(std::span<const std::string_view> queries);
void expect_errors(std::span<const ErrorRow> rows);
void expect_trees(std::span<const TreeRow> rows);

}  // namespace morvane::parser::recognizer_test
