// parse_query: exactly which parts of a query its walkers report names from, the failure
// result, and deep input (long operator chains, subqueries nested to the recognizer's limit)
// on an ordinary and on a 2 MiB thread stack.
#include "bindings/query_info.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <string>
#include <vector>

#include "parser/recognizer.h"

namespace morvane::bindings::py_parser {
namespace {

using Names = std::vector<std::string>;

struct Row {
  const char* query;
  Names labels, types, keys;
};

void expect_names(const Row& row) {
  const PyQueryInfo info = parse_query(row.query);
  ASSERT_TRUE(info.is_valid) << row.query << "\n"
                             << (info.errors.empty() ? "" : info.errors.front());
  EXPECT_TRUE(info.errors.empty()) << row.query;
  EXPECT_EQ(info.labels_used, row.labels) << row.query;
  EXPECT_EQ(info.rel_types_used, row.types) << row.query;
  EXPECT_EQ(info.properties_used, row.keys) << row.query;
}

TEST(ParseQuery, ClausesWalked) {
  const Row rows[] = {
      {"MATCH (p:Person)-[:ACTED_IN]->(m:Movie) RETURN p.name",
       {"Movie", "Person"}, {"ACTED_IN"}, {"name"}},
      {"MATCH (a:B)-[:R]->(c:B) RETURN a.x, c.x", {"B"}, {"R"}, {"x"}},
      {"MATCH (n) WHERE n.age > 1 RETURN n", {}, {}, {"age"}},
      {"OPTIONAL MATCH (n:O)-[:R|S]->(), (:P) WHERE n.w RETURN 1", {"O", "P"}, {"R", "S"}, {"w"}},
      {"MATCH (n:A:B:A) RETURN n.k AS alias", {"A", "B"}, {}, {"k"}},
      {"MATCH p = (a:A)-[r:R*1..3]->(b) RETURN p", {"A"}, {"R"}, {}},
      // A shortestPath written in a pattern is the pattern's path.
      {"MATCH p = shortestPath((a:A)-[:R*]->(b:B {k: 1})) RETURN p", {"A", "B"}, {"R"}, {"k"}},
      {"CREATE (n:Person {name: 'x'})-[:KNOWS {since: 2020}]->(m)", {"Person"}, {"KNOWS"},
       {"name"}},
      {"MERGE (n:P {id: m.v})-[:R {w: 2}]->(:Q)", {"P", "Q"}, {"R"}, {"id", "v"}},
      {"MATCH (n:A) RETURN *", {"A"}, {}, {}},
      // Every part of a multi-part query but its WITH clauses.
      {"MATCH (a:A) CREATE (b:B) WITH a MATCH (c:C) MERGE (d:D) WITH c, d "
       "MATCH (e:E {k: c.j}) CREATE (:F) RETURN e.r",
       {"A", "B", "C", "D", "E", "F"}, {}, {"j", "k", "r"}},
      {"MATCH (a:A) RETURN a.x UNION MATCH (b:B)-[:R]->() RETURN b.y UNION ALL RETURN 1 AS x",
       {"A", "B"}, {"R"}, {"x", "y"}},
      // CALL { } shares the sets: its labels and types are reported too.
      {"CALL { MATCH (a:A)-[:R]->(b) WHERE b.w RETURN a.x AS x UNION MATCH (a:B) RETURN a.y "
       "AS x } RETURN x",
       {"A", "B"}, {"R"}, {"w", "x", "y"}},
      {"CALL { MATCH (a:A) RETURN COUNT { MATCH (b:B) RETURN b.k } AS c } RETURN c", {"A"}, {},
       {"k"}},
  };
  for (const Row& row : rows) expect_names(row);
}

TEST(ParseQuery, ClausesNotWalked) {
  const Row rows[] = {
      {"MATCH (n:Person) WITH n.age AS a RETURN a", {"Person"}, {}, {}},
      {"MATCH (n:A) WITH n ORDER BY n.o SKIP n.s LIMIT n.l WHERE n.w > 1 RETURN n.r", {"A"}, {},
       {"r"}},
      {"MATCH (n) RETURN n ORDER BY n.o DESC SKIP n.s LIMIT n.l", {}, {}, {}},
      {"MATCH (n:Person) SET n.age = 1 RETURN n", {"Person"}, {}, {}},
      {"MATCH (n:A) SET n:L, n += {k: n.v} REMOVE n.r, n:M DELETE n.d "
       "FOREACH (x IN n.f | CREATE (:C {c: x.y})) RETURN 1",
       {"A"}, {}, {}},
      {"MERGE (n:P) ON CREATE SET n.c = m.d ON MATCH SET n.e = 1, n:X", {"P"}, {}, {}},
      {"UNWIND [n.u] AS x MATCH (m:M) RETURN x", {"M"}, {}, {}},
      {"CALL my.proc(n.k) YIELD x RETURN x", {}, {}, {}},
      {"MATCH (a)-[r:R {k: a.v}]->(b) RETURN 1", {}, {"R"}, {}},
      {"MATCH (n:A $props) RETURN n", {"A"}, {}, {}},
      {"MATCH (n) WHERE EXISTS { (n)-[:KNOWS]->(:Person {k: n.v}) } RETURN n", {}, {}, {}},
  };
  for (const Row& row : rows) expect_names(row);
}

// Expressions give property keys only.
TEST(ParseQuery, ExpressionsWalked) {
  const Row rows[] = {
      {"RETURN n.a.b.c", {}, {}, {"a", "b", "c"}},
      {"RETURN [n.a, -n.b, NOT n.c, n.d IS NULL, n.e IS NOT NULL, n.f IN n.g, "
       "n.h STARTS WITH 'x', n.i ENDS WITH 'y', n.j CONTAINS 'z', n.k =~ 'r', n.l ^ 2, "
       "n.m % 3 - n.o / n.p * n.q, n.r XOR n.s OR n.t AND n.u, n.v <> n.w <= n.x]",
       {}, {}, {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l", "m", "o", "p", "q",
                "r", "s", "t", "u", "v", "w", "x"}},
      {"RETURN toUpper(n.a), count(DISTINCT n.b), count(*)", {}, {}, {"a", "b"}},
      {"RETURN {k: n.v, nested: {j: n.w}} AS m", {}, {}, {"v", "w"}},
      {"RETURN n.l[n.f..n.t], n.m[..n.u], n.o[n.v..], n.q[n.w]", {}, {},
       {"f", "l", "m", "o", "q", "t", "u", "v", "w"}},
      {"RETURN CASE n.o WHEN n.w THEN n.t ELSE n.e END, CASE WHEN n.a THEN n.b END", {}, {},
       {"a", "b", "e", "o", "t", "w"}},
      {"RETURN [x IN n.l WHERE x.w > 1 | x.p], [y IN n.m | y.q], [z IN n.n WHERE z.r]", {}, {},
       {"l", "m", "n", "p", "q", "r", "w"}},
      {"RETURN all(x IN n.l WHERE x.a), any(x IN n.m WHERE x.b), none(x IN n.n WHERE x.c), "
       "single(x IN n.o WHERE x.d)",
       {}, {}, {"a", "b", "c", "d", "l", "m", "n", "o"}},
      // The WHERE and projection of a pattern comprehension, not its pattern.
      {"MATCH (n) RETURN [(n)-[:R]->(m:M {k: n.z}) WHERE m.w > 1 | m.p] AS ps", {}, {},
       {"p", "w"}},
      {"MATCH (n:A {k: m.v, j: [x IN m.l | x.w]}) RETURN 1", {"A"}, {}, {"j", "k", "l", "v", "w"}},
      // COUNT and COLLECT give their keys, not their labels and types, even from a CALL { }
      // inside them.
      {"MATCH (n) RETURN COUNT { MATCH (n)-[:R]->(m:M) WHERE m.k = 1 RETURN m } AS c", {}, {},
       {"k"}},
      {"RETURN COLLECT { MATCH (m:M)-[:R]->() RETURN m.k UNION MATCH (m:N) RETURN m.j } AS ks",
       {}, {}, {"j", "k"}},
      {"RETURN COUNT { CALL { MATCH (a:A)-[:R]->() RETURN a.k AS k } RETURN k } AS c", {}, {},
       {"k"}},
  };
  for (const Row& row : rows) expect_names(row);
}

TEST(ParseQuery, ExpressionsNotWalked) {
  const Row rows[] = {
      {"RETURN reduce(acc = n.i, x IN n.l | acc + x.p) AS r", {}, {}, {}},
      {"RETURN shortestPath((a:A)-[:R*]->(b:B {k: a.v})) AS p", {}, {}, {}},
      {"RETURN x, $p, 1, 1.5, 'n.s', true, null, count(*)", {}, {}, {}},
  };
  for (const Row& row : rows) expect_names(row);
}

// Names in their case, sorted by bytes (upper case before lower case), and without the
// backticks that quote them: a name written both ways is one name.
TEST(ParseQuery, NamesAreUnquotedInByteOrder) {
  const Row rows[] = {
      {"MATCH (a:b)-[:r]->(c:B)-[:R]->(d:a) RETURN a.b, a.B", {"B", "a", "b"}, {"R", "r"},
       {"B", "b"}},
      {"MATCH (n:`My Label`)-[:`HAS IT`]->(b) RETURN n.`a b`", {"My Label"}, {"HAS IT"},
       {"a b"}},
      {"MATCH (n:`My Label` {`k k`: 1})-[:`REL TYPE`]->(:_x) RETURN n.`first name`",
       {"My Label", "_x"}, {"REL TYPE"}, {"first name", "k k"}},
      {"MATCH (a:Person)-[:KNOWS]->(b:`Person`)-[:`KNOWS`]->(c) RETURN a.name, b.`name`",
       {"Person"}, {"KNOWS"}, {"name"}},
      // Quoting keeps case, and the blanks inside the backticks.
      {"MATCH (a:`person`)-[:` KNOWS `]->(b:Person) RETURN a.` name`", {"Person", "person"},
       {" KNOWS "}, {" name"}},
      // Reserved words can only be written quoted.
      {"MATCH (n:`End`)-[:`CONTAINS`]->(m:`Order`) RETURN n.`end`", {"End", "Order"},
       {"CONTAINS"}, {"end"}},
      {"MATCH (n:``)-[:``]->() RETURN n.``", {""}, {""}, {""}},
      // Sorted after unquoting: "é" sorts after "z", which its backtick did not.
      {"MATCH (n:`Größe`:A) RETURN n.`été`, n.z", {"A", "Größe"}, {}, {"z", "été"}},
  };
  for (const Row& row : rows) expect_names(row);
}

TEST(ParseQuery, FailedParseGivesOneErrorAndNoNames) {
  for (const char* query : {"MATCH (n RETURN n", "", "RETURN 1 +"}) {
    const PyQueryInfo info = parse_query(query);
    EXPECT_FALSE(info.is_valid) << query;
    ASSERT_EQ(info.errors.size(), 1u) << query;
    EXPECT_EQ(info.errors[0].rfind("Parse error: ", 0), 0u) << info.errors[0];
    EXPECT_GT(info.errors[0].size(), std::string("Parse error: ").size()) << query;
    EXPECT_TRUE(info.labels_used.empty()) << query;
    EXPECT_TRUE(info.rel_types_used.empty()) << query;
    EXPECT_TRUE(info.properties_used.empty()) << query;
  }
}

// Runs `body` on a thread with a 2 MiB stack, as batch workers have.
template <class Body>
void on_small_stack(Body body) {
  pthread_attr_t attr;
  ASSERT_EQ(pthread_attr_init(&attr), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attr, 2u << 20), 0);
  pthread_t thread;
  auto run = [](void* arg) -> void* {
    (*static_cast<Body*>(arg))();
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attr, run, &body), 0);
  ASSERT_EQ(pthread_join(thread, nullptr), 0);
  pthread_attr_destroy(&attr);
}

// Left-folded chains are as deep as they are long; walking them takes no stack in proportion.
TEST(ParseQuery, LongChainsWalk) {
  constexpr int kLength = 100000;
  std::string sum = "RETURN n.a";
  std::string lookups = "RETURN n";
  std::string nots = "MATCH (n:A) WHERE ";
  for (int i = 0; i < kLength; ++i) {
    sum += " + n.a";
    lookups += i % 2 == 0 ? ".a" : ".b";
    nots += "NOT ";
  }
  nots += "n.w RETURN 1";
  const Row rows[] = {
      {sum.c_str(), {}, {}, {"a"}},
      {lookups.c_str(), {}, {}, {"a", "b"}},
      {nots.c_str(), {"A"}, {}, {"w"}},
  };
  for (const Row& row : rows) {
    expect_names(row);
    on_small_stack([&] { expect_names(row); });
  }
}

// Subqueries recurse through the walkers; nested as deep as the recognizer accepts, they still
// fit a 2 MiB stack.
TEST(ParseQuery, DeepestSubqueryNestingWalksOnASmallStack) {
  struct Shape {
    const char* prefix;
    const char* open;
    const char* inner;
    const char* close;
    const char* suffix;
    Row expected;
  };
  const Shape shapes[] = {
      {"RETURN ", "COUNT { MATCH (a:A) RETURN ", "a.k", " }", "", {"", {}, {}, {"k"}}},
      {"", "CALL { MATCH (a:A)-[:R]->() ", "RETURN a.k AS k", " } RETURN k", "",
       {"", {"A"}, {"R"}, {"k"}}},
      {"MATCH (n:A) WHERE ", "EXISTS { (n)-[:R]->(:B {k: ", "n.v", "}) } AND n.w", " RETURN 1",
       {"", {"A"}, {}, {"w"}}},
  };
  auto nested = [](const Shape& shape, int levels) {
    std::string query = shape.prefix;
    for (int i = 0; i < levels; ++i) query += shape.open;
    query += shape.inner;
    for (int i = 0; i < levels; ++i) query += shape.close;
    return query + shape.suffix;
  };
  for (const Shape& shape : shapes) {
    int accepted = 1;
    int refused = static_cast<int>(parser::kMaxRuleDepth);
    ASSERT_TRUE(parse_query(nested(shape, accepted)).is_valid) << shape.open;
    ASSERT_FALSE(parse_query(nested(shape, refused)).is_valid) << shape.open;
    while (refused - accepted > 1) {
      const int middle = (accepted + refused) / 2;
      (parse_query(nested(shape, middle)).is_valid ? accepted : refused) = middle;
    }
    const std::string deepest = nested(shape, accepted);
    const std::string too_deep = nested(shape, refused);
    on_small_stack([&] {
      Row row = shape.expected;
      row.query = deepest.c_str();
      expect_names(row);
      const PyQueryInfo info = parse_query(too_deep);
      ASSERT_EQ(info.errors.size(), 1u) << shape.open;
      EXPECT_NE(info.errors[0].find("nested deeper than"), std::string::npos) << info.errors[0];
    });
  }
}

}  // namespace
}  // namespace morvane::bindings::py_parser
