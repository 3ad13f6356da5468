// Limits: nesting beyond kMaxRuleDepth fails as a syntax error on any thread (including one
// with a 2 MiB stack), nesting within it parses, and nested subqueries, which the grammar
// tries more than once at every level, still finish with the right result.
#include <gtest/gtest.h>
#include <pthread.h>

#include <algorithm>
#include <string>
#include <vector>
#include <string_view>

#include "parser/recognizer.h"
#include "recognizer_test_util.h"

namespace morvane::parser {
namespace {

using recognizer_test::Outcome;
using recognizer_test::parse_checked;

std::string repeat(std::string_view piece, int count) {
  std::string out;
  out.reserve(piece.size() * count);
  for (int i = 0; i < count; ++i) out += piece;
  return out;
}

struct DeepRow {
  std::string name;
  std::string query;
  std::size_t nest_begin;  // the nesting occupies [nest_begin, nest_end)
  std::size_t nest_end;
};

std::vector<DeepRow> deep_rows() {
  constexpr int kLevels = 100000;
  std::vector<DeepRow> rows;
  auto add = [&](std::string name, std::string_view head, std::string_view open,
                 std::string_view middle, std::string_view close, std::string_view tail) {
    std::string query = std::string(head) + repeat(open, kLevels);
    std::size_t nest_end = query.size();
    query += std::string(middle) + repeat(close, kLevels) + std::string(tail);
    rows.push_back({std::move(name), std::move(query), head.size(), nest_end});
  };
  add("parentheses", "RETURN ", "(", "1", ")", "");
  add("brackets", "RETURN ", "[", "", "]", "");
  add("negated parentheses", "RETURN ", "-(", "1", ")", "");
  add("maps", "RETURN ", "{a:", "1", "}", "");
  add("subscripts", "RETURN ", "x[", "0", "]", "");
  add("subqueries", "", "CALL { ", "RETURN 1", " }", "");
  add("count subqueries", "RETURN ", "COUNT { RETURN ", "1", " }", "");
  add("unclosed parentheses", "RETURN ", "(", "1", "", "");
  add("node properties", "MATCH (n ", "{a: ", "1", "}", ") RETURN n");
  return rows;
}

// Checks one row on the current thread; returns a failure description or "".
std::string check_deep(const DeepRow& row) {
  const std::string message =
      "query nested deeper than " + std::to_string(kMaxRuleDepth) + " levels";
  Recognizer recognizer;
  std::string first_display;
  for (Recognizer::Mode mode : {Recognizer::Mode::kFast, Recognizer::Mode::kExact}) {
    if (recognizer.parse(row.query, Rule::cypher, mode)) return row.name + ": accepted";
    const SyntaxError& error = recognizer.error();
    if (mode == Recognizer::Mode::kFast) {
      first_display = error.display.substr(0, error.display.find('\n'));
    } else if (error.display.substr(0, error.display.find('\n')) != first_display) {
      return row.name + ": the fast mode places the error at " + first_display +
             ", the exact mode at " + error.display.substr(0, error.display.find('\n'));
    }
    if (error.kind != SyntaxError::Kind::kTooDeep) {
      return row.name + ": not the depth error: " + error.message;
    }
    if (error.message != message) return row.name + ": message " + error.message;
    if (error.offset < row.nest_begin || error.offset > row.nest_end) {
      return row.name + ": placed outside the nesting at " + std::to_string(error.offset);
    }
    if (error.line != 1 || error.column != error.offset + 1) {
      return row.name + ": position " + std::to_string(error.line) + ":" +
             std::to_string(error.column) + " for offset " + std::to_string(error.offset);
    }
    if (!error.display.ends_with("\n  |\n  = " + message)) {
      return row.name + ": display ends " + error.display.substr(error.display.size() - 60);
    }
    if (std::count(error.display.begin(), error.display.end(), '\n') != 5) {
      return row.name + ": display is not six lines";
    }
  }
  return "";
}

TEST(RecognizerLimits, DeepNestingFailsOnTheCallingThread) {
  for (const DeepRow& row : deep_rows()) EXPECT_EQ(check_deep(row), "");
}

struct ThreadJob {
  std::vector<DeepRow> rows;
  std::vector<std::string> failures;
};

void* run_job(void* arg) {
  auto* job = static_cast<ThreadJob*>(arg);
  for (const DeepRow& row : job->rows) job->failures.push_back(check_deep(row));
  return nullptr;
}

TEST(RecognizerLimits, DeepNestingFailsOnA2MiBThread) {
  ThreadJob job{deep_rows(), {}};
  pthread_attr_t attr;
  ASSERT_EQ(pthread_attr_init(&attr), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attr, 2 << 20), 0);
  pthread_t thread;
  ASSERT_EQ(pthread_create(&thread, &attr, run_job, &job), 0);
  ASSERT_EQ(pthread_join(thread, nullptr), 0);
  pthread_attr_destroy(&attr);
  for (const std::string& failure : job.failures) EXPECT_EQ(failure, "");
}

TEST(RecognizerLimits, NestingWithinTheLimitParses) {
  const std::string rows[] = {
      "RETURN " + repeat("(", 60) + "1" + repeat(")", 60),
      "RETURN " + repeat("[", 60) + repeat("]", 60),
      "RETURN " + repeat("{a: ", 60) + "1" + repeat("}", 60),
      repeat("CALL { ", 100) + "RETURN 1" + repeat(" }", 100),
      "FOREACH (x IN xs | " + repeat("FOREACH (y IN x | ", 60) + "DELETE y" +
          repeat(")", 60) + ")",
  };
  for (const std::string& query : rows) {
    Outcome outcome = parse_checked(query);
    EXPECT_TRUE(outcome.ok) << "query: " << query.substr(0, 80) << "...\n"
                            << outcome.error.message;
  }
}

// Each level of these is tried as a multi-part query and then as a single-part one.
TEST(RecognizerLimits, NestedSubqueriesFinish) {
  constexpr int kLevels = 30;
  struct Row {
    std::string query;
    std::string message;  // empty when the query must parse
    std::uint32_t column;
  };
  auto nested = [&](std::string_view open, std::string_view inner, std::string_view close,
                    std::string_view tail) {
    return repeat(open, kLevels) + std::string(inner) + repeat(close, kLevels) +
           std::string(tail);
  };
  std::vector<Row> rows = {
      {nested("CALL { ", "MATCH (n) RETURN n", " }", " RETURN 1"), "", 0},
      {nested("CALL { ", "RETURN 1", " }", ""), "", 0},
      {nested("CALL { WITH 1 AS x ", "RETURN x", " }", ""), "", 0},
      {nested("RETURN COUNT { ", "RETURN 1", " }", ""), "", 0},
      {nested("RETURN COLLECT { ", "RETURN 1", " }", ""), "", 0},
      {nested("MATCH (n) WHERE COUNT { CALL { ", "RETURN 1", " } }", ""), "", 0},
  };
  // Operands whose first alternative reads the nested operand and then fails, so that the
  // next alternative reads it again: a comprehension that turns out to be a list, REDUCE and
  // a quantifier that turn out to be calls. Thirty levels must stay within the work limit.
  auto operands = [&](std::string_view open, std::string_view close) {
    return "RETURN " + repeat(open, kLevels) + "1" + repeat(close, kLevels);
  };
  rows.push_back({operands("[x IN ", ", 1]"), "", 0});
  rows.push_back({operands("reduce(a = ", ", x IN y)"), "", 0});
  rows.push_back({operands("any(x IN ", ", 2)"), "", 0});
  // The same with the innermost body broken: an operand is missing before the first " }".
  const std::string_view opens[] = {"CALL { ", "RETURN COUNT { ", "RETURN COLLECT { "};
  for (std::string_view open : opens) {
    std::string query = nested(open, "RETURN 1 +", " }", "");
    std::uint32_t column = static_cast<std::uint32_t>(open.size() * kLevels + 12);
    rows.push_back({query, "expected atom", column});
  }
  for (const Row& row : rows) {
    Outcome outcome = parse_checked(row.query);
    if (row.message.empty()) {
      EXPECT_TRUE(outcome.ok) << "query: " << row.query << "\n" << outcome.error.message;
    } else {
      ASSERT_FALSE(outcome.ok) << "query: " << row.query;
      EXPECT_EQ(outcome.error.message, row.message) << "query: " << row.query;
      EXPECT_EQ(outcome.error.column, row.column) << "query: " << row.query;
    }
  }
}

}  // namespace
}  // namespace morvane::parser
