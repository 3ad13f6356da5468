// Patterns: node and relationship shapes, directions read from the arrows, variable-length
// ranges read from text, property maps and parameters.
#include <gtest/gtest.h>

#include <string>

#include "builder_test_util.h"

namespace morvane::parser {
namespace {

using builder_test::expect_rows;
using builder_test::pattern_tree;
using builder_test::Row;

TEST(BuildPattern, Shapes) {
  const Row rows[] = {
      {"(n)", "Path{Node n}"},
      {"()", "Path{Node}"},
      {"(n:A:B)", "Path{Node n:A:B}"},
      {"(n:L:L)", "Path{Node n:L:L}"},
      {"(n : Person :Admin)", "Path{Node n:Person:Admin}"},
      {"(:`My Label`)", "Path{Node :`My Label`}"},
      {"p = (a)-[:KNOWS*1..3]->(b)", "Path p{Node a, Rel Outgoing :KNOWS *1..3, Node b}"},
      {"(a)-[r]->(b)<-[s]-(c)", "Path{Node a, Rel Outgoing r, Node b, Rel Incoming s, Node c}"},
      {"(a)--(b)--(c), (d), e = (f)",
       "Path{Node a, Rel Undirected, Node b, Rel Undirected, Node c}, Path{Node d}, Path e{Node "
       "f}"},
      {"(a)-[:X|:Y|Z]->(b)", "Path{Node a, Rel Outgoing :X|Y|Z, Node b}"},
      {"(a)-[r:A|B|:C*1..3 {x: 1}]->(b)",
       "Path{Node a, Rel Outgoing r:A|B|C *1..3{Properties{Key x{Integer 1}}}, Node b}"},
      {"(a) - [ r : A ] - > (b)", "Path{Node a, Rel Outgoing r:A, Node b}"},
      // shortestPath in a pattern leaves only its inner path.
      {"p = allShortestPaths((a)-[:KNOWS*]-(b))", "Path p{Node a, Rel Undirected :KNOWS *.., Node b}"},
      {"p = (a)-[:KNOWS*]-(b)", "Path p{Node a, Rel Undirected :KNOWS *.., Node b}"},
      {"shortestPath((a)-->(b)-->(c))", "Path{Node a, Rel Outgoing, Node b, Rel Outgoing, Node c}"},
  };
  expect_rows(rows, pattern_tree);
}

TEST(BuildPattern, DirectionFromArrows) {
  const Row rows[] = {
      {"(a)-[r:T]->(b)", "Path{Node a, Rel Outgoing r:T, Node b}"},
      {"(a)-->(b)", "Path{Node a, Rel Outgoing, Node b}"},
      {"(a)<-[r]-(b)", "Path{Node a, Rel Incoming r, Node b}"},
      {"(a)<--(b)", "Path{Node a, Rel Incoming, Node b}"},
      // Heads at both ends: the leading "<" decides.
      {"(a)<-[r]->(b)", "Path{Node a, Rel Incoming r, Node b}"},
      {"(a)<-->(b)", "Path{Node a, Rel Incoming, Node b}"},
      {"(a)-[r]-(b)", "Path{Node a, Rel Undirected r, Node b}"},
      {"(a)--(b)", "Path{Node a, Rel Undirected, Node b}"},
      // The relationship's text ends with the blank after its last dash.
      {"(a)-[r]- (b)", "Path{Node a, Rel Undirected r, Node b}"},
      {"(a)-- /* > */ (b)", "Path{Node a, Rel Undirected, Node b}"},
      {"(a)-[r]- >(b)", "Path{Node a, Rel Outgoing r, Node b}"},
  };
  expect_rows(rows, pattern_tree);
}

TEST(BuildPattern, RangesReadFromText) {
  const Row rows[] = {
      {"(a)-[*]->(b)", "Path{Node a, Rel Outgoing *.., Node b}"},
      {"(a)-[* ]->(b)", "Path{Node a, Rel Outgoing *.., Node b}"},
      {"(a)-[*3]->(b)", "Path{Node a, Rel Outgoing *3..3, Node b}"},
      {"(a)-[*3 ]->(b)", "Path{Node a, Rel Outgoing *3..3, Node b}"},
      {"(a)-[*1..]->(b)", "Path{Node a, Rel Outgoing *1.., Node b}"},
      {"(a)-[*1..3]->(b)", "Path{Node a, Rel Outgoing *1..3, Node b}"},
      {"(a)-[* 2 .. 5]->(b)", "Path{Node a, Rel Outgoing *2..5, Node b}"},
      {"(a)-[*5..2]->(b)", "Path{Node a, Rel Outgoing *5..2, Node b}"},
      {"(a)-[*007..010]->(b)", "Path{Node a, Rel Outgoing *7..10, Node b}"},
      {"(a)-[*9223372036854775807]->(b)",
       "Path{Node a, Rel Outgoing *9223372036854775807..9223372036854775807, Node b}"},
      // Bounds that do not read as decimal 64-bit integers are absent.
      {"(a)-[*99999999999999999999]->(b)", "Path{Node a, Rel Outgoing *.., Node b}"},
      {"(a)-[*1..99999999999999999999]->(b)", "Path{Node a, Rel Outgoing *1.., Node b}"},
      {"(a)-[*0x1F]->(b)", "Path{Node a, Rel Outgoing *.., Node b}"},
      {"(a)-[*0x2..0o7]->(b)", "Path{Node a, Rel Outgoing *.., Node b}"},
      {"(a)-[*2..0o7]->(b)", "Path{Node a, Rel Outgoing *2.., Node b}"},
      // A comment inside the range text, or right after a one-bound range, spoils the bound.
      {"(a)-[*3 /* c */]->(b)", "Path{Node a, Rel Outgoing *.., Node b}"},
      {"(a)-[*2.. /* c */]->(b)", "Path{Node a, Rel Outgoing *2.., Node b}"},
      {"(a)-[*1 .. /* c */ 3]->(b)", "Path{Node a, Rel Outgoing *1.., Node b}"},
      {"(a)-[r:T*2 {w: 1}]->(b)",
       "Path{Node a, Rel Outgoing r:T *2..2{Properties{Key w{Integer 1}}}, Node b}"},
      {"(a)-[r]->(b)", "Path{Node a, Rel Outgoing r, Node b}"},
  };
  expect_rows(rows, pattern_tree);
}

TEST(BuildPattern, PropertiesAndParameters) {
  const Row rows[] = {
      // A repeated key keeps the place where it was first written and the last value.
      {"(n:A:B {k: 1, k: 2})", "Path{Node n:A:B{Properties{Key k{Integer 2}}}}"},
      {"({b: 1, a: 2, b: 3, c: 4})",
       "Path{Node{Properties{Key b{Integer 3}, Key a{Integer 2}, Key c{Integer 4}}}}"},
      {"({`k`: 1, k: 2})", "Path{Node{Properties{Key `k`{Integer 1}, Key k{Integer 2}}}}"},
      {"({})", "Path{Node{Properties}}"},
      {"(n $p)", "Path{Node n{Properties $p}}"},
      {"(n $1)", "Path{Node n{Properties $1}}"},
      {"(a)-[r:T|:U $q]->(b)", "Path{Node a, Rel Outgoing r:T|U{Properties $q}, Node b}"},
      {"(n {v: [x IN xs | x.k]})",
       "Path{Node n{Properties{Key v{ListComprehension x{In{Variable xs}, "
       "Projection{PropertyAccess k{Variable x}}}}}}}"},
  };
  expect_rows(rows, pattern_tree);
}

// Maps beyond the size where repeated keys are found by direct comparison.
TEST(BuildPattern, LargeMapsKeepFirstWrittenOrder) {
  std::string map;
  std::string expected;
  for (int i = 0; i < 40; ++i) {
    if (i > 0) map += ", ";
    map += "k" + std::to_string(i % 30) + ": " + std::to_string(i);
  }
  for (int i = 0; i < 30; ++i) {
    if (i > 0) expected += ", ";
    const int last = i < 10 ? i + 30 : i;
    expected += "Key k" + std::to_string(i) + "{Integer " + std::to_string(last) + "}";
  }
  EXPECT_EQ(pattern_tree("({" + map + "})"), "Path{Node{Properties{" + expected + "}}}") << map;
}

}  // namespace
}  // namespace morvane::parser
