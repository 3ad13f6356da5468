// Operands: the order in which atom tries its alternatives, and the compound operands with
// their children (count(*), calls, REDUCE, shortest paths, CASE, comprehensions, quantifiers,
// EXISTS, COUNT and COLLECT subqueries).
#include <gtest/gtest.h>

#include <string_view>

#include "recognizer_test_util.h"

namespace morvane::parser {
namespace {

using recognizer_test::ErrorRow;
using recognizer_test::TreeRow;
using recognizer_test::kAfterOperand;

// The atom alternative that each query's first operand takes.
TEST(RecognizerAtom, AlternativeOrder) {
  struct Row {
    std::string_view query;
    std::string_view alternative;
  };
  const Row rows[] = {
      {"RETURN count(*)", "count_star"},
      {"RETURN COUNT ( * )", "count_star"},
      {"RETURN count(x)", "function_invocation"},
      {"RETURN count { MATCH (m) RETURN m }", "count_subquery"},
      {"RETURN collect { MATCH (m) RETURN m.x }", "collect_subquery"},
      {"RETURN [x IN xs]", "list_comprehension"},
      {"RETURN [x IN [1, 2]]", "list_comprehension"},
      {"RETURN [x IN xs WHERE x > 1]", "list_comprehension"},
      {"RETURN [x IN xs | x * 2]", "list_comprehension"},
      {"RETURN [x INDEX]", "list_comprehension"},
      {"RETURN [x IN xs, 3]", "literal"},
      {"RETURN [(a)--(b)]", "literal"},
      {"RETURN []", "literal"},
      {"RETURN [(a)-->(b) | b.name]", "pattern_comprehension"},
      {"RETURN [(a)-[:R]->(b) WHERE b.x > 1 | b.name]", "pattern_comprehension"},
      {"RETURN reduce(acc = 0, x IN xs | acc + x)", "reduce_expression"},
      {"RETURN reduceX", "variable"},
      {"RETURN caseId", "variable"},
      {"RETURN shortestPath((a)-[*]-(b))", "shortest_path_call"},
      {"RETURN ALLSHORTESTPATHS((a)-->(b))", "shortest_path_call"},
      {"RETURN shortestPathX(a)", "function_invocation"},
      {"RETURN shortestPath()", "function_invocation"},
      {"RETURN shortestPathLength(p)", "function_invocation"},
      {"RETURN any(x IN xs WHERE x > 0)", "quantifier_expression"},
      {"RETURN all (x IN xs)", "quantifier_expression"},
      {"RETURN single(x IN xs)", "quantifier_expression"},
      {"RETURN None(x IN xs WHERE x)", "quantifier_expression"},
      {"RETURN any(xs)", "function_invocation"},
      {"RETURN singleton(x)", "function_invocation"},
      {"RETURN exists(n.prop)", "function_invocation"},
      {"RETURN EXISTS { (n)-[:R]->() }", "exists_subquery"},
      {"RETURN CASE WHEN a THEN 1 END", "case_expression"},
      {"RETURN $p", "parameter"},
      {"RETURN `nullCount`", "variable"},
      {"RETURN (a + b) * c", "parenthesized_expr"},
      {"RETURN (a)", "parenthesized_expr"},
      {"RETURN my.lib.join(xs, \",\")", "function_invocation"},
  };
  for (const Row& row : rows) {
    recognizer_test::Outcome outcome = recognizer_test::parse_checked(row.query);
    ASSERT_TRUE(outcome.ok) << "query: " << row.query << "\n" << outcome.error.display;
    std::size_t atom = 0;
    while (atom < outcome.pairs.size() && outcome.pairs[atom].rule != Rule::atom) ++atom;
    ASSERT_LT(atom + 1, outcome.pairs.size()) << "query: " << row.query;
    EXPECT_EQ(rule_name(outcome.pairs[atom + 1].rule), row.alternative) << "query: " << row.query;
  }
}

TEST(RecognizerAtom, CompoundShapes) {
  const TreeRow rows[] = {
      {"RETURN count(*)", Rule::count_star, 0, 1, R"~(count_star"count(*)")~"},
      {"RETURN count(x)", Rule::function_invocation, 0, 1,
       R"~(function_invocation"count(x)"{function_name"count" expression"x"})~"},
      {"RETURN count { MATCH (m) RETURN m }", Rule::count_subquery, 0, 1,
       R"~(count_subquery"count { MATCH (m) RETURN m }"{regular_query"MATCH (m) RETURN m "})~"},
      {"RETURN [x IN xs]", Rule::list_comprehension, 0, 2,
       R"~(list_comprehension"[x IN xs]"{filter_expression"x IN xs"{id_in_coll"x IN xs"}})~"},
      {"RETURN [x IN xs WHERE x > 1]", Rule::filter_expression, 0, 1,
       R"~(filter_expression"x IN xs WHERE x > 1"{id_in_coll"x IN xs " expression"x > 1"})~"},
      {"RETURN [x IN xs | x * 2]", Rule::list_comprehension, 0, 2,
       R"~(list_comprehension"[x IN xs | x * 2]"{filter_expression"x IN xs "{id_in_coll"x IN xs "} expression"x * 2"{or_expr"x * 2"}})~"},
      {"RETURN [x INDEX]", Rule::id_in_coll, 0, 1,
       R"~(id_in_coll"x INDEX"{variable"x" expression"DEX"})~"},
      {"RETURN [x IN xs, 3]", Rule::list_literal, 0, 1,
       R"~(list_literal"[x IN xs, 3]"{expression"x IN xs" expression"3"})~"},
      {"RETURN [(a)--(b)]", Rule::add_sub_expr, 1, 2,
       R"~(add_sub_expr"(a)--(b)"{mul_div_expr"(a)"{mod_expr"(a)"} mul_div_expr"-(b)"{mod_expr"-(b)"}})~"},
      {"RETURN []", Rule::list_literal, 0, 1, R"~(list_literal"[]")~"},
      {"RETURN [(a)-->(b) | b.name]", Rule::pattern_comprehension, 0, 1,
       R"~(pattern_comprehension"[(a)-->(b) | b.name]"{pattern_element"(a)-->(b)" expression"b.name"})~"},
      {"RETURN [(a)-->(b) WHERE b.x > 1 | b.name]", Rule::pattern_comprehension, 0, 1,
       R"~(pattern_comprehension"[(a)-->(b) WHERE b.x > 1 | b.name]"{pattern_element"(a)-->(b)" expression"b.x > 1 " expression"b.name"})~"},
      {"RETURN CASE WHEN a THEN 1 END", Rule::case_expression, 0, 1,
       R"~(case_expression"CASE WHEN a THEN 1 END"{expression"a " expression"1 "})~"},
      {"RETURN CASE x WHEN 1 THEN \"a\" ELSE \"b\" END", Rule::case_expression, 0, 1,
       R"~(case_expression"CASE x WHEN 1 THEN \"a\" ELSE \"b\" END"{expression"x " expression"1 " expression"\"a\" " expression"\"b\" "})~"},
      {"RETURN CASE whenever WHEN 1 THEN 2 END", Rule::case_expression, 0, 1,
       R"~(case_expression"CASE whenever WHEN 1 THEN 2 END"{expression"whenever " expression"1 " expression"2 "})~"},
      {"RETURN CASE /* c */ WHEN a THEN b ELSE c END", Rule::case_expression, 0, 1,
       R"~(case_expression"CASE /* c */ WHEN a THEN b ELSE c END"{expression"a " expression"b " expression"c "})~"},
      {"RETURN CASE x WHEN (1) THEN 2 END", Rule::case_expression, 0, 1,
       R"~(case_expression"CASE x WHEN (1) THEN 2 END"{expression"x " expression"(1) " expression"2 "})~"},
      {"RETURN reduce(acc = 0, x IN xs | acc + x)", Rule::reduce_expression, 0, 1,
       R"~(reduce_expression"reduce(acc = 0, x IN xs | acc + x)"{variable"acc" expression"0" variable"x" expression"xs " expression"acc + x"})~"},
      {"RETURN shortestPath((a)-[*]-(b))", Rule::shortest_path_call, 0, 1,
       R"~(shortest_path_call"shortestPath((a)-[*]-(b))"{node_pattern"(a)" relationship_pattern"-[*]-" node_pattern"(b)"})~"},
      {"RETURN ALLSHORTESTPATHS((a)-->(b))", Rule::shortest_path_call, 0, 1,
       R"~(shortest_path_call"ALLSHORTESTPATHS((a)-->(b))"{node_pattern"(a)" relationship_pattern"-->" node_pattern"(b)"})~"},
      {"RETURN any(x IN xs WHERE x > 0)", Rule::quantifier_expression, 0, 2,
       R"~(quantifier_expression"any(x IN xs WHERE x > 0)"{filter_expression"x IN xs WHERE x > 0"{id_in_coll"x IN xs " expression"x > 0"}})~"},
      {"MATCH (n) WHERE EXISTS { (n)-[:R]->() } RETURN n", Rule::exists_subquery, 0, 1,
       R"~(exists_subquery"EXISTS { (n)-[:R]->() }"{pattern"(n)-[:R]->() "})~"},
      {"RETURN f(DISTINCT a, b)", Rule::function_invocation, 0, 1,
       R"~(function_invocation"f(DISTINCT a, b)"{function_name"f" expression"a" expression"b"})~"},
      {"RETURN f( /* c */ DISTINCT x)", Rule::function_invocation, 0, 1,
       R"~(function_invocation"f( /* c */ DISTINCT x)"{function_name"f" expression"x"})~"},
      {"RETURN count(distinctX)", Rule::function_invocation, 0, 1,
       R"~(function_invocation"count(distinctX)"{function_name"count" expression"X"})~"},
      {"RETURN count(distinction)", Rule::function_invocation, 0, 1,
       R"~(function_invocation"count(distinction)"{function_name"count" expression"ion"})~"},
      {"RETURN f()", Rule::function_invocation, 0, 1,
       R"~(function_invocation"f()"{function_name"f"})~"},
      {"RETURN count(DISTINCT)", Rule::function_invocation, 0, 1,
       R"~(function_invocation"count(DISTINCT)"{function_name"count"})~"},
      {"RETURN my.lib.join(xs, \",\")", Rule::function_name, 0, 0,
       R"~(function_name"my.lib.join")~"},
      {"RETURN (a + b) * c", Rule::parenthesized_expr, 0, 1,
       R"~(parenthesized_expr"(a + b)"{expression"a + b"})~"},
      {"RETURN 1 AS nullCount", Rule::variable, 0, 0, R"~(variable"nullCount")~"},
  };
  recognizer_test::expect_trees(rows);
}

TEST(RecognizerAtom, Accepted) {
  const std::string_view accepted[] = {
      "RETURN CASE WHEN a = 1 THEN 1 END",
      "RETURN CASE x WHEN (1) THEN 2 END",
      "RETURN EXISTS { (a)-->(b), (b)-->(c) }",
      "RETURN COUNT { MATCH (n)-->(m) }",
      "RETURN COLLECT { MATCH (n) RETURN n.x UNION MATCH (m) RETURN m.x }",
      "RETURN COUNT { MATCH (n) WITH n MATCH (n)-->(m) RETURN m }",
      "RETURN CASE WHEN a THEN 1 WHEN b THEN 2 ELSE 3 END",
      "RETURN [x IN range(1, 10) WHERE x % 2 = 0 | x ^ 2]",
      "RETURN REDUCE ( s = '' , w IN words | s + w )",
  };
  recognizer_test::expect_accepted(accepted);
}

TEST(RecognizerAtom, Errors) {
  const std::string_view refused[] = {
      "RETURN nullCount",
      "RETURN count",
      "RETURN (a, b)",
      "RETURN n {.name}",
      "RETURN falsey",
      "RETURN nullif(a, b)",
      "RETURN count(DISTINCT *)",
      "RETURN CASE WHEN (a = 1) THEN 1 END",
      "RETURN CASE WHEN(a) THEN 1 END",
      "RETURN EXISTS { MATCH (n) RETURN n }",
      "MATCH (n), (m) WHERE (n)-[:R]->(m) RETURN n",
      "RETURN reduce(acc = 0, x IN xs |)",
      "RETURN [(a)-->(b) WHERE b.x]",
      "RETURN COUNT {}",
      "RETURN COLLECT { }",
      "RETURN shortestPath(p = (a)-->(b))",
  };
  recognizer_test::expect_refused(refused);
  const ErrorRow rows[] = {
      {"RETURN COUNT { (n)-->() }", 1, 16, "expected single_query"},
      {"RETURN CASE WHEN a THEN", 1, 24, "expected not_expr"},
      {"RETURN CASE x END", 1, 15, kAfterOperand},
      {"RETURN [(a)-->(b)]", 1, 18, ""},
      {"RETURN count", 1, 8, "expected not_expr"},
  };
  recognizer_test::expect_errors(rows);
}

}  // namespace
}  // namespace morvane::parser
