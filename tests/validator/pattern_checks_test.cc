// Pattern checks: labels, types and pattern property keys against the schema, relationship
// endpoints, SET and REMOVE labels, and the shape warnings of MATCH.
#include <gtest/gtest.h>

#include "validate_test_util.h"

namespace morvane::validator::testing {
namespace {

const Finding kUnbounded{"W202",
                         "Variable-length relationship without an upper bound ([*] or [*n..]) may "
                         "cause unbounded traversal"};

Finding wrong_endpoint(const std::string& role, const std::string& expected,
                       const std::string& labels) {
  return {"E401", "Relationship :ACTED_IN expects " + role + " label :" + expected +
                      ", but node has label(s): " + labels};
}

TEST(PatternChecks, LabelsAndPropertyMapsOfNodes) {
  check_cases(
      kMoviesSchema,
      {
          {"MATCH (p:Persn) RETURN p",
           {{"E201", "Unknown node label: :Persn, did you mean :Person?", ":Persn", ":Person"}},
           "MATCH (p:Person) RETURN p"},
          // One E301 per label lacking the key; the hint is per label.
          {"MATCH (p:Person:Movie {nme: 1}) RETURN p",
           {{"E301", "Unknown property 'nme' for node label :Person, did you mean .name?", "nme",
             "name"},
            {"E301", "Unknown property 'nme' for node label :Movie"}}},
          // The node has both labels: a key one of them declares is known.
          {"MATCH (p:Person:Movie {title: 1}) RETURN p", {}},
          {"MATCH (p:Person:Movie {title: 1, nme: 2}) RETURN p",
           {{"E301", "Unknown property 'nme' for node label :Person, did you mean .name?", "nme",
             "name"},
            {"E301", "Unknown property 'nme' for node label :Movie"}}},
          {"MATCH (p:Person:Foo {title: 1}) RETURN p",
           {{"E201", "Unknown node label: :Foo"},
            {"E301", "Unknown property 'title' for node label :Person"}}},
          // Keys outer, labels inner, in the order written.
          {"MATCH (p:Movie:Person {zzzzz: 1, bogus: 2}) RETURN p",
           {{"E301", "Unknown property 'zzzzz' for node label :Movie"},
            {"E301", "Unknown property 'zzzzz' for node label :Person"},
            {"E301", "Unknown property 'bogus' for node label :Movie"},
            {"E301", "Unknown property 'bogus' for node label :Person"}}},
          {"MATCH (p:Person {name: $x}) RETURN p", {}},
          {"MATCH (p:Person $props) RETURN p", {}},
          {"MATCH (p {nme: 1}) RETURN p", {kScan}},
          // An undeclared label gets its E201 and no property checks.
          {"MATCH (x:Foo {a: 1}) RETURN x", {{"E201", "Unknown node label: :Foo"}}},
          // Names compare exactly: a label in another case is unknown but proposed.
          {"MATCH (p:person) RETURN p",
           {{"E201", "Unknown node label: :person, did you mean :Person?", ":person", ":Person"}},
           "MATCH (p:Person) RETURN p"},
          {"CREATE (p:Persn {nme: 'x'})",
           {{"E201", "Unknown node label: :Persn, did you mean :Person?", ":Persn", ":Person"}},
           "CREATE (p:Person {nme: 'x'})"},
          {"MERGE (p:Person {agee: 1})",
           {{"E301", "Unknown property 'agee' for node label :Person, did you mean .age?", "agee",
             "age"}},
           "MERGE (p:Person {age: 1})"},
      });
}

TEST(PatternChecks, RelationshipTypesPropertiesAndEndpoints) {
  check_cases(
      kMoviesSchema,
      {
          {"MATCH (a:Movie)-[:ACTED_IN]->(b:Movie) RETURN a",
           {wrong_endpoint("source", "Person", ":Movie")}},
          {"MATCH (a:Movie)<-[:ACTED_IN]-(b:Movie) RETURN a",
           {wrong_endpoint("source", "Person", ":Movie")}},
          // Both heads: the leading "<" decides.
          {"MATCH (a:Person)<-[:ACTED_IN]->(b:Person) RETURN a",
           {wrong_endpoint("target", "Movie", ":Person")}},
          {"MATCH (a:Movie)-[:ACTED_IN]-(b:Person) RETURN a", {}},
          {"MATCH (a)-[:ACTED_IN]->(b:Foo) RETURN a", {{"E201", "Unknown node label: :Foo"}}},
          {"MATCH (a:Person:Movie)-[:ACTED_IN]->(b:Movie) RETURN a", {}},
          // The endpoint check comes before the right node's own checks, and lists every label.
          {"MATCH (a:Person)-[:ACTED_IN]->(b:Person:Foo) RETURN a",
           {wrong_endpoint("target", "Movie", ":Person, :Foo"), {"E201", "Unknown node label: :Foo"}}},
          // Along a chain, each relationship sees the nodes on either side of it.
          {"MATCH (a:Person)-[:ACTED_IN]->(m:Movie)<-[:ACTED_IN]-(b:Movie) RETURN a",
           {wrong_endpoint("source", "Person", ":Movie")}},
          // Every alternative is checked on its own; an unknown one is skipped after its E211.
          {"MATCH (a:Person)-[:ACTED_IN|DIRECTED]->(b:Movie) RETURN a",
           {{"E211", "Unknown relationship type: :DIRECTED"}}},
          {"MATCH (a:Movie)-[:ACTED_IN|ACTED_IN]->(b:Person) RETURN a",
           {wrong_endpoint("source", "Person", ":Movie"), wrong_endpoint("target", "Movie", ":Person"),
            wrong_endpoint("source", "Person", ":Movie"),
            wrong_endpoint("target", "Movie", ":Person")}},
          {"MATCH (a:Person)-[r:ACTED_IN {roles: 1}]->(b:Movie) RETURN r",
           {{"E302", "Unknown property 'roles' for relationship type :ACTED_IN, did you mean .role?",
             "roles", "role"}},
           "MATCH (a:Person)-[r:ACTED_IN {role: 1}]->(b:Movie) RETURN r"},
          {"MATCH (a:Person)-[r:ACTED_IN $p]->(b:Movie) RETURN r", {}},
          {"MATCH (a:Person)-[:ACTD {x: 1}]->(b:Movie) RETURN a",
           {{"E211", "Unknown relationship type: :ACTD"}}},
          {"MATCH (a:Person)-[:ACTEDIN]->(b:Movie) RETURN a",
           {{"E211", "Unknown relationship type: :ACTEDIN, did you mean :ACTED_IN?", ":ACTEDIN",
             ":ACTED_IN"}},
           "MATCH (a:Person)-[:ACTED_IN]->(b:Movie) RETURN a"},
          {"MATCH (a:Person)-->(b:Movie) RETURN a", {}},
      });
}

// A relationship has one of its alternative types: a key or an endpoint that one declared type
// fits is right; when none fits, each type has its findings, in order.
TEST(PatternChecks, AlternativeTypesFitWhenOneOfThemDoes) {
  auto endpoint = [](const std::string& type, const std::string& role, const std::string& expected,
                     const std::string& labels) {
    return Finding{"E401", "Relationship :" + type + " expects " + role + " label :" + expected +
                               ", but node has label(s): " + labels};
  };
  check_cases(
      kFilmsSchema,
      {
          {"MATCH (a:A)-[:R|S]->(b:B) RETURN b", {}},
          {"MATCH (c:C)-[:R|S]->(b:B) RETURN b", {}},
          {"MATCH (b:B)<-[:S|R]-(a:A) RETURN b", {}},
          {"MATCH (a:A)-[:R|S]-(m:Movie) RETURN a", {}},
          // The source fits through R; no type fits the target.
          {"MATCH (a:A)-[:R|S]->(m:Movie) RETURN m",
           {endpoint("R", "target", "B", ":Movie"), endpoint("S", "target", "B", ":Movie")}},
          {"MATCH (p:Person)-[:R|S]->(b:B) RETURN b",
           {endpoint("R", "source", "A", ":Person"), endpoint("S", "source", "C", ":Person")}},
          {"MATCH (a:A)<-[:R|S]-(b:B) RETURN b",
           {endpoint("R", "source", "A", ":B"), endpoint("R", "target", "B", ":A"),
            endpoint("S", "source", "C", ":B"), endpoint("S", "target", "B", ":A")}},
          // An undeclared alternative fits nothing.
          {"MATCH (p:Person)-[:R|Q]->(b:B) RETURN b",
           {endpoint("R", "source", "A", ":Person"),
            {"E211", "Unknown relationship type: :Q, did you mean :R?", ":Q", ":R"}}},
          {"MATCH (p:Person)-[r:ACTED_IN|DIRECTED {roles: 'x'}]->(m:Movie) RETURN r", {}},
          {"MATCH (p:Person)-[r:ACTED_IN|DIRECTED {rols: 'x', roles: 'y'}]->(m:Movie) RETURN r",
           {{"E302",
             "Unknown property 'rols' for relationship type :ACTED_IN, did you mean .roles?",
             "rols", "roles"},
            {"E302", "Unknown property 'rols' for relationship type :DIRECTED"}}},
      });
}

TEST(PatternChecks, AnEmptySchemaKnowsNoNames) {
  check_cases(kEmptySchema,
              {
                  {"MATCH (a:Person {x: 1})-[:R {y: 2}]->(b:Movie) RETURN a.z",
                   {{"E201", "Unknown node label: :Person"},
                    {"E211", "Unknown relationship type: :R"},
                    {"E201", "Unknown node label: :Movie"}}},
              });
}

TEST(PatternChecks, SetAndRemoveLabels) {
  check_cases(
      kMoviesSchema,
      {
          {"MATCH (n:Person) SET n:Persn:Movie REMOVE n:Movi",
           {{"E202", "Unknown node label in SET: :Persn, did you mean :Person?", ":Persn",
             ":Person"},
            {"E203", "Unknown node label in REMOVE: :Movi, did you mean :Movie?", ":Movi",
             ":Movie"}},
           // Only the flagged names change: the ":Movie" written before ":Movi" stays.
           "MATCH (n:Person) SET n:Person:Movie REMOVE n:Movie"},
          {"MATCH (n:Person) SET n:Xyz", {{"E202", "Unknown node label in SET: :Xyz"}}},
          {"MATCH (n:Person) REMOVE n:Person:Movie", {}},
      });
}

TEST(PatternChecks, CartesianProductWarning) {
  check_cases(kMoviesSchema,
              {
                  {"MATCH (a:Person), (b:Movie) RETURN a, b", {kCartesian}},
                  {"MATCH (a:Person), (a)-[:ACTED_IN]->(m:Movie) RETURN m", {}},
                  {"MATCH (a:Person), (:Movie) RETURN a", {kCartesian}},
                  // At most one per MATCH.
                  {"MATCH (a:Person), (b:Movie), (c:Movie) RETURN a", {kCartesian}},
                  // A later part may connect to any earlier one, through any of its variables.
                  {"MATCH (a:Person), (m:Movie)<-[r:ACTED_IN]-(a), (x:Person)-[r]->(y:Movie) "
                   "RETURN a",
                   {}},
                  {"MATCH p = (a:Person), (b:Movie)-[:ACTED_IN]-(c:Person) RETURN p", {kCartesian}},
                  {"MATCH (a:Person) RETURN a", {}},
              });
}

TEST(PatternChecks, ScanAndUnboundedRangeWarnings) {
  check_cases(kMoviesSchema,
              {
                  {"MATCH (n) RETURN n", {kScan}},
                  {"MATCH (n) WHERE n.age > 3 RETURN n", {}},
                  {"MATCH (a:Person)-[:ACTED_IN*]->(b:Movie) RETURN b", {kUnbounded}},
                  {"MATCH (a:Person)-[:ACTED_IN*1..3]->(b:Movie) RETURN b", {}},
                  {"MATCH (a:Person)-[:ACTED_IN*2..]->(b:Movie) RETURN b", {kUnbounded}},
                  {"MATCH (a:Person)-[:ACTED_IN*2]->(b:Movie) RETURN b", {}},
                  // The scan warning comes first, then one per unbounded relationship in order.
                  {"MATCH (a)-[*]->(b)-[*3..]-(c) RETURN a", {kScan, kUnbounded, kUnbounded}},
                  // Only MATCH gets shape warnings.
                  {"CREATE (a)-[:ACTED_IN]->(b)", {}},
                  {"MERGE (a)", {}},
              });
}

// A MATCH without WHERE scans all nodes only through a pattern part none of whose nodes has a
// label written or a variable bound before the part: by an earlier clause (a CALL subquery's
// RETURN among them), an earlier part of the pattern, or the query around a subquery.
TEST(PatternChecks, ScanWarningNeedsAPartThatStartsNowhere) {
  check_cases(
      kFilmsSchema,
      {
          {"MATCH (p:Person {name: 'x'}) MATCH (p)-[:ACTED_IN]->(m:Movie) RETURN m.title", {}},
          {"MATCH (p:Person) OPTIONAL MATCH (p)-[:DIRECTED]->(m:Movie) RETURN m", {}},
          {"MATCH (p:Person)-[:ACTED_IN]->(m) RETURN m", {}},
          {"MATCH (p:Person) MATCH (p)-[:ACTED_IN]->(m) RETURN m", {}},
          {"MATCH (p:Person) WITH p MATCH (m)<-[:ACTED_IN]-(p) RETURN m", {}},
          {"MATCH (a:Person), (a)-->(b) RETURN b", {}},
          {"CALL { MATCH (m:Movie) RETURN m } MATCH (m)<--(p) RETURN p", {}},
          {"MATCH (p:Person) RETURN COUNT { MATCH (p)-->(x) RETURN x } AS c", {}},
          // Parts that start nowhere.
          {"MATCH (n) RETURN n", {kScan}},
          {"MATCH (a:Person), (b) RETURN a, b", {kCartesian, kScan}},
          {"MATCH (a)-->(b), (b)-->(c:Movie) RETURN c", {kScan}},
          // Bound by a later part or a later clause is not bound before.
          {"MATCH (b)-->(a), (a:Person) RETURN b", {kScan}},
          {"MATCH (a)-->(b) MATCH (a:Person) RETURN b", {kScan}},
          {"CALL { MATCH (m:Movie) RETURN m.title AS t } MATCH (x)<--(p) RETURN p, t", {kScan}},
          {"MATCH (p:Person) RETURN COUNT { MATCH (q)-->(x) RETURN x } AS c", {kScan}},
          {"MATCH (a), (b) WHERE a.name = b.name RETURN a", {kCartesian}},
      });
}

}  // namespace
}  // namespace morvane::validator::testing
