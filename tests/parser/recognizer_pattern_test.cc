// Graph patterns: nodes, relationships with their types, ranges and properties, chains, path
// variables and comma-separated patterns.
#include <gtest/gtest.h>

#include <string_view>

#include "recognizer_test_util.h"

namespace morvane::parser {
namespace {

using recognizer_test::ErrorRow;
using recognizer_test::TreeRow;
using recognizer_test::kAfterOperand;

// Expected at a position after a complete pattern element in MATCH.
constexpr std::string_view kAfterMatchNode =
    "expected EOI, union_clause, reading_clause, updating_clause, with_clause, return_clause, "
    "where_clause, or left_arrow";

TEST(RecognizerPattern, PairShapes) {
  const TreeRow rows[] = {
      {"MATCH (a)<-[r:A|B|:C*1..3 {x: 1}]->(b) RETURN a", Rule::relationship_pattern, 0, 2,
       R"~(relationship_pattern"<-[r:A|B|:C*1..3 {x: 1}]->"{left_arrow"<" variable"r" rel_types":A|B|:C"{rel_type_name"A" rel_type_name"B" rel_type_name"C"} range_literal"*1..3"{integer_literal"1" integer_literal"3"} properties"{x: 1}"{map_literal"{x: 1}"} right_arrow">"})~"},
      {"MATCH (a)--(b)--(c), (d), e = (f) RETURN a", Rule::pattern, 0, 2,
       R"~(pattern"(a)--(b)--(c), (d), e = (f) "{pattern_part"(a)--(b)--(c)"{pattern_element"(a)--(b)--(c)"} pattern_part"(d)"{pattern_element"(d)"} pattern_part"e = (f) "{variable"e" pattern_element"(f) "}})~"},
      {"MATCH (a)--(b)--(c), (d), e = (f) RETURN a", Rule::pattern_element, 0, 1,
       R"~(pattern_element"(a)--(b)--(c)"{node_pattern"(a)" relationship_pattern"--" node_pattern"(b)" relationship_pattern"--" node_pattern"(c)"})~"},
      {"MATCH (a) RETURN a", Rule::pattern, 0, 3,
       R"~(pattern"(a) "{pattern_part"(a) "{pattern_element"(a) "{node_pattern"(a)"}}})~"},
      {"MATCH (a)-[:R]->(b) RETURN a", Rule::pattern, 0, -1,
       R"~(pattern"(a)-[:R]->(b) "{pattern_part"(a)-[:R]->(b)"{pattern_element"(a)-[:R]->(b)"{node_pattern"(a)"{variable"a"} relationship_pattern"-[:R]->"{rel_types":R"{rel_type_name"R"} right_arrow">"} node_pattern"(b)"{variable"b"}}}})~"},
      {"MATCH p = shortestPath((a)-[*]-(b)) RETURN p", Rule::pattern_element, 0, 1,
       R"~(pattern_element"shortestPath((a)-[*]-(b))"{shortest_path_call"shortestPath((a)-[*]-(b))"})~"},
      {"MATCH (a $props) RETURN a", Rule::properties, 0, 1,
       R"~(properties"$props"{parameter"$props"})~"},
      {"MATCH (n:Person {name: 'x'}) RETURN n", Rule::node_pattern, 0, 1,
       R"~(node_pattern"(n:Person {name: 'x'})"{variable"n" node_labels":Person " properties"{name: 'x'}"})~"},
      {"MATCH () RETURN 1", Rule::node_pattern, 0, 1, R"~(node_pattern"()")~"},
      {"MATCH (n : Person :Admin) RETURN n", Rule::node_labels, 0, 1,
       R"~(node_labels": Person :Admin"{label_name"Person" label_name"Admin"})~"},
  };
  recognizer_test::expect_trees(rows);
}

TEST(RecognizerPattern, TrailingSkipInTexts) {
  const TreeRow rows[] = {
      {"MATCH (a)-[r]- (b) RETURN a", Rule::relationship_pattern, 0, 0,
       R"~(relationship_pattern"-[r]- ")~"},
      {"MATCH (a)-[r : A ]-(b) RETURN a", Rule::rel_types, 0, 0, R"~(rel_types": A ")~"},
      {"MATCH (a)-[* ]->(b) RETURN a", Rule::range_literal, 0, 1, R"~(range_literal"* ")~"},
      {"MATCH (a)-[*2 ]->(b) RETURN a", Rule::range_literal, 0, 1,
       R"~(range_literal"*2 "{integer_literal"2"})~"},
      {"MATCH (a)-[*2.. ]->(b) RETURN a", Rule::range_literal, 0, 1,
       R"~(range_literal"*2.. "{integer_literal"2"})~"},
      {"MATCH (a)-[*1 .. 3 ]->(b) RETURN a", Rule::range_literal, 0, 1,
       R"~(range_literal"*1 .. 3"{integer_literal"1" integer_literal"3"})~"},
      {"MATCH (a)-[r:KNOWS*]->(b) RETURN a", Rule::range_literal, 0, 1,
       R"~(range_literal"*")~"},
      {"MATCH (a)-[*2..]->(b) RETURN a", Rule::range_literal, 0, 1,
       R"~(range_literal"*2.."{integer_literal"2"})~"},
      {"MATCH (a)-[*0x2..0o7]->(b) RETURN a", Rule::range_literal, 0, 1,
       R"~(range_literal"*0x2..0o7"{integer_literal"0x2" integer_literal"0o7"})~"},
      {"MATCH (a) - [ r : A ] - > (b) RETURN a", Rule::relationship_pattern, 0, 1,
       R"~(relationship_pattern"- [ r : A ] - >"{variable"r" rel_types": A " right_arrow">"})~"},
      {"MATCH (n {k: 1} ) RETURN n", Rule::properties, 0, 0, R"~(properties"{k: 1}")~"},
  };
  recognizer_test::expect_trees(rows);
}

TEST(RecognizerPattern, AcceptedForms) {
  const std::string_view accepted[] = {
      "MATCH () RETURN 1",
      "MATCH (n:L:L) RETURN n",
      "MATCH (a)-->(b) RETURN a",
      "MATCH (a)<--(b) RETURN a",
      "MATCH (a)--(b) RETURN a",
      "MATCH (a)<-->(b) RETURN a",
      "MATCH (a)<-[r]->(b) RETURN a",
      "MATCH (a)-[:A|:B]->(b) RETURN a",
      "MATCH (a)-[:A | : B]->(b) RETURN a",
      "MATCH (a)-[*3]->(b) RETURN a",
      "MATCH (a)-[r $p]->(b) RETURN a",
      "MATCH (a)-[]->(b) RETURN a",
      "MATCH p=(a) RETURN p",
      "MATCH (a) /* c */ -[ /* c */ r]-> /* c */ (b) RETURN a",
      "MATCH (a)-[r:`LIKES \u2764`]->(b:`\u00c9tudiant`) RETURN a",
  };
  recognizer_test::expect_accepted(accepted);
}

TEST(RecognizerPattern, Errors) {
  const ErrorRow rows[] = {
      {"MATCH a RETURN a", 1, 7, "expected pattern_element"},
      {"MATCH (a)-[r:]->(b) RETURN a", 1, 14, "expected rel_type_name"},
      {"MATCH (a)-[r]>(b) RETURN a", 1, 13, "expected rel_types, range_literal, or properties"},
      {"MATCH (n {k:1}:L) RETURN n", 1, 14, kAfterOperand},
      {"MATCH (a)-[r {w:1} :A]-(b) RETURN a", 1, 18, kAfterOperand},
      {"MATCH (a)-[r]-->(b) RETURN a", 1, 15, "expected node_pattern or right_arrow"},
      {"MATCH (a)-[*..3]->(b) RETURN a", 1, 13, "expected properties or integer_literal"},
      {"MATCH (a)-[*1.5]->(b) RETURN a", 1, 14, "expected properties"},
      {"MATCH (:L n) RETURN n", 1, 11, "expected properties"},
      {"MATCH (a)- -(b) RETURN a", 1, 10, kAfterMatchNode},
      {"MATCH (a)-(b) RETURN a", 1, 10, kAfterMatchNode},
      {"MATCH (a)->(b) RETURN a", 1, 10, kAfterMatchNode},
      {"MATCH (a)<-(b) RETURN a", 1, 10,
       "expected EOI, union_clause, reading_clause, updating_clause, with_clause, "
       "return_clause, where_clause, or relationship_pattern"},
      {"MATCH (a)-[r]-", 1, 15, "expected node_pattern or right_arrow"},
      {"MATCH (a)-[r:A|]->(b) RETURN a", 1, 16, "expected rel_type_name"},
  };
  recognizer_test::expect_errors(rows);
}

}  // namespace
}  // namespace morvane::parser
