// Reading and updating clauses: MATCH, UNWIND, CALL subqueries and procedure calls with YIELD,
// CREATE, MERGE with ON actions, SET, REMOVE, DELETE and FOREACH.
#include <gtest/gtest.h>

#include <string_view>

#include "recognizer_test_util.h"

namespace morvane::parser {
namespace {

using recognizer_test::ErrorRow;
using recognizer_test::Outcome;
using recognizer_test::TreeRow;
using recognizer_test::parse_checked;
using recognizer_test::render_shape;

TEST(RecognizerClause, Accepted) {
  const std::string_view accepted[] = {
      "OPTIONAL MATCH (n) RETURN n",
      "optional match (n) return n",
      "optionalmatch (n)",
      "UNWIND xs ASx RETURN x",
      "CALL { MATCH (n) RETURN n } RETURN 1",
      "CALL { CREATE (n) } RETURN 1",
      "CALL { RETURN 1 UNION RETURN 2 }",
      "CALL { WITH 1 AS x RETURN x }",
      "CALL db.labels()",
      "CALL db.labels() YIELD label RETURN label",
      "CALL db.labels() YIELD label MATCH (n) RETURN n",
      "MATCH (n) CALL db.labels() YIELD label RETURN label",
      "CALL proc (1, $p, 'a')",
      "CALL util.`create`.node()",
      "CALLdb.labels()",
      "FOREACH (x IN xs | FOREACH (y IN x | DELETE y))",
      "FOREACH (x INxs | DELETE x)",
      "CREATE (a), (b)",
      "MERGE (a)-[:R]->(b)",
      "MERGE (n) ON MATCH SET n.a = 1, n.b = 2 ON CREATE SET n.c = 3",
      "MERGE (n) ONCREATE SET n.a = 1",
      "SET n :A",
      "SET n: A",
      "SET n . x = 1",
      "SETn.x = 1",
      "DELETE n",
      "DETACH DELETE n, r",
      "detach delete n",
      "DETACHDELETE n",
      "CREATE (n) SET n.x = 1 REMOVE n:L DELETE n RETURN 1",
      "MATCH (n) OPTIONAL MATCH (n)-->(m) WHERE m.x = 1 UNWIND [1] AS x CALL { RETURN 1 AS y } "
      "CALL p() CREATE (k) MERGE (k)-->(l) SET k.a = 1 REMOVE k.b DELETE l RETURN n",
  };
  recognizer_test::expect_accepted(accepted);
}

TEST(RecognizerClause, PairShapes) {
  const TreeRow rows[] = {
      {"MATCH (n) WHERE n.x = 1 RETURN n", Rule::match_clause, 0, 1,
       R"~(match_clause"MATCH (n) WHERE n.x = 1 "{pattern"(n) " where_clause"WHERE n.x = 1 "})~"},
      {"MATCH (a), (b) RETURN a", Rule::pattern, 0, 1,
       R"~(pattern"(a), (b) "{pattern_part"(a)" pattern_part"(b) "})~"},
      {"MATCH (n) RETURN n", Rule::match_clause, 0, 0, R"~(match_clause"MATCH (n) ")~"},
      {"UNWIND [1,2] AS x RETURN x", Rule::unwind_clause, 0, 1,
       R"~(unwind_clause"UNWIND [1,2] AS x"{expression"[1,2] " variable"x"})~"},
      {"UNWIND xs ASx RETURN x", Rule::unwind_clause, 0, 1,
       R"~(unwind_clause"UNWIND xs ASx"{expression"xs " variable"x"})~"},
      {"CALL { MATCH (n) RETURN n } RETURN 1", Rule::reading_clause, 0, 2,
       R"~(reading_clause"CALL { MATCH (n) RETURN n }"{call_subquery"CALL { MATCH (n) RETURN n }"{regular_query"MATCH (n) RETURN n "}})~"},
      {"CALL db.labels()", Rule::single_part_query, 0, 3,
       R"~(single_part_query"CALL db.labels()"{reading_clause"CALL db.labels()"{in_query_call"CALL db.labels()"{explicit_procedure_invocation"db.labels()"}}})~"},
      {"CALL db.labels() YIELD label AS l, x", Rule::yield_items, 0, 2,
       R"~(yield_items"label AS l, x"{yield_item"label AS l"{procedure_result_field"label" variable"l"} yield_item"x"{variable"x"}})~"},
      {"CALL proc (1, $p, 'a')", Rule::explicit_procedure_invocation, 0, 1,
       R"~(explicit_procedure_invocation"proc (1, $p, 'a')"{procedure_name"proc" expression"1" expression"$p" expression"'a'"})~"},
      {"FOREACH (x IN [1,2] | CREATE (:N {v: x}))", Rule::foreach_clause, 0, 1,
       R"~(foreach_clause"FOREACH (x IN [1,2] | CREATE (:N {v: x}))"{variable"x" expression"[1,2] " updating_clause"CREATE (:N {v: x})"})~"},
      {"FOREACH (x IN xs | SET x.a = 1 REMOVE x.b)", Rule::foreach_clause, 0, 1,
       R"~(foreach_clause"FOREACH (x IN xs | SET x.a = 1 REMOVE x.b)"{variable"x" expression"xs " updating_clause"SET x.a = 1 " updating_clause"REMOVE x.b"})~"},
      {"MERGE (n) ON CREATE SET n.c = 1 ON MATCH SET n.m = 2", Rule::merge_clause, 0, 1,
       R"~(merge_clause"MERGE (n) ON CREATE SET n.c = 1 ON MATCH SET n.m = 2"{pattern_part"(n) " on_match_or_create"ON CREATE SET n.c = 1 " on_match_or_create"ON MATCH SET n.m = 2"})~"},
      {"MERGE (n) ON CREATE SET n.a = 1 SET n.b = 2", Rule::single_part_query, 0, 1,
       R"~(single_part_query"MERGE (n) ON CREATE SET n.a = 1 SET n.b = 2"{updating_clause"MERGE (n) ON CREATE SET n.a = 1 " updating_clause"SET n.b = 2"})~"},
      {"SET n.x = 1", Rule::set_item, 0, 1,
       R"~(set_item"n.x = 1"{property_expression"n.x " expression"1"})~"},
      {"SET n.a.b = 1", Rule::property_expression, 0, 1,
       R"~(property_expression"n.a.b"{variable"n" property_lookup".a" property_lookup".b"})~"},
      {"SET n = {a: 1}", Rule::set_item, 0, 1,
       R"~(set_item"n = {a: 1}"{variable"n" expression"{a: 1}"})~"},
      {"SET n += $p", Rule::set_item, 0, 1, R"~(set_item"n += $p"{variable"n" expression"$p"})~"},
      {"SET n:Label", Rule::set_item, 0, 1,
       R"~(set_item"n:Label"{variable"n" node_labels":Label"})~"},
      {"SET n:A:B", Rule::set_item, 0, 1, R"~(set_item"n:A:B"{variable"n" node_labels":A:B"})~"},
      {"SET n.x = 1, n:L, m += $p", Rule::set_clause, 0, 2,
       R"~(set_clause"SET n.x = 1, n:L, m += $p"{set_item"n.x = 1"{property_expression"n.x " expression"1"} set_item"n:L"{variable"n" node_labels":L"} set_item"m += $p"{variable"m" expression"$p"}})~"},
      {"REMOVE n.x", Rule::remove_item, 0, 1,
       R"~(remove_item"n.x"{property_expression"n.x"})~"},
      {"REMOVE n:Label", Rule::remove_item, 0, 1,
       R"~(remove_item"n:Label"{variable"n" node_labels":Label"})~"},
      {"REMOVE n:A:B, n.x", Rule::remove_clause, 0, 1,
       R"~(remove_clause"REMOVE n:A:B, n.x"{remove_item"n:A:B" remove_item"n.x"})~"},
      {"DETACH DELETE n, r", Rule::delete_clause, 0, 1,
       R"~(delete_clause"DETACH DELETE n, r"{expression"n" expression"r"})~"},
      {"CREATE (a), (b)", Rule::create_clause, 0, 1,
       R"~(create_clause"CREATE (a), (b)"{pattern"(a), (b)"})~"},
  };
  recognizer_test::expect_trees(rows);
  Outcome glued = parse_checked("DETACHDELETE n");
  Outcome spaced = parse_checked("DETACH DELETE n");
  EXPECT_EQ(render_shape(glued), render_shape(spaced));
}

TEST(RecognizerClause, Errors) {
  const std::string_view refused[] = {
      "OPTIONAL UNWIND [1] AS x",
      "UNWIND [1] x",
      "UNWIND [1]",
      "CALL {}",
      "CALL db.labels",
      "CALL db . labels()",
      "MERGE (n) ON CREATE n.a = 1",
      "SET n.x += 1",
      "SET n.x",
      "REMOVE n",
      "DETACH n",
      "DELETE",
      "CALL db.labels() YIELD *",
      "CALL db.labels() YIELD label WHERE label = 1 RETURN label",
      "FOREACH (x IN xs | RETURN x)",
      "FOREACH (x IN xs | CREATE (n) WITH n)",
      "MERGE (a)-->(b), (c)",
      "CREATE (n) UNWIND [1] AS x RETURN x",
  };
  recognizer_test::expect_refused(refused);
  const ErrorRow rows[] = {
      {"CALL db.labels() YIELD *", 1, 24, ""},
      {"CALL db.labels() YIELD label WHERE label = 1 RETURN label", 1, 30, ""},
      {"CALL db.labels() YIELD count AS c", 1, 24, ""},
      {"CALL util.create.node()", 1, 6, "expected explicit_procedure_invocation"},
      {"CALL db.labels", 1, 6, "expected explicit_procedure_invocation"},
      {"CALL db . labels()", 1, 6, "expected explicit_procedure_invocation"},
      {"FOREACH (x IN xs | )", 1, 20, "expected updating_clause"},
      {"FOREACH (x IN xs | MATCH (n))", 1, 20, "expected updating_clause"},
      {"MERGE (a), (b)", 1, 10,
       "expected EOI, union_clause, updating_clause, on_match_or_create, with_clause, "
       "return_clause, or left_arrow"},
      {"UNWIND [1] AS x CREATE (n) MATCH (m)", 1, 28, ""},
      {"CALL {}", 1, 7, "expected single_query"},
      {"UNWIND [1] x", 1, 12, ""},
  };
  recognizer_test::expect_errors(rows);
}

}  // namespace
}  // namespace morvane::parser
