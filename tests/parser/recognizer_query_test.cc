// Query structure: the statement, UNION arms, query parts split by WITH, clause order, and
// the projections RETURN and WITH with their items, ORDER BY, SKIP, LIMIT and WHERE.
#include <gtest/gtest.h>

#include <string_view>

#include "recognizer_test_util.h"

namespace morvane::parser {
namespace {

using recognizer_test::ErrorRow;
using recognizer_test::Outcome;
using recognizer_test::TreeRow;
using recognizer_test::parse_checked;
using recognizer_test::render_rule;
using recognizer_test::render_shape;

TEST(RecognizerQuery, Accepted) {
  const std::string_view accepted[] = {
      "RETURN 1",
      "MATCH (n)",
      "CREATE (n)",
      "MATCH (n) WITH n",
      "WITH 1 AS x",
      "RETURN 1;",
      "RETURN 1 ;   ",
      "// note\nRETURN 1",
      "RETURN 1 // note",
      "match (n) return n",
      "Return Distinct n",
      "MATCH (a) CREATE (b) RETURN a",
      "CREATE (b) WITH b MATCH (a) RETURN a",
      "WITH * RETURN x",
      "RETURN n ORDER BY n.x SKIP 1 LIMIT 2",
      "WITH n ORDER BY n.x LIMIT 3 WHERE n.y > 1 RETURN n",
      "RETURN n ORDER BY n.x DESC",
      "RETURN n ORDER BY n.x descending",
      "RETURN n ORDER BY n.x ASC, n.y",
      "RETURN n SKIP $s LIMIT 2 + 3",
      "RETURN 1 AS x UNION RETURN 2 AS x",
      "RETURN 1 AS x UNION ALL RETURN 2 AS x",
      "MATCH (n) WITH n RETURN n UNION RETURN 1 AS n",
      "RETURN 1 UNION ALL RETURN 2 UNION RETURN 3",
      "RETURN 1 UNIONALL RETURN 2",
      "RETURN 1 AS x ORDERBY x",
      "RETURN distinctName",
      "RETURN 1 AS `count`",
      "RETURN n ORDER /* by what */ BY n",
      "WITH DISTINCT a, b ORDER BY a SKIP 1 LIMIT 1 WHERE a > b RETURN DISTINCT *",
      "MATCH (a) WITH a MATCH (b) WITH a, b RETURN a, b",
      "UNWIND [1] AS x WITH x CREATE (n) WITH n MATCH (m) RETURN m",
      "WITH 1 AS x WITH x",
      "MATCH (n) RETURN*",
      "MATCH (n) WHERE n.x",
  };
  recognizer_test::expect_accepted(accepted);
}

TEST(RecognizerQuery, Refused) {
  const std::string_view refused[] = {
      "",
      "   \n\t ",
      "// only a comment",
      "/* a */ /* b */",
      "RETURN 1;;",
      ";",
      "RETURN 1; RETURN 2",
      "CREATE (b) MATCH (a) RETURN a",
      "MATCH (a) RETURN a MATCH (b)",
      "WITH RETURN 1",
      "RETURN *, n",
      "RETURN n, *",
      "RETURN n,",
      "RETURN n LIMIT 2 SKIP 1",
      "RETURN n SKIP 1 ORDER BY n.x",
      "WITH n WHERE n.y > 1 ORDER BY n.x RETURN n",
      "RETURN 1 UNION",
      "RETURN DISTINCT",
      "RETURN 1 AS count",
      "RETURN n ORDER n",
      "RETURN 1 RETURN 2",
  };
  recognizer_test::expect_refused(refused);
  const ErrorRow errors[] = {
      {"", 1, 1, "expected statement"},
      {"CREATE (b) MATCH (a) RETURN a", 1, 12, ""},
      {"RETURN *, n", 1, 9, ""},
      {"RETURN n, *", 1, 11, "expected not_expr"},
      {"RETURN n,", 1, 10, "expected not_expr"},
      {"WITH n WHERE n.y > 1 ORDER BY n.x RETURN n", 1, 22, ""},
      {"RETURN 1 AS count", 1, 13, "expected variable"},
      {"RETURN 1 UNION", 1, 15, "expected single_query"},
      {"RETURN DISTINCT", 1, 16, "expected not_expr"},
      {"MATCH (a) RETURN a MATCH (b)", 1, 20, ""},
      {"RETURN 1; RETURN 2", 1, 11, "expected EOI"},
      {"WITH RETURN 1", 1, 6, ""},
      {"RETURN n LIMIT 2 SKIP 1", 1, 18, ""},
  };
  recognizer_test::expect_errors(errors);
}

TEST(RecognizerQuery, PairShapes) {
  const TreeRow rows[] = {
      {"MATCH (a) WITH a MATCH (b) WITH a, b RETURN a, b", Rule::single_query, 0, 2,
       R"~(single_query"MATCH (a) WITH a MATCH (b) WITH a, b RETURN a, b"{multi_part_query"MATCH (a) WITH a MATCH (b) WITH a, b RETURN a, b"{reading_clause"MATCH (a) " with_clause"WITH a " reading_clause"MATCH (b) " with_clause"WITH a, b " return_clause"RETURN a, b"}})~"},
      {"WITH 1 AS x WITH x RETURN x", Rule::multi_part_query, 0, 1,
       R"~(multi_part_query"WITH 1 AS x WITH x RETURN x"{with_clause"WITH 1 AS x " with_clause"WITH x " return_clause"RETURN x"})~"},
      {"CREATE (b) WITH b MATCH (a) RETURN a", Rule::multi_part_query, 0, 1,
       R"~(multi_part_query"CREATE (b) WITH b MATCH (a) RETURN a"{updating_clause"CREATE (b) " with_clause"WITH b " reading_clause"MATCH (a) " return_clause"RETURN a"})~"},
      {"MATCH (a) CREATE (b) RETURN a", Rule::single_part_query, 0, 1,
       R"~(single_part_query"MATCH (a) CREATE (b) RETURN a"{reading_clause"MATCH (a) " updating_clause"CREATE (b) " return_clause"RETURN a"})~"},
      {"RETURN *", Rule::return_items, 0, 1, R"~(return_items"*")~"},
      {"RETURN n AS m", Rule::return_item, 0, 1,
       R"~(return_item"n AS m"{expression"n " variable"m"})~"},
      {"RETURN n ASm", Rule::return_item, 0, 1,
       R"~(return_item"n ASm"{expression"n " variable"m"})~"},
      {"RETURN n asc", Rule::return_item, 0, 1,
       R"~(return_item"n asc"{expression"n " variable"c"})~"},
      {"RETURN n LIMIT 1", Rule::return_item, 0, 0, R"~(return_item"n ")~"},
      {"RETURN n LIMIT 1", Rule::return_body, 0, 1,
       R"~(return_body"n LIMIT 1"{return_items"n " limit_clause"LIMIT 1"})~"},
      {"MATCH (n) WITH n RETURN n", Rule::with_clause, 0, 0, R"~(with_clause"WITH n ")~"},
      {"RETURN distinctName", Rule::return_clause, 0, 2,
       R"~(return_clause"RETURN distinctName"{return_body"Name"{return_items"Name"}})~"},
      {"RETURN n ORDER BY n.x DESC", Rule::sort_item, 0, 1,
       R"~(sort_item"n.x DESC"{expression"n.x "})~"},
      {"RETURN n ORDER BY n.x descending, n.y", Rule::order_clause, 0, 1,
       R"~(order_clause"ORDER BY n.x descending, n.y"{sort_item"n.x descending" sort_item"n.y"})~"},
      {"RETURN n ORDER BY n.x SKIP 1 LIMIT 2", Rule::return_body, 0, 1,
       R"~(return_body"n ORDER BY n.x SKIP 1 LIMIT 2"{return_items"n " order_clause"ORDER BY n.x " skip_clause"SKIP 1 " limit_clause"LIMIT 2"})~"},
      {"WITH n ORDER BY n.x LIMIT 3 WHERE n.y > 1 RETURN n", Rule::with_clause, 0, 1,
       R"~(with_clause"WITH n ORDER BY n.x LIMIT 3 WHERE n.y > 1 "{return_body"n ORDER BY n.x LIMIT 3 " where_clause"WHERE n.y > 1 "})~"},
      {"RETURN 1 AS x UNION ALL RETURN 2 AS x", Rule::regular_query, 0, 2,
       R"~(regular_query"RETURN 1 AS x UNION ALL RETURN 2 AS x"{single_query"RETURN 1 AS x "{single_part_query"RETURN 1 AS x "} union_clause"UNION ALL RETURN 2 AS x"{single_query"RETURN 2 AS x"}})~"},
      {"MATCH (n) WITH n RETURN n UNION RETURN 1 AS n", Rule::single_query, 0, 1,
       R"~(single_query"MATCH (n) WITH n RETURN n "{multi_part_query"MATCH (n) WITH n RETURN n "})~"},
      {"CALL db.labels()", Rule::statement, 0, 1,
       R"~(statement"CALL db.labels()"{regular_query"CALL db.labels()"})~"},
      {"CALL db.labels()", Rule::standalone_call, 0, 0, "<none>"},
  };
  recognizer_test::expect_trees(rows);
}

TEST(RecognizerQuery, KeywordsAgainstTheNextElement) {
  const std::string_view pairs[][2] = {
      {"RETURN 1 UNIONALL RETURN 2", "RETURN 1 UNION ALL RETURN 2"},
      {"RETURN 1 AS x ORDERBY x", "RETURN 1 AS x ORDER BY x"},
      {"RETURN n ASm", "RETURN n AS m"},
      {"MATCH(n)RETURN(n)", "MATCH (n) RETURN (n)"},
      {"RETURN*", "RETURN *"},
      {"RETURN distinctName", "RETURN DISTINCT Name"},
  };
  for (const auto& pair : pairs) {
    Outcome tight = parse_checked(pair[0]);
    Outcome spaced = parse_checked(pair[1]);
    ASSERT_TRUE(tight.ok) << "query: " << pair[0];
    EXPECT_EQ(render_shape(tight), render_shape(spaced)) << "query: " << pair[0];
  }
  Outcome aliased = parse_checked("RETURN n ASm");
  EXPECT_EQ(render_rule(aliased, Rule::variable, 1, 0), R"~(variable"m")~");
}

}  // namespace
}  // namespace morvane::parser
