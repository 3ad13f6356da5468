// Limits: nesting beyond kMaxRuleDepth fails as a syntax error on any thread (including one
// with a 2 MiB stack), nesting within it parses, and nested subqueries, which the grammar
// tries more than once at every level, still finish with the right result. Queries that would
// take more than kMaxPairs pairs, or are longer than kMaxQueryBytes, fail where the bound falls.
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


// Megabytes of dense text each: recognized whole, they would take seconds and gigabytes.
TEST(RecognizerLimits, LargeQueriesStopAtThePairBudget) {
  constexpr std::size_t kBytes = 8 << 20;
  struct Row {
    std::string name;
    std::string query;
    std::size_t second_piece;  // where the second repeated piece begins
  };
  auto row = [](std::string name, std::string_view head, std::string_view piece,
                std::string_view tail) {
    const int pieces = static_cast<int>(kBytes / piece.size());
    return Row{std::move(name), std::string(head) + repeat(piece, pieces) + std::string(tail),
               head.size() + piece.size()};
  };
  const Row rows[] = {
      row("numbers", "RETURN [1", ",1", "]"),
      row("sum", "RETURN 1", "+1", ""),
      row("strings", "RETURN [''", ",''", "]"),
      row("map", "RETURN {a: 1", ", a: 1", "}"),
      row("properties", "MATCH (n:Person) RETURN n.a", ", n.b", ""),
      row("labels, one per line", "MATCH (n", "\n:A", ") RETURN n"),
      row("relationships", "MATCH (a)", "-[:R]->(a)", " RETURN a"),
      row("nested comprehensions", "RETURN [x IN [x IN [1", ",1", "], 2], 2]"),
  };
  const std::string message = "query too large to recognize";
  for (const Row& r : rows) {
    const Outcome outcome = parse_checked(r.query);
    ASSERT_FALSE(outcome.ok) << r.name;
    const SyntaxError& error = outcome.error;
    EXPECT_EQ(error.kind, SyntaxError::Kind::kTooLarge) << r.name << ": " << error.message;
    EXPECT_EQ(error.message, message) << r.name;
    // Past the first pieces (the budget is not spent at once) and well before the end.
    EXPECT_GT(error.offset, r.second_piece) << r.name;
    EXPECT_LT(error.offset, r.query.size() / 2) << r.name;
    if (r.query.find('\n') == std::string::npos) {
      EXPECT_EQ(error.line, 1u) << r.name;
    } else {
      EXPECT_GT(error.line, 1u) << r.name;
      EXPECT_TRUE(error.display.find("\n" + std::to_string(error.line) + " | :A\n") !=
                  std::string::npos)
          << r.name << "\n" << error.display.substr(0, 200);
    }
  }
}

// The pairs of the match of a query that must parse.
std::uint32_t pair_count(const std::string& query) {
  const Outcome outcome = parse_checked(query);
  EXPECT_TRUE(outcome.ok) << query;
  return static_cast<std::uint32_t>(outcome.pairs.size());
}

// The tape of a list grows by the same number of pairs with each element: the longest list
// whose tape holds kMaxPairs pairs parses, one element more does not.
TEST(RecognizerLimits, ThePairBudgetIsExact) {
  auto list = [](std::uint32_t elements) {
    return "RETURN [1" + repeat(",1", static_cast<int>(elements) - 1) + "]";
  };
  const std::uint32_t one = pair_count(list(1));
  const std::uint32_t step = pair_count(list(2)) - one;
  ASSERT_GT(step, 0u);
  const std::uint32_t longest = (kMaxPairs - one) / step + 1;

  const Outcome fits = parse_checked(list(longest));
  ASSERT_TRUE(fits.ok) << fits.error.message;
  EXPECT_LE(fits.pairs.size(), kMaxPairs);
  EXPECT_GT(fits.pairs.size() + step, kMaxPairs);

  const Outcome over = parse_checked(list(longest + 1));
  ASSERT_FALSE(over.ok);
  EXPECT_EQ(over.error.kind, SyntaxError::Kind::kTooLarge);
}

// Each level of these comprehensions is read as a comprehension and then again as a list, so
// the innermost list is matched afresh twice and then reused twice, the last time with the most
// pairs before it. Around the budget, whichever reading first passes it is where every mode
// stops (parse_checked compares them). The lengths from the longest that fits to four elements
// more pass the budget after the innermost list, inside its last reading and in an earlier one.
TEST(RecognizerLimits, ReusedMatchesMeetThePairBudgetWhereTheGrammarDoes) {
  auto nested = [](std::uint32_t elements) {
    return "RETURN [x IN [x IN [1" + repeat(",1", static_cast<int>(elements) - 1) +
           "], 2], 2]";
  };
  const std::uint32_t one = pair_count(nested(1));
  const std::uint32_t step = pair_count(nested(2)) - one;
  ASSERT_GT(step, 0u);
  const std::uint32_t longest = (kMaxPairs - one) / step + 1;
  int fitted = 0;
  int stopped = 0;
  for (std::uint32_t elements = longest - 1; elements <= longest + 4; ++elements) {
    const Outcome outcome = parse_checked(nested(elements));
    if (outcome.ok) {
      ++fitted;
    } else {
      ++stopped;
      EXPECT_EQ(outcome.error.kind, SyntaxError::Kind::kTooLarge) << elements;
    }
  }
  EXPECT_GT(fitted, 0);
  EXPECT_GT(stopped, 0);
}

// The bound falls at byte kMaxQueryBytes (at the start of the character holding it); the
// report shows the text up to there. Newlines keep the shown line short.
TEST(RecognizerLimits, LongQueriesStopAtTheLengthBound) {
  const std::string head = "RETURN 1";
  const std::string lines(kMaxQueryBytes - head.size(), '\n');
  struct Row {
    std::string name;
    std::string query;
    std::uint32_t offset;  // of the error; 0 when the query must parse
    std::uint32_t line;
  };
  const std::uint32_t last_line = static_cast<std::uint32_t>(lines.size()) + 1;
  const Row rows[] = {
      {"at the bound", head + lines, 0, 0},
      {"one byte past it", head + lines + "x", kMaxQueryBytes, last_line},
      {"far past it", head + lines + std::string(1 << 20, 'x'), kMaxQueryBytes, last_line},
      {"a character across it", head + lines.substr(1) + "\u00e9", kMaxQueryBytes - 1,
       last_line - 1},
  };
  const std::string message = "query longer than " + std::to_string(kMaxQueryBytes) + " bytes";
  for (const Row& row : rows) {
    const Outcome outcome = parse_checked(row.query);
    if (row.offset == 0) {
      EXPECT_TRUE(outcome.ok) << row.name << ": " << outcome.error.message;
      continue;
    }
    ASSERT_FALSE(outcome.ok) << row.name;
    const SyntaxError& error = outcome.error;
    EXPECT_EQ(error.kind, SyntaxError::Kind::kTooLong) << row.name;
    EXPECT_EQ(error.message, message) << row.name;
    EXPECT_EQ(error.offset, row.offset) << row.name;
    EXPECT_EQ(error.line, row.line) << row.name;
    EXPECT_EQ(error.column, 1u) << row.name;
    const std::string line = std::to_string(row.line);
    const std::string pad(line.size(), ' ');
    EXPECT_EQ(error.display, pad + "--> " + line + ":1\n" + pad + " |\n" + line + " | \n" + pad +
                                 " | ^---\n" + pad + " |\n" + pad + " = " + message)
        << row.name;
  }
}

}  // namespace
}  // namespace morvane::parser
