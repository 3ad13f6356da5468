// The recognizer engine and its syntax error report: commitment, the implicit skip and the
// pair texts it leaves, start rules, reuse, the farthest-failure record and the display text.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "parser/recognizer.h"
#include "recognizer_test_util.h"

namespace morvane::parser {
namespace {

using recognizer_test::ErrorRow;
using recognizer_test::Outcome;
using recognizer_test::TreeRow;
using recognizer_test::kAfterReturnItem;
using recognizer_test::parse_checked;
using recognizer_test::render_rule;
using recognizer_test::render_shape;

TEST(RecognizerEngine, KeywordsFoldOnlyAsciiLetters) {
  const std::string_view accepted[] = {
      "match (n) return n",
      "MaTcH (n) ReTuRn n",
      "Return Distinct n",
  };
  recognizer_test::expect_accepted(accepted);
  // U+0130 and U+0131 are no I, U+212A (Kelvin sign) is no K, and no non-ASCII letter starts
  // a plain name.
  const ErrorRow errors[] = {
      {"MATCH (n) RETURN n L\u0130MIT 1", 1, 20, kAfterReturnItem},
      {"MATCH (n) RETURN n S\u212AIP 1", 1, 20, kAfterReturnItem},
      {"RETURN \u0131", 1, 8, "expected not_expr"},
      {"RETURN \u00e9t\u00e9", 1, 8, "expected not_expr"},
      {"OPT\u0130ONAL MATCH (n) RETURN n", 1, 1, ""},
  };
  recognizer_test::expect_errors(errors);
}

TEST(RecognizerEngine, KeywordsNeedNoSurroundingSkip) {
  Outcome tight = parse_checked("MATCH(n)RETURN n");
  Outcome spaced = parse_checked("MATCH (n) RETURN n");
  ASSERT_TRUE(tight.ok);
  EXPECT_EQ(render_shape(tight), render_shape(spaced));
}

TEST(RecognizerEngine, PairTextsKeepTrailingSkipOnly) {
  const TreeRow rows[] = {
      {"MATCH (n) RETURN n", Rule::match_clause, 0, 0, R"~(match_clause"MATCH (n) ")~"},
      {"MATCH (n) RETURN n", Rule::node_pattern, 0, 0, R"~(node_pattern"(n)")~"},
      {"MATCH (n) RETURN n", Rule::cypher, 0, 1,
       R"~(cypher"MATCH (n) RETURN n"{statement"MATCH (n) RETURN n" EOI""})~"},
      {"  // lead\nRETURN 1 // end", Rule::cypher, 0, 1,
       R"~(cypher"  // lead\nRETURN 1 // end"{statement"RETURN 1 // end" EOI""})~"},
      {"/* a */ RETURN 1", Rule::statement, 0, 0, R"~(statement"RETURN 1")~"},
      {"RETURN 1;", Rule::cypher, 0, 1, R"~(cypher"RETURN 1;"{statement"RETURN 1" EOI""})~"},
      {"RETURN 1 ;  ", Rule::cypher, 0, 1,
       R"~(cypher"RETURN 1 ;  "{statement"RETURN 1 " EOI""})~"},
      {"RETURN a.name AS x ORDER BY x DESC", Rule::return_items, 0, 0,
       R"~(return_items"a.name AS x ")~"},
      {"RETURN a.name AS x ORDER BY x DESC", Rule::sort_item, 0, 1,
       R"~(sort_item"x DESC"{expression"x "})~"},
      {"MATCH (n) RETURN n // done", Rule::return_item, 0, 0, R"~(return_item"n // done")~"},
      {"MATCH (n:A ) RETURN n", Rule::node_labels, 0, 0, R"~(node_labels":A ")~"},
      {"MATCH (n:A:B ) RETURN n", Rule::node_labels, 0, 0, R"~(node_labels":A:B")~"},
  };
  recognizer_test::expect_trees(rows);
}

TEST(RecognizerEngine, FailedAlternativesLeaveNoPairs) {
  const TreeRow rows[] = {
      // The comprehension is tried first and matches "[x IN xs" before failing at ",".
      {"RETURN [x IN xs, 3]", Rule::atom, 0, 3,
       R"~(atom"[x IN xs, 3]"{literal"[x IN xs, 3]"{list_literal"[x IN xs, 3]"{expression"x IN xs" expression"3"}}})~"},
      {"RETURN [x IN xs, 3]", Rule::id_in_coll, 0, 0, "<none>"},
      {"RETURN [x IN xs, 3]", Rule::list_comprehension, 0, 0, "<none>"},
      // shortestPath( is tried as a path first.
      {"RETURN shortestPath(x)", Rule::atom, 0, 1,
       R"~(atom"shortestPath(x)"{function_invocation"shortestPath(x)"})~"},
      {"RETURN shortestPath(x)", Rule::node_pattern, 0, 0, "<none>"},
      {"RETURN reduceX", Rule::atom, 0, 1, R"~(atom"reduceX"{variable"reduceX"})~"},
      // The first alternative of single_query reads the clauses, fails for want of a WITH,
      // and the second reads them again.
      {"MATCH (n) RETURN n", Rule::multi_part_query, 0, 0, "<none>"},
      {"MATCH (n) RETURN n", Rule::single_query, 0, 1,
       R"~(single_query"MATCH (n) RETURN n"{single_part_query"MATCH (n) RETURN n"})~"},
  };
  recognizer_test::expect_trees(rows);
}

TEST(RecognizerEngine, CommittedChoicesAreNotReentered) {
  // keyword commits to AS inside ASC and then fails its boundary test, so ASC is a name; an
  // optional AS commits inside "asc" and takes the rest as the alias.
  const TreeRow rows[] = {
      {"RETURN asc", Rule::return_item, 0, 2,
       R"~(return_item"asc"{expression"asc"{or_expr"asc"}})~"},
      {"RETURN n asc", Rule::return_item, 0, 1,
       R"~(return_item"n asc"{expression"n " variable"c"})~"},
  };
  recognizer_test::expect_trees(rows);
  // Greedy digits: "1." is a float, after which ".3" has nothing to continue.
  const std::string_view refused[] = {"RETURN xs[1..3]", "RETURN xs[1..]"};
  recognizer_test::expect_refused(refused);
}

TEST(RecognizerEngine, LongFlatQueriesMatchCompletely) {
  std::string items = "RETURN 0";
  for (int i = 1; i < 5000; ++i) items += ", " + std::to_string(i);
  Outcome wide = parse_checked(items);
  ASSERT_TRUE(wide.ok) << wide.error.display;
  std::uint32_t count = 0;
  for (const Pair& pair : wide.pairs) count += pair.rule == Rule::return_item;
  EXPECT_EQ(count, 5000u);

  std::string sum = "RETURN 1";
  for (int i = 0; i < 20000; ++i) sum += " + 1";
  EXPECT_TRUE(parse_checked(sum).ok);

  std::string chain = "MATCH (n0)";
  for (int i = 1; i < 3000; ++i) chain += "-[:R]->(n" + std::to_string(i) + ")";
  EXPECT_TRUE(parse_checked(chain + " RETURN n0").ok);
}

TEST(RecognizerEngine, AnyRuleCanStartAMatch) {
  struct Row {
    std::string_view input;
    Rule start;
    std::string_view expected;  // the top-level pair, or the error message
  };
  const Row rows[] = {
      {"n.x + 1 rest", Rule::expression, R"~(expression"n.x + 1 ")~"},
      {"(a)-->(b), (c)", Rule::pattern, R"~(pattern"(a)-->(b), (c)")~"},
      {"abc def", Rule::variable, R"~(variable"abc")~"},
      {"MATCH (n)", Rule::match_clause, R"~(match_clause"MATCH (n)")~"},
      {"match", Rule::variable, "expected variable"},
      {"", Rule::expression, "expected not_expr"},
      {")", Rule::node_pattern, "expected node_pattern"},
  };
  for (const Row& row : rows) {
    Outcome outcome = parse_checked(row.input, row.start);
    if (outcome.ok) {
      EXPECT_EQ(outcome.pairs[0].next, outcome.pairs.size()) << "input: " << row.input;
      EXPECT_EQ(recognizer_test::render(outcome.input, outcome.pairs, 0, 0), row.expected)
          << "input: " << row.input;
    } else {
      EXPECT_EQ(outcome.error.message, row.expected) << "input: " << row.input;
      EXPECT_EQ(outcome.error.offset, 0u) << "input: " << row.input;
    }
  }
}

TEST(RecognizerEngine, NothingCarriesOverBetweenCalls) {
  const std::string_view queries[] = {
      "MATCH (n RETURN n",
      "MATCH (a)-[r:KNOWS*1..3]->(b) WHERE a.x > 1 RETURN a, count(*) ORDER BY a.x LIMIT 3",
      "RETURN 1 +",
      "",
      "RETURN 1",
      "MATCH (n RETURN n",
  };
  Recognizer reused;
  for (Recognizer::Mode mode : {Recognizer::Mode::kFast, Recognizer::Mode::kExact}) {
    for (std::string_view query : queries) {
      Recognizer fresh;
      bool fresh_ok = fresh.parse(query, Rule::cypher, mode);
      bool reused_ok = reused.parse(query, Rule::cypher, mode);
      ASSERT_EQ(reused_ok, fresh_ok) << "query: " << query;
      if (fresh_ok) {
        ASSERT_EQ(reused.pairs().size(), fresh.pairs().size()) << "query: " << query;
        for (std::size_t i = 0; i < fresh.pairs().size(); ++i) {
          EXPECT_EQ(reused.pairs()[i].begin, fresh.pairs()[i].begin) << "query: " << query;
          EXPECT_EQ(reused.pairs()[i].end, fresh.pairs()[i].end) << "query: " << query;
          EXPECT_EQ(reused.pairs()[i].next, fresh.pairs()[i].next) << "query: " << query;
          EXPECT_EQ(reused.pairs()[i].rule, fresh.pairs()[i].rule) << "query: " << query;
        }
      } else {
        EXPECT_EQ(reused.error().display, fresh.error().display) << "query: " << query;
        EXPECT_EQ(reused.error().expected, fresh.error().expected) << "query: " << query;
      }
    }
  }
}

// Whole display texts.
TEST(RecognizerErrorReport, DisplayText) {
  struct Row {
    std::string_view query;
    std::string display;
  };
  const Row rows[] = {
      {"MATCH (n RETURN n",
       " --> 1:10\n  |\n1 | MATCH (n RETURN n\n  |          ^---\n  |\n"
       "  = expected node_labels or properties"},
      {"", " --> 1:1\n  |\n1 | \n  | ^---\n  |\n  = expected statement"},
      {"MATCH (n)\nRETURN n,\n", " --> 3:1\n  |\n3 | \n  | ^---\n  |\n  = expected not_expr"},
      {"MATCH (n)\r\nRETURN n,\r\n",
       " --> 3:1\n  |\n3 | \n  | ^---\n  |\n  = expected not_expr"},
      {"RETURN '\u00e9', ",
       " --> 1:13\n  |\n1 | RETURN '\u00e9', \n  | " + std::string(12, ' ') +
           "^---\n  |\n  = expected not_expr"},
      {"MATCH (n)\tWHERE\t)",
       " --> 1:17\n  |\n1 | MATCH (n)\tWHERE\t)\n  | " + std::string(9, ' ') + "\t" +
           std::string(5, ' ') + "\t^---\n  |\n  = expected not_expr"},
      {"// 1\n// 2\n// 3\n// 4\n// 5\n// 6\n// 7\n// 8\n// 9\n// 10\n// 11\nRETURN 1 +",
       "  --> 12:11\n   |\n12 | RETURN 1 +\n   | " + std::string(10, ' ') +
           "^---\n   |\n   = expected atom"},
      // The shown line is the line of the position only.
      {"MATCH (n)\nWHERE n.age >\nRETURN n",
       " --> 3:1\n  |\n3 | RETURN n\n  | ^---\n  |\n  = expected atom"},
      {"RETURN 1 +\n)\nx", " --> 2:1\n  |\n2 | )\n  | ^---\n  |\n  = expected atom"},
      // A lone carriage return is a character of its line; the marker stops at the end of
      // the shown line, from which it is removed.
      {"RETURN 1 +\r",
       " --> 1:12\n  |\n1 | RETURN 1 +\n  | " + std::string(10, ' ') +
           "^---\n  |\n  = expected atom"},
      {"RETURN 1 +\r\r\n", " --> 2:1\n  |\n2 | \n  | ^---\n  |\n  = expected atom"},
  };
  for (const Row& row : rows) {
    Outcome outcome = parse_checked(row.query);
    ASSERT_FALSE(outcome.ok) << "query: " << row.query;
    EXPECT_EQ(outcome.error.display, row.display) << "query: " << row.query;
    EXPECT_EQ(outcome.error.kind, SyntaxError::Kind::kExpected) << "query: " << row.query;
  }
}

// A byte that begins no well-formed UTF-8 sequence counts as one character and is shown as
// \x{hex}, with the marker under the text as shown.
TEST(RecognizerErrorReport, InvalidUtf8IsShownEscaped) {
  struct Row {
    std::string_view query;
    std::uint32_t column;
    std::string shown;
    std::size_t blanks;  // before the marker
  };
  const Row rows[] = {
      {"RETURN '\xff' +", 13, R"(RETURN '\x{ff}' +)", 17},
      {"RETURN '\xc3\xa9\xff', ", 14, "RETURN '\xc3\xa9\\x{ff}', ", 18},
      {"RETURN 1 /* \xe2\x82 */ +", 20, R"(RETURN 1 /* \x{e2}\x{82} */ +)", 29},
      {"RETURN '\xc0\xaf\xed\xa0\x80' +", 17, R"(RETURN '\x{c0}\x{af}\x{ed}\x{a0}\x{80}' +)",
       41},
      {"RETURN \x80 1", 8, R"(RETURN \x{80} 1)", 7},
      {"RETURN 1 +\xe2\x82", 11, R"(RETURN 1 +\x{e2}\x{82})", 10},
  };
  for (const Row& row : rows) {
    Outcome outcome = parse_checked(row.query);
    ASSERT_FALSE(outcome.ok) << "query: " << row.query;
    EXPECT_EQ(outcome.error.display,
              " --> 1:" + std::to_string(row.column) + "\n  |\n1 | " + row.shown + "\n  | " +
                  std::string(row.blanks, ' ') + "^---\n  |\n  = " + outcome.error.message)
        << "query: " << row.query;
  }
}

// Positions and messages; the display follows from them (checked for every error by
// parse_checked).
TEST(RecognizerErrorReport, FarthestFailure) {
  const ErrorRow rows[] = {
      {"MATCH (n) RETURN n garbage", 1, 20, kAfterReturnItem},
      {"MATCH (n) RETURN n;;", 1, 20, "expected EOI"},
      {"MATCH (n) WHERE n.age > RETURN n", 1, 25, "expected atom"},
      {"RETURN 1 +", 1, 11, "expected atom"},
      {"MATCH (n:Person {name: \"x\"}) RETURN n.", 1, 39, "expected property_key_name"},
      {"MATCH (n)-[r:KNOWS]-(m RETURN n", 1, 24, "expected node_labels or properties"},
      {"RETURN 'abc", 1, 8, "expected not_expr"},
      {"MATCH (n) /* open RETURN n", 1, 11,
       "expected EOI, union_clause, reading_clause, updating_clause, with_clause, "
       "return_clause, where_clause, or left_arrow"},
      {"   ", 1, 4, "expected statement"},
      {"// only a comment", 1, 18, "expected statement"},
      {"RETURN 1 // c\n+", 2, 2, "expected atom"},
  };
  recognizer_test::expect_errors(rows);
  Outcome outcome = parse_checked("MATCH (n RETURN n");
  ASSERT_FALSE(outcome.ok);
  EXPECT_EQ(outcome.error.offset, 9u);
  EXPECT_EQ(outcome.error.expected, (std::vector<Rule>{Rule::node_labels, Rule::properties}));
}

}  // namespace
}  // namespace morvane::parser
