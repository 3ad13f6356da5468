// The validator's walk: the order of findings across clauses and query parts, and how variables
// enter and leave the scope (collection before checks, WITH projections, UNION arms, CALL { },
// FOREACH and the saved-scope expressions).
#include <gtest/gtest.h>

#include "validate_test_util.h"

namespace morvane::validator::testing {
namespace {

TEST(SemanticWalk, FindingsFollowTheWalkOrder) {
  check_cases(
      kMoviesSchema,
      {
          // Pattern checks along the chain, then WHERE, then the projection items and names.
          {"MATCH (p:Persn)-[:ACTED]->(m:Movie {titel: 'x'}) WHERE q.name = 1 "
           "RETURN count(p) AS c, p AS c",
           {{"E201", "Unknown node label: :Persn, did you mean :Person?", ":Persn", ":Person"},
            {"E211", "Unknown relationship type: :ACTED, did you mean :ACTED_IN?", ":ACTED",
             ":ACTED_IN"},
            {"E301", "Unknown property 'titel' for node label :Movie, did you mean .title?",
             "titel", "title"},
            unbound("q"),
            {"E502", "Duplicate projection name 'c' in RETURN/WITH"}}},
          // Reading clauses, then updating clauses, then RETURN.
          {"MATCH (a:Persn) SET a:Movi RETURN zz",
           {{"E201", "Unknown node label: :Persn, did you mean :Person?", ":Persn", ":Person"},
            {"E202", "Unknown node label in SET: :Movi, did you mean :Movie?", ":Movi", ":Movie"},
            unbound("zz")}},
          // A WITH: its items against the old scope, the duplicate check, then ORDER BY, SKIP,
          // LIMIT and WHERE.
          {"MATCH (a:Person) WITH a.nme AS x, b, b ORDER BY y SKIP 'a' LIMIT 1 WHERE zz RETURN x",
           {{"E303", "Unknown property 'nme' on variable 'a' with label :Person, did you mean "
                     ".name?",
             "nme", "name"},
            unbound("b"),
            unbound("b"),
            {"E502", "Duplicate projection name 'b' in RETURN/WITH"},
            unbound("y"),
            {"E611", "SKIP expression must be an integer, got a string literal"},
            unbound("zz")}},
          // Each MATCH's warnings come with it, before later clauses.
          {"MATCH (a), (b) MATCH (c:Person)-[:ACTED_IN*]->(d:Movie) RETURN e",
           {kCartesian,
            kScan,
            {"W202",
             "Variable-length relationship without an upper bound ([*] or [*n..]) may cause "
             "unbounded traversal"},
            unbound("e")}},
          // The same finding made twice is reported twice.
          {"RETURN x, x AS y, x", {unbound("x"), unbound("x"), unbound("x"),
                                   {"E502", "Duplicate projection name 'x' in RETURN/WITH"}}},
      });
}

TEST(SemanticWalk, BindingsOfAPartAreCollectedBeforeItsChecks) {
  check_cases(kMoviesSchema,
              {
                  {"MATCH (a) WHERE b.x = 1 MATCH (b) RETURN a", {kScan}},
                  {"MATCH (a:Person) CREATE (a)-[:ACTED_IN]->(m:Movie) RETURN m", {}},
                  {"MERGE (m:Movie {title: 'x'}) RETURN m", {}},
                  {"CALL db.labels() YIELD label RETURN label", {}},
                  {"CALL db.labels() YIELD label AS l RETURN l, label", {unbound("label")}},
                  {"MATCH p = (a:Person)-[r:ACTED_IN]->(m:Movie) RETURN p, a, r, m", {}},
                  // A variable seen as a node twice collects the labels of both.
                  {"MATCH (n:Person), (n:Movie) RETURN n.nme",
                   {{"E303",
                     "Unknown property 'nme' on variable 'n' with label :Person, did you mean "
                     ".name?",
                     "nme", "name"},
                    {"E303", "Unknown property 'nme' on variable 'n' with label :Movie"}}},
                  // Labels written twice on a new variable stay twice in its list.
                  {"MATCH (n:Person:Person) RETURN n.nme",
                   {{"E303",
                     "Unknown property 'nme' on variable 'n' with label :Person, did you mean "
                     ".name?",
                     "nme", "name"},
                    {"E303",
                     "Unknown property 'nme' on variable 'n' with label :Person, did you mean "
                     ".name?",
                     "nme", "name"}},
                   "MATCH (n:Person:Person) RETURN n.name"},
                  // UNWIND binds with an empty list, dropping the labels n had.
                  {"MATCH (n:Person) UNWIND [1] AS n RETURN n.nme", {}},
                  // SET and REMOVE targets are not checked for being bound.
                  {"MATCH (n) SET x.age = 1", {kScan}},
                  {"MATCH (n:Person) REMOVE x.nme", {}},
              });
}

TEST(SemanticWalk, WithReplacesTheScope) {
  check_cases(
      kMoviesSchema,
      {
          {"MATCH (n:Person) WITH n.name AS name RETURN n", {unbound("n")}},
          {"MATCH (n:Person) WITH n.name AS name RETURN name", {}},
          {"MATCH (n:Person) WITH n AS m RETURN m.nme",
           {{"E303",
             "Unknown property 'nme' on variable 'm' with label :Person, did you mean .name?",
             "nme", "name"}},
           "MATCH (n:Person) WITH n AS m RETURN m.name"},
          {"MATCH (n) WITH * RETURN n", {kScan, unbound("n")}},
          {"WITH 1 AS x ORDER BY y RETURN x", {unbound("y")}},
          {"WITH 1 AS x ORDER BY x RETURN x", {}},
          // A later item of the same name replaces the earlier: m ends with no labels.
          {"MATCH (n:Person) WITH n AS m, 1 AS m RETURN m.nme",
           {{"E502", "Duplicate projection name 'm' in RETURN/WITH"}}},
          {"MATCH (a:Person) WITH a MATCH (a)-[:ACTED_IN]->(m:Movie) WITH m RETURN a",
           {unbound("a")}},
      });
}

// The ORDER BY of a RETURN, and the ORDER BY and WHERE of a WITH, see what was bound before the
// projection with the projected names over it; SKIP, LIMIT and the later clauses do not.
TEST(SemanticWalk, OrderByAndWithWhereSeeTheScopeBeforeTheProjection) {
  constexpr std::string_view kSchema =
      R"({"nodes":{"Movie":["title","revenue"],"Genre":["name"],"A":[],"B":[]},)"
      R"("relationships":{"IN_GENRE":["Movie","Genre",[]]}})";
  const Finding budget = {"E303", "Unknown property 'budget' on variable 'm' with label :Movie"};
  check_cases(
      kSchema,
      {
          {"MATCH (m:Movie) RETURN m.title AS title, m.revenue AS revenue ORDER BY revenue DESC",
           {}},
          {"MATCH (g:Genre)<-[:IN_GENRE]-(m) RETURN g.name, count(m) AS n ORDER BY n DESC LIMIT 5",
           {}},
          {"MATCH (m:Movie) RETURN DISTINCT m.title AS t ORDER BY t, m.revenue", {}},
          {"MATCH (a) WITH a.name AS name ORDER BY a.age RETURN name", {kScan}},
          {"MATCH (a) WITH a.name AS name WHERE a.age > 3 RETURN name", {kScan}},
          {"MATCH (a:A), (o:B) OPTIONAL MATCH (a)-[r]->(o) WITH o WHERE r IS NULL RETURN o",
           {kCartesian}},
          {"MATCH (a) WITH * WHERE a.age > 3 RETURN 1", {kScan}},
          // Names that are really unbound there.
          {"MATCH (m:Movie) RETURN m.title AS title ORDER BY rating", {unbound("rating")}},
          {"MATCH (a) WITH a.name AS name ORDER BY b RETURN name", {kScan, unbound("b")}},
          {"MATCH (a) WITH a.name AS name WHERE a.age > 3 RETURN a", {kScan, unbound("a")}},
          {"MATCH (m:Movie) RETURN m.title AS t ORDER BY t SKIP t", {unbound("t")}},
          {"MATCH (a) WITH a.name AS name ORDER BY a.age LIMIT a.n RETURN name",
           {kScan, unbound("a")}},
          // Grouped or distinct rows have only the projected names.
          {"MATCH (a) WITH a.name AS name, count(*) AS c WHERE a.age > c RETURN name",
           {kScan, unbound("a")}},
          {"MATCH (a) WITH DISTINCT a.name AS name ORDER BY a.age RETURN name",
           {kScan, unbound("a")}},
          {"MATCH (a) WITH size([x IN collect(a.n) | x]) AS k ORDER BY a.age RETURN k",
           {kScan, unbound("a")}},
          // A projected name replaces the earlier binding, with the labels of the variable it
          // projects (none for another expression).
          {"MATCH (m:Movie) RETURN m.title ORDER BY m.budget", {budget}},
          {"MATCH (m:Movie) RETURN m.title AS m ORDER BY m.budget", {}},
          {"MATCH (m:Movie) WITH m.title AS t WHERE m.budget > 1 RETURN t", {budget}},
          {"MATCH (m:Movie) WITH m.title AS m WHERE m.budget > 1 RETURN m", {}},
          {"MATCH (m:Movie), (g:Genre) RETURN g AS m, m AS g ORDER BY m.title, g.name",
           {kCartesian,
            {"E303", "Unknown property 'title' on variable 'm' with label :Genre"},
            {"E303", "Unknown property 'name' on variable 'g' with label :Movie"}}},
      });
}

// A variable bound again gains the labels it lacks, in order, past the two most variables carry
// (a first binding keeps its repeats); a WITH projects the whole list.
TEST(SemanticWalk, AVariableKeepsEveryLabelItIsBoundWith) {
  const Finding person = {"E303",
                          "Unknown property 'zz' on variable 'b' with label :Person, did you mean "
                          ".age?",
                          "zz", "age"};
  check_cases(kMoviesSchema,
              {
                  {"MATCH (a:Person:X:Person) MATCH (a:Movie:Person) "
                   "MATCH (:Person)-[a:ACTED_IN]->(:Movie) WITH a AS b RETURN b.zz",
                   {{"E201", "Unknown node label: :X"},
                    person,
                    person,
                    {"E303", "Unknown property 'zz' on variable 'b' with label :Movie"},
                    {"E304", "Unknown property 'zz' on variable 'b' with relationship type "
                             ":ACTED_IN"}}},
              });
}

TEST(SemanticWalk, UnionArmsAndCallSubqueries) {
  check_cases(kMoviesSchema,
              {
                  {"MATCH (a) RETURN a UNION RETURN a", {kScan, unbound("a")}},
                  {"MATCH (a:Person) RETURN a UNION ALL MATCH (b:Person) RETURN b", {}},
                  {"MATCH (a:Person) RETURN a UNION RETURN 1 AS a UNION RETURN a",
                   {unbound("a")}},
                  {"CALL { MATCH (m:Movie) RETURN m } RETURN m", {}},
                  {"MATCH (a:Person) CALL { MATCH (m:Movi) RETURN m } RETURN a, m",
                   {{"E201", "Unknown node label: :Movi, did you mean :Movie?", ":Movi", ":Movie"}},
                   "MATCH (a:Person) CALL { MATCH (m:Movie) RETURN m } RETURN a, m"},
              });
}

// A CALL subquery sees the outer variables; after it the scope holds what it held before, what
// the subquery bound, and the names its RETURN projects.
TEST(SemanticWalk, CallSubqueryScopes) {
  constexpr std::string_view kSchema =
      R"({"nodes":{"Movie":["title"],"User":["name"]},)"
      R"("relationships":{"RATED":["User","Movie",[]]}})";
  check_cases(
      kSchema,
      {
          {"MATCH (a), (b) CALL { WITH a RETURN a AS x } RETURN b, x", {kCartesian, kScan}},
          {"MATCH (m:Movie) CALL { WITH m MATCH (u:User)-[:RATED]->(m) RETURN count(u) AS n } "
           "RETURN m.title, n",
           {}},
          {"MATCH (a) CALL { WITH a RETURN a AS x } RETURN y", {kScan, unbound("y")}},
          {"MATCH (m:Movie) CALL { WITH m CREATE (:User) } RETURN m", {}},
          {"CALL { MATCH (m:Movie) RETURN m.title AS t ORDER BY t } RETURN t", {}},
          // Labels follow the projection, and outer variables keep theirs.
          {"MATCH (m:Movie) CALL { WITH m AS k RETURN k AS x } RETURN x.nme, m.nme",
           {{"E303", "Unknown property 'nme' on variable 'x' with label :Movie"},
            {"E303", "Unknown property 'nme' on variable 'm' with label :Movie"}}},
          // A name a later UNION arm returns may come from any arm: it carries no labels.
          {"CALL { MATCH (m:Movie) RETURN m AS x } RETURN x.name",
           {{"E303", "Unknown property 'name' on variable 'x' with label :Movie"}}},
          {"CALL { MATCH (m:Movie) RETURN m AS x UNION MATCH (u:User) RETURN u AS x } "
           "RETURN x.name",
           {}},
          // A name bound by a WITH inside: seen after that WITH, not before it nor once a later
          // WITH drops it.
          {"MATCH (m:Movie) CALL { WITH m AS k RETURN k.nme AS n } RETURN n",
           {{"E303", "Unknown property 'nme' on variable 'k' with label :Movie"}}},
          {"MATCH (m:Movie) CALL { MATCH (u:User) WHERE k.x = 1 WITH m AS k RETURN k AS y } "
           "RETURN y",
           {unbound("k")}},
          {"CALL { WITH 1 AS z WITH 2 AS w RETURN w } RETURN w, z", {unbound("z")}},
      });
}

// Each UNION arm of a subquery starts from the scope the subquery sees, not from the one the
// arm before it left; the arms of the whole query start from nothing.
TEST(SemanticWalk, UnionArmsOfASubqueryStartFromItsScope) {
  check_cases(
      kFilmsSchema,
      {
          {"MATCH (p:P) CALL { WITH p RETURN p.name AS n UNION WITH p RETURN p.name AS n } "
           "RETURN n",
           {}},
          // The first arm's WITH dropped q; the second arm still sees it.
          {"MATCH (p:P), (q:P) CALL { WITH p RETURN p.name AS n UNION WITH q RETURN q.name AS n } "
           "RETURN n",
           {kCartesian}},
          // Labels come along: p is a P in every arm.
          {"MATCH (p:P) CALL { WITH p RETURN p.name AS n UNION ALL WITH p RETURN p.nme AS n } "
           "RETURN n",
           {{"E303", "Unknown property 'nme' on variable 'p' with label :P, did you mean .name?",
             "nme", "name"}},
           "MATCH (p:P) CALL { WITH p RETURN p.name AS n UNION ALL WITH p RETURN p.name AS n } "
           "RETURN n"},
          {"MATCH (p:P) RETURN COUNT { WITH p RETURN p.name AS n UNION WITH p RETURN p AS n } AS c",
           {}},
          {"MATCH (p:P) RETURN COLLECT { MATCH (q:P) WHERE q.name = p.name RETURN q UNION "
           "MATCH (q:A) WHERE p.name IS NULL RETURN q } AS c",
           {}},
          // What one arm binds, the next does not see.
          {"MATCH (p:P) CALL { WITH p MATCH (q:P) RETURN q.name AS n UNION WITH p RETURN q.name AS "
           "n } RETURN n",
           {unbound("q")}},
          {"MATCH (p:P) RETURN p.name AS n UNION WITH p RETURN p.name AS n", {unbound("p")}},
      });
}

TEST(SemanticWalk, ScopedConstructsPutTheScopeBack) {
  check_cases(
      kMoviesSchema,
      {
          // FOREACH binds its variable for the body only; the body's patterns are checked.
          {"FOREACH (x IN [1] | CREATE (:Persn))",
           {{"E201", "Unknown node label: :Persn, did you mean :Person?", ":Persn", ":Person"}},
           "FOREACH (x IN [1] | CREATE (:Person))"},
          {"FOREACH (x IN [1] | CREATE (:Person)) RETURN x", {unbound("x")}},
          // A FOREACH variable that is already bound keeps its labels and stays bound.
          {"MATCH (x:Person) FOREACH (x IN [1] | SET x.nme = 1) RETURN x",
           {{"E303",
             "Unknown property 'nme' on variable 'x' with label :Person, did you mean .name?",
             "nme", "name"}},
           "MATCH (x:Person) FOREACH (x IN [1] | SET x.name = 1) RETURN x"},
          {"FOREACH (x IN [1] | FOREACH (y IN [x] | CREATE (:Person {name: y})))", {}},
          // A pattern comprehension binds its path's variables for its WHERE and projection.
          {"MATCH (a:Person) RETURN [(a)-[:ACTED_IN]->(m:Movie) WHERE m.title = a.name | m.titl], m",
           {{"E303",
             "Unknown property 'titl' on variable 'm' with label :Movie, did you mean .title?",
             "titl", "title"},
            unbound("m")}},
          // EXISTS binds its pattern's variables inside only and gives no shape warnings.
          {"MATCH (a:Person) WHERE EXISTS { (a)--(b), (c) } RETURN b", {unbound("b")}},
          {"MATCH (a:Person) WHERE EXISTS { (a)-[:ACTD]->(:Movie) } RETURN a",
           {{"E211", "Unknown relationship type: :ACTD"}}},
          // COUNT and COLLECT start from the enclosing scope and put it back afterwards.
          {"MATCH (a:Person) RETURN COUNT { MATCH (a)-[:ACTED_IN]->(m:Movie) RETURN m } AS c, m",
           {unbound("m")}},
          {"MATCH (a:Person) RETURN COLLECT { WITH 1 AS z RETURN z } AS c, a, z",
           {unbound("z")}},
      });
}

TEST(SemanticWalk, StandaloneCallHasNoFindings) {
  check_cases(kMoviesSchema, {{"CALL db.labels()", {}}, {"CALL db.labels() YIELD x", {}}});
}

}  // namespace
}  // namespace morvane::validator::testing
