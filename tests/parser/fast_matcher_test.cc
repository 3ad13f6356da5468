// The fast matcher against the engine on the grammar's quirks and on nesting: it decides every
// quirk exactly as the engine does, and it gives up on nesting long before the engine's depth
// limit, never accepting what the engine refuses.
#include <gtest/gtest.h>

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fast_matcher_test_util.h"
#include "parser/fast_matcher.h"
#include "parser/recognizer.h"

namespace morvane::parser {
namespace {

using fast_matcher_test::check_against_engine;
using Result = FastMatch::Result;

struct QuirkRow {
  std::string_view query;
  bool accepted;  // by the engine, and by the matcher with the engine's tape
};

// Each row must be decided by the matcher itself (no giving up), the engine's way.
void expect_decided(std::span<const QuirkRow> rows) {
  for (const QuirkRow& row : rows) {
    const Result result = check_against_engine(row.query);
    EXPECT_EQ(result, row.accepted ? Result::kAccepted : Result::kRefused)
        << "query: " << row.query;
  }
}

TEST(FastMatcher, KeywordLiteralsMatchAPrefix) {
  const QuirkRow rows[] = {
      {"MATCH (n) RETURNx", true},           {"MATCH(n)RETURN n", true},
      {"RETURN distinctName", true},         {"RETURN DISTINCT", false},
      {"optionalmatch (n) RETURN n", true},  {"MATCH (n) DETACHDELETE n", true},
      {"MERGE (n) ONCREATE SET n.a = 1", true}, {"RETURN 1 UNIONALL RETURN 2", true},
      {"RETURN 1 AS x ORDERBY x", true},     {"UNWIND xs ASx RETURN x", true},
      {"FOREACH (x INxs | DELETE x)", true}, {"RETURN n ASm", true},
      {"RETURN nullCount", false},           {"RETURN trueValue", false},
      {"RETURN falsey", false},              {"RETURN nullif(a, b)", false},
      {"RETURN caseId", true},               {"RETURN reduceX", true},
      {"RETURN shortestPathX(a)", true},     {"RETURN shortestPath()", true},
      {"RETURN singleton(x)", true},         {"RETURN [x INDEX]", true},
      {"RETURN count(distinctX)", true},     {"RETURN count(distinction)", true},
      {"RETURN CASE WHEN (a = 1) THEN 1 END", false},
      {"RETURN CASE x WHEN (1) THEN 2 END", true},
      {"RETURN CASE whenever WHEN 1 THEN 2 END", true},
  };
  expect_decided(rows);
}

TEST(FastMatcher, TrailingPointReadsAsAFloat) {
  const QuirkRow rows[] = {
      {"RETURN xs[1..2]", false},  {"RETURN xs[1..]", false},     {"RETURN xs[1 ..2]", true},
      {"RETURN xs[..2]", true},    {"RETURN xs[..]", true},       {"RETURN 1.", true},
      {"RETURN 1..2", false},      {"RETURN 1.e5, 1.5E-3", true}, {"RETURN 1e5", false},
      {"RETURN .5", false},        {"RETURN 0X1F", false},        {"RETURN 0x, 1", false},
      {"MATCH (a)-[*1..2]->(b) RETURN a", true},
      {"MATCH (a)-[*0x2..0o7]->(b) RETURN a", true},
      {"MATCH (a)-[*..3]->(b) RETURN a", false},
  };
  expect_decided(rows);
}

TEST(FastMatcher, ComparisonWordsAndTheirBoundary) {
  const QuirkRow rows[] = {
      {"RETURN a STARTS WITH b", true},        {"RETURN a STARTS /* c */ WITH b", true},
      {"RETURN a STARTSWITH b", true},         {"RETURN a ends\n\twith b", true},
      {"RETURN a STARTS WITHb", false},        {"RETURN x INlist", false},
      {"RETURN x IN_list", false},             {"RETURN x IN$p", true},
      {"RETURN x IN[1]", true},                {"RETURN a CONTAINS'z'", true},
      {"RETURN a CONTAINSb", false},           {"RETURN a ANDb", false},
      {"RETURN a AND(b)", true},               {"RETURN a AND NOTHING", true},
      {"RETURN NOT(x)", true},                 {"RETURN a ORDER BY a", true},
      {"RETURN a != b", false},                {"RETURN a == b", false},
      {"RETURN a =~ 'x.*'", true},             {"RETURN a <> b <= c >= d < e > f", true},
      {"RETURN x IS NOT NULL IS NULL.y", true}, {"RETURN x ISNULL", false},
      {"RETURN x IS NULLY", false},            {"RETURN x IS\tNULL", true},
      {"RETURN - -x", false},                  {"RETURN a - -b", true},
      {"RETURN a + = b", false},               {"SET n += $p", true},
  };
  expect_decided(rows);
}

TEST(FastMatcher, FunctionNamesAndReservedWords) {
  const QuirkRow rows[] = {
      {"RETURN count(x), exists(n.p), any(xs)", true},
      {"RETURN a.b.count(x)", true},
      {"RETURN a.`b c`.d(1)", true},
      {"RETURN a.count.b(x)", false},
      {"RETURN n.`x`(1)", false},
      {"RETURN count", false},
      {"RETURN n AS asc, m AS ascending, o AS order, p AS ends", true},
      {"RETURN n AS for", false},
      {"RETURN foreach", false},
      {"MATCH (o:Order) RETURN o.order, ORDERS, format, iso, ASCII, AS_, DESCRIPTION", true},
      {"MATCH (end) RETURN end", false},
      {"MATCH (n) RETURN n.end", false},
      {"MATCH (n) RETURN n.`end`", true},
      {"RETURN n asc", true},
      {"RETURN 1 AS count", false},
      {"CALL db.labels() YIELD label AS l, x", true},
      {"CALL util.create.node()", false},
      {"CALL util.`create`.node()", true},
      {"CALL db.labels() YIELD count AS c", false},
      {"RETURN ``", true},
  };
  expect_decided(rows);
}

TEST(FastMatcher, CommentsInEverySkip) {
  const QuirkRow rows[] = {
      {"/* a */ MATCH /* b */ ( /* c */ n /* d */ : /* e */ L /* f */ ) // g\nRETURN n", true},
      {"MATCH (a) /*x*/ < /*x*/ - /*x*/ [ /*x*/ r /*x*/ : /*x*/ A /*x*/ | /*x*/ B /*x*/ * /*x*/"
       " 1 /*x*/ .. /*x*/ 2 /*x*/ ] /*x*/ - /*x*/ > /*x*/ (b) RETURN a",
       true},
      {"RETURN n. /* c */ name", true},
      {"RETURN a /* c */ - b AS x", true},
      {"RETURN [ /**/ 1 /**/ , /**/ 2 /**/ ] // end", true},
      {"RETURN 1 // note", true},
      {"RETURN x IS /* c */ NULL", false},
      {"MATCH (n) /* open RETURN n", false},
      {"RETURN 1 /", false},
      {"RETURN ORDER /* by what */ BY n", false},
      {"RETURN n ORDER /* by what */ BY n", true},
      {"RETURN 1 ; // done", true},
      {"RETURN 1;;", false},
      {"", false},
      {"// only a comment", false},
  };
  expect_decided(rows);
}

TEST(FastMatcher, ClauseOrderAndParts) {
  const QuirkRow rows[] = {
      {"MATCH (a) CREATE (b) RETURN a", true},
      {"CREATE (b) MATCH (a) RETURN a", false},
      {"CREATE (b) WITH b MATCH (a) RETURN a", true},
      {"MATCH (a) RETURN a MATCH (b)", false},
      {"MATCH (n) WITH n", true},
      {"WITH 1 AS x WITH x RETURN x", true},
      {"WITH RETURN 1", false},
      {"RETURN *, n", false},
      {"WITH * RETURN x", true},
      {"UNWIND [1] AS x CREATE (n) MATCH (m)", false},
      {"MATCH (n) WITH n RETURN n UNION RETURN 1 AS n", true},
      {"WITH n ORDER BY n.x LIMIT 3 WHERE n.y > 1 RETURN n", true},
      {"WITH n WHERE n.y > 1 ORDER BY n.x RETURN n", false},
      {"RETURN n LIMIT 2 SKIP 1", false},
      {"MERGE (n) ON CREATE SET n.a = 1 SET n.b = 2", true},
      {"MERGE (a), (b)", false},
      {"SET n.x = 1, n:L, m += $p, n = {a: 1}", true},
      {"SET n.x += 1", false},
      {"REMOVE n:A:B, n.x.y", true},
      {"REMOVE n", false},
      {"FOREACH (x IN xs | FOREACH (y IN x | DELETE y) SET x.a = 1)", true},
      {"FOREACH (x IN xs | MATCH (n))", false},
      {"CALL { MATCH (n) RETURN n } RETURN 1", true},
      {"CALL {}", false},
      {"CALL db.labels() YIELD label WHERE label = 1 RETURN label", false},
      {"RETURN COUNT { MATCH (n)-->(m) }, COLLECT { RETURN 1 UNION ALL RETURN 2 }", true},
      {"RETURN COUNT { (n)-->() }", false},
      {"MATCH p = shortestPath((a)-[*]-(b)) RETURN p", true},
      {"MATCH (a)-[r]-->(b) RETURN a", false},
      {"MATCH (a)- -(b) RETURN a", false},
      {"MATCH (a)<-->(b), (c)--(d) RETURN a", true},
      {"RETURN [(a)-->(b) WHERE b.x > 1 | b.name], [(a)--(b)], [x IN xs, 3]", true},
      {"RETURN [(a)-->(b)]", false},
      {"MATCH (n) WHERE EXISTS { (n)-[:R]->(), (m) } RETURN n", true},
      {"RETURN all (x IN xs WHERE x > 0), none(x IN xs), single(x IN [1])", true},
  };
  expect_decided(rows);
}

// REDUCE is left to the engine; the rest of the query then does not matter.
TEST(FastMatcher, GivesUpOnReduce) {
  for (std::string_view query : {"RETURN reduce(acc = 0, x IN xs | acc + x)",
                                 "RETURN REDUCE /* c */ (a = 1, b IN c | d)",
                                 "RETURN reduce(a)", "RETURN reduce("}) {
    EXPECT_EQ(check_against_engine(query), Result::kGaveUp) << "query: " << query;
  }
}

struct NestingShape {
  std::string_view name;
  std::string_view before;  // written once
  std::string_view open;    // written `depth` times
  std::string_view inner;   // once
  std::string_view close;   // `depth` times
};

std::string nest(const NestingShape& shape, int depth) {
  std::string query(shape.before);
  for (int i = 0; i < depth; ++i) query += shape.open;
  query += shape.inner;
  for (int i = 0; i < depth; ++i) query += shape.close;
  return query;
}

// For every shape: shallow nesting is decided (as the engine decides it), beyond
// kMaxFastNesting repetitions the matcher gives up, and the engine's depth limit lies several
// repetitions beyond the deepest text the matcher decides.
TEST(FastMatcher, GivesUpOnNestingLongBeforeTheEngine) {
  const NestingShape shapes[] = {
      {"parentheses", "RETURN ", "(", "1", ")"},
      {"lists", "RETURN ", "[", "1", "]"},
      {"maps", "RETURN ", "{k: ", "1", "}"},
      {"subscripts", "RETURN x", "[x", "", "]"},
      {"case", "RETURN ", "CASE WHEN true THEN ", "1", " END"},
      {"list comprehensions", "RETURN ", "[x IN ", "xs", "]"},
      {"pattern comprehensions", "RETURN ", "[(a {k: ", "1", "})-->(b) | 1]"},
      {"node properties", "MATCH ", "({k: [(n {k: ", "1", "})-->() | 1]})"},
      {"call subqueries", "", "CALL { ", "RETURN 1", " } RETURN 1"},
      {"count subqueries", "RETURN ", "COUNT { RETURN ", "1", " }"},
      {"exists subqueries", "RETURN ", "EXISTS { (n {k: ", "1", "}) }"},
      {"foreach", "", "FOREACH (x IN [] | ", "DELETE x", ")"},
      {"function arguments", "RETURN ", "f(", "1", ")"},
      {"not and sign", "RETURN ", "NOT -(", "x", ")"},
  };
  for (const NestingShape& shape : shapes) {
    int deepest_decided = 0;
    int engine_limit = 0;  // the least depth tried that the engine refuses for depth
    for (int depth = 1; depth <= 600 && engine_limit == 0; depth += depth < 80 ? 1 : 20) {
      const std::string query = nest(shape, depth);
      const Result result = check_against_engine(query);
      if (result != Result::kGaveUp) deepest_decided = depth;
      if (depth <= 6) {
        EXPECT_EQ(result, Result::kAccepted) << shape.name << " at depth " << depth;
      }
      if (depth > static_cast<int>(kMaxFastNesting)) {
        EXPECT_EQ(result, Result::kGaveUp) << shape.name << " at depth " << depth;
      }
      Recognizer engine;
      if (!engine.parse(query, Rule::cypher, Recognizer::Mode::kEngine)) {
        EXPECT_EQ(engine.error().kind, SyntaxError::Kind::kTooDeep) << shape.name;
        engine_limit = depth;
      }
    }
    EXPECT_NE(engine_limit, 0) << shape.name;
    EXPECT_GT(engine_limit, deepest_decided + 4) << shape.name;
  }
}

}  // namespace
}  // namespace morvane::parser
