// Query structure, projections and clauses: the shapes the builder gives whole queries, and the
// flags it reads from pair texts (DISTINCT, ALL, DESC, OPTIONAL, DETACH, ON MATCH, +=).
#include <gtest/gtest.h>

#include "builder_test_util.h"

namespace morvane::parser {
namespace {

using builder_test::expect_rows;
using builder_test::Row;
using builder_test::tree;

TEST(BuildQuery, QueryShapes) {
  const Row rows[] = {
      {"MATCH (n:Person) RETURN n",
       "Regular{SinglePart{Match{Path{Node n:Person}}, Return{Item{Variable n}}}}"},
      // RETURN * and WITH * give empty item lists.
      {"MATCH (n) RETURN *", "Regular{SinglePart{Match{Path{Node n}}, Return}}"},
      {"RETURN  *", "Regular{SinglePart{Return}}"},
      {"MATCH (n) WITH * RETURN n",
       "Regular{MultiPart{QueryPart{Match{Path{Node n}}, With}, Return{Item{Variable n}}}}"},
      {"CREATE (n:Person {name: 'x'})",
       "Regular{SinglePart{Create{Path{Node n:Person{Properties{Key name{String \"x\"}}}}}}}"},
      {"MATCH (a) WITH a MATCH (a)-->(b) RETURN b",
       "Regular{MultiPart{QueryPart{Match{Path{Node a}}, With{Item{Variable a}}}, "
       "Match{Path{Node a, Rel Outgoing, Node b}}, Return{Item{Variable b}}}}"},
      {"MATCH (n) WITH n", "Regular{MultiPart{QueryPart{Match{Path{Node n}}, With{Item{Variable n}}}}}"},
      {"MATCH (n) WITH n WITH n RETURN n",
       "Regular{MultiPart{QueryPart{Match{Path{Node n}}, With{Item{Variable n}}}, "
       "QueryPart{With{Item{Variable n}}}, Return{Item{Variable n}}}}"},
      // Clauses before the first WITH, between WITHs and after the last one.
      {"CREATE (b) WITH b MATCH (a) SET a.x = 1 WITH a UNWIND [1] AS y DELETE a",
       "Regular{MultiPart{QueryPart{Create{Path{Node b}}, With{Item{Variable b}}}, "
       "QueryPart{Match{Path{Node a}}, Set{SetProperty a.x{Integer 1}}, With{Item{Variable a}}}, "
       "Unwind y{List{Integer 1}}, Delete{Variable a}}}"},
      {"MATCH (n) WITH n.x AS x ORDER BY x DESC SKIP 1 LIMIT 2 WHERE x > 0 RETURN x",
       "Regular{MultiPart{QueryPart{Match{Path{Node n}}, With{Item AS x{PropertyAccess x{Variable "
       "n}}, OrderBy{Sort desc{Variable x}}, Skip{Integer 1}, Limit{Integer 2}, "
       "Where{GreaterThan{Variable x, Integer 0}}}}, Return{Item{Variable x}}}}"},
      {"MATCH (n) WITH n AS m WHERE m.x = 1 RETURN m",
       "Regular{MultiPart{QueryPart{Match{Path{Node n}}, With{Item AS m{Variable n}, "
       "Where{Equal{PropertyAccess x{Variable m}, Integer 1}}}}, Return{Item{Variable m}}}}"},
      {"MATCH (n) WITH DISTINCT n.x AS x ORDER BY x SKIP 2 LIMIT 5 RETURN x",
       "Regular{MultiPart{QueryPart{Match{Path{Node n}}, With distinct{Item AS x{PropertyAccess "
       "x{Variable n}}, OrderBy{Sort asc{Variable x}}, Skip{Integer 2}, Limit{Integer 5}}}, "
       "Return{Item{Variable x}}}}"},
      {"RETURN n SKIP $s LIMIT 2 + 3",
       "Regular{SinglePart{Return{Item{Variable n}, Skip{Parameter s}, Limit{Add{Integer 2, "
       "Integer 3}}}}}"},
      {"MATCH (a) RETURN a UNION ALL MATCH (b) RETURN b UNION MATCH (c) RETURN c",
       "Regular{SinglePart{Match{Path{Node a}}, Return{Item{Variable a}}}, "
       "Union all{SinglePart{Match{Path{Node b}}, Return{Item{Variable b}}}}, "
       "Union{SinglePart{Match{Path{Node c}}, Return{Item{Variable c}}}}}"},
      {"MATCH (n) WITH n RETURN n UNION RETURN 1 AS n",
       "Regular{MultiPart{QueryPart{Match{Path{Node n}}, With{Item{Variable n}}}, "
       "Return{Item{Variable n}}}, Union{SinglePart{Return{Item AS n{Integer 1}}}}}"},
      // A query that is only a procedure call is a regular query with one reading clause.
      {"CALL db.labels() YIELD label", "Regular{SinglePart{Call db.labels{Yield label}}}"},
      {"CALL db.labels() YIELD name AS n", "Regular{SinglePart{Call db.labels{Yield name AS n}}}"},
      // Back-quoted names keep their back-ticks everywhere.
      {"MATCH (`my n`) RETURN `my n` AS `the n`",
       "Regular{SinglePart{Match{Path{Node `my n`}}, Return{Item AS `the n`{Variable `my n`}}}}"},
      {"RETURN n ASm", "Regular{SinglePart{Return{Item AS m{Variable n}}}}"},
      {"RETURN 1 ;  ", "Regular{SinglePart{Return{Item{Integer 1}}}}"},
      {"MATCH(n)RETURN n", "Regular{SinglePart{Match{Path{Node n}}, Return{Item{Variable n}}}}"},
  };
  expect_rows(rows, tree);
}

TEST(BuildQuery, ProjectionFlagsReadFromText) {
  const Row rows[] = {
      // DISTINCT after RETURN or WITH, with no word boundary, past comments.
      {"RETURN distinctName", "Regular{SinglePart{Return distinct{Item{Variable Name}}}}"},
      {"RETURN /* note */ DISTINCT n", "Regular{SinglePart{Return distinct{Item{Variable n}}}}"},
      {"return distinct n", "Regular{SinglePart{Return distinct{Item{Variable n}}}}"},
      {"RETURN n.distinctName",
       "Regular{SinglePart{Return{Item{PropertyAccess distinctName{Variable n}}}}}"},
      {"RETURN 'distinct'", "Regular{SinglePart{Return{Item{String \"distinct\"}}}}"},
      {"RETURN /* distinct */ n", "Regular{SinglePart{Return{Item{Variable n}}}}"},
      {"MATCH (n) WITH n WHERE n.name = 'distinct' RETURN n",
       "Regular{MultiPart{QueryPart{Match{Path{Node n}}, With{Item{Variable n}, "
       "Where{Equal{PropertyAccess name{Variable n}, String \"distinct\"}}}}, "
       "Return{Item{Variable n}}}}"},
      {"WITH // c\n DISTINCT 1 AS x", "Regular{MultiPart{QueryPart{With distinct{Item AS x{Integer 1}}}}}"},
      // ALL after UNION.
      {"RETURN 1 UNION RETURN 2",
       "Regular{SinglePart{Return{Item{Integer 1}}}, Union{SinglePart{Return{Item{Integer 2}}}}}"},
      {"RETURN 1 union all RETURN 2",
       "Regular{SinglePart{Return{Item{Integer 1}}}, Union all{SinglePart{Return{Item{Integer "
       "2}}}}}"},
      {"RETURN 1 UNIONALL RETURN 2",
       "Regular{SinglePart{Return{Item{Integer 1}}}, Union all{SinglePart{Return{Item{Integer "
       "2}}}}}"},
      {"RETURN 1 UNION /* ALL */ RETURN allx",
       "Regular{SinglePart{Return{Item{Integer 1}}}, Union{SinglePart{Return{Item{Variable "
       "allx}}}}}"},
      // DESC after the sort expression; ASC and no direction are ascending.
      {"RETURN n ORDER BY n.description",
       "Regular{SinglePart{Return{Item{Variable n}, OrderBy{Sort asc{PropertyAccess "
       "description{Variable n}}}}}}"},
      {"RETURN n ORDER BY n.x desc",
       "Regular{SinglePart{Return{Item{Variable n}, OrderBy{Sort desc{PropertyAccess x{Variable "
       "n}}}}}}"},
      {"RETURN n ORDER BY n.x DESCENDING",
       "Regular{SinglePart{Return{Item{Variable n}, OrderBy{Sort desc{PropertyAccess x{Variable "
       "n}}}}}}"},
      {"RETURN n ORDER BY n.x ASC",
       "Regular{SinglePart{Return{Item{Variable n}, OrderBy{Sort asc{PropertyAccess x{Variable "
       "n}}}}}}"},
      {"RETURN n ORDER BY a DESC, b ascending, c /* desc */",
       "Regular{SinglePart{Return{Item{Variable n}, OrderBy{Sort desc{Variable a}, Sort "
       "asc{Variable b}, Sort asc{Variable c}}}}}"},
      {"RETURN n ORDER BY descr", "Regular{SinglePart{Return{Item{Variable n}, OrderBy{Sort asc{Variable descr}}}}}"},
  };
  expect_rows(rows, tree);
}

TEST(BuildQuery, ReadingClauses) {
  const Row rows[] = {
      {"OPTIONAL MATCH (n) RETURN n",
       "Regular{SinglePart{Match optional{Path{Node n}}, Return{Item{Variable n}}}}"},
      {"optional match (n) return n",
       "Regular{SinglePart{Match optional{Path{Node n}}, Return{Item{Variable n}}}}"},
      {"optionalmatch (n)", "Regular{SinglePart{Match optional{Path{Node n}}}}"},
      {"MATCH (n:OptionalThing) RETURN n",
       "Regular{SinglePart{Match{Path{Node n:OptionalThing}}, Return{Item{Variable n}}}}"},
      {"MATCH (n) WHERE n.x = 1 RETURN n",
       "Regular{SinglePart{Match{Path{Node n}, Where{Equal{PropertyAccess x{Variable n}, Integer "
       "1}}}, Return{Item{Variable n}}}}"},
      {"MATCH (a), (b)", "Regular{SinglePart{Match{Path{Node a}, Path{Node b}}}}"},
      {"UNWIND [1, 2] AS x RETURN x",
       "Regular{SinglePart{Unwind x{List{Integer 1, Integer 2}}, Return{Item{Variable x}}}}"},
      {"UNWIND xs ASx RETURN x",
       "Regular{SinglePart{Unwind x{Variable xs}, Return{Item{Variable x}}}}"},
      {"CALL db.labels()", "Regular{SinglePart{Call db.labels}}"},
      {"CALL p.q(1, 'a') YIELD node, score AS s",
       "Regular{SinglePart{Call p.q{Integer 1, String \"a\", Yield node, Yield score AS s}}}"},
      {"MATCH (n) CALL db.labels() YIELD label RETURN label",
       "Regular{SinglePart{Match{Path{Node n}}, Call db.labels{Yield label}, Return{Item{Variable "
       "label}}}}"},
      {"CALL { MATCH (n) RETURN n } RETURN n",
       "Regular{SinglePart{CallSubquery{SinglePart{Match{Path{Node n}}, Return{Item{Variable "
       "n}}}}, Return{Item{Variable n}}}}"},
      {"CALL { RETURN 1 UNION RETURN 2 }",
       "Regular{SinglePart{CallSubquery{SinglePart{Return{Item{Integer 1}}}, "
       "Union{SinglePart{Return{Item{Integer 2}}}}}}}"},
  };
  expect_rows(rows, tree);
}

TEST(BuildQuery, UpdatingClauses) {
  const Row rows[] = {
      {"MERGE (n:A) ON CREATE SET n.c = 1 ON MATCH SET n.m = 2, n.k = 3",
       "Regular{SinglePart{Merge{Path{Node n:A}, OnMatch{SetProperty n.m{Integer 2}, SetProperty "
       "n.k{Integer 3}}, OnCreate{SetProperty n.c{Integer 1}}}}}"},
      {"MERGE (n:P) ON CREATE SET n.matched = true",
       "Regular{SinglePart{Merge{Path{Node n:P}, OnCreate{SetProperty n.matched{Boolean "
       "true}}}}}"},
      {"MERGE (n) ON MATCH SET n.a = 1 ON MATCH SET n.b = 2",
       "Regular{SinglePart{Merge{Path{Node n}, OnMatch{SetProperty n.a{Integer 1}}, "
       "OnMatch{SetProperty n.b{Integer 2}}}}}"},
      {"MERGE (n) ONMATCH SET n.a = 1",
       "Regular{SinglePart{Merge{Path{Node n}, OnMatch{SetProperty n.a{Integer 1}}}}}"},
      {"MERGE (n) ON /* MATCH */ CREATE SET n.a = 1",
       "Regular{SinglePart{Merge{Path{Node n}, OnCreate{SetProperty n.a{Integer 1}}}}}"},
      {"MERGE (n) ON CREATE SET n.a = 1 SET n.b = 2",
       "Regular{SinglePart{Merge{Path{Node n}, OnCreate{SetProperty n.a{Integer 1}}}, "
       "Set{SetProperty n.b{Integer 2}}}}"},
      {"MATCH (n) SET n.a.b = 1, n = {x: 1}, n += {y: 2}, n:A:B",
       "Regular{SinglePart{Match{Path{Node n}}, Set{SetProperty n.a.b{Integer 1}, SetAll "
       "n{Map{Key x{Integer 1}}}, SetMerge n{Map{Key y{Integer 2}}}, SetLabels n:A:B}}}"},
      {"SET n.name = 'a+=b'", "Regular{SinglePart{Set{SetProperty n.name{String \"a+=b\"}}}}"},
      {"SET n /* += */ = {a: 1}", "Regular{SinglePart{Set{SetAll n{Map{Key a{Integer 1}}}}}}"},
      {"SET n+=$p", "Regular{SinglePart{Set{SetMerge n{Parameter p}}}}"},
      {"SET n :A", "Regular{SinglePart{Set{SetLabels n:A}}}"},
      {"SET n . x = 1", "Regular{SinglePart{Set{SetProperty n.x{Integer 1}}}}"},
      {"MATCH (n) REMOVE n:A, n.b",
       "Regular{SinglePart{Match{Path{Node n}}, Remove{RemoveLabels n:A, RemoveProperty n.b}}}"},
      {"REMOVE n:A:B, n.x.y",
       "Regular{SinglePart{Remove{RemoveLabels n:A:B, RemoveProperty n.x.y}}}"},
      {"MATCH (n), (m) DETACH DELETE n, m",
       "Regular{SinglePart{Match{Path{Node n}, Path{Node m}}, Delete detach{Variable n, Variable "
       "m}}}"},
      {"DELETE n", "Regular{SinglePart{Delete{Variable n}}}"},
      {"detach delete n", "Regular{SinglePart{Delete detach{Variable n}}}"},
      {"DETACHDELETE n", "Regular{SinglePart{Delete detach{Variable n}}}"},
      {"DELETE detached", "Regular{SinglePart{Delete{Variable detached}}}"},
      {"FOREACH (x IN [1, 2] | CREATE (:N {v: x}))",
       "Regular{SinglePart{Foreach x{List{Integer 1, Integer 2}, Create{Path{Node "
       ":N{Properties{Key v{Variable x}}}}}}}}"},
      {"FOREACH (x IN [1] | SET n.v = x CREATE (m))",
       "Regular{SinglePart{Foreach x{List{Integer 1}, Set{SetProperty n.v{Variable x}}, "
       "Create{Path{Node m}}}}}"},
      {"FOREACH (x IN xs | FOREACH (y IN x | DELETE y))",
       "Regular{SinglePart{Foreach x{Variable xs, Foreach y{Variable x, Delete{Variable y}}}}}"},
      {"CREATE (n) SET n.x = 1 REMOVE n:L DELETE n RETURN 1",
       "Regular{SinglePart{Create{Path{Node n}}, Set{SetProperty n.x{Integer 1}}, "
       "Remove{RemoveLabels n:L}, Delete{Variable n}, Return{Item{Integer 1}}}}"},
  };
  expect_rows(rows, tree);
}

}  // namespace
}  // namespace morvane::parser
