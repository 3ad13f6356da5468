// Expression and projection checks: unbound variables, property keys read from bound
// variables, function calls, aggregates in forbidden places, SKIP and LIMIT literals and
// duplicate projection names.
#include <gtest/gtest.h>

#include "validate_test_util.h"

namespace morvane::validator::testing {
namespace {

Finding arity(const std::string& name, const std::string& expected, int given) {
  return {"E603", "Function " + name + "() expects " + expected + " argument(s), got " +
                      std::to_string(given)};
}
Finding string_arg(const std::string& name) {
  return {"E601", "Aggregate function " + name +
                      "() received a string literal; expected a numeric expression"};
}
Finding forbidden_aggregate(const std::string& context) {
  return {"E602", "Aggregate function not allowed in " + context +
                      " context; aggregates are only valid in RETURN, WITH, or ORDER BY"};
}
Finding unknown_function(const std::string& name) {
  return {"W103",
          "Unknown function " + name + "(); if this is a user-defined function, ignore this warning"};
}
Finding pagination(const std::string& code, const std::string& clause, const std::string& got) {
  return {code, clause + " expression must be an integer, got " + got};
}

TEST(ExpressionChecks, VariablesAndTheirOrder) {
  check_cases(kPeopleSchema,
              {
                  {"RETURN x", {unbound("x")}},
                  // The property check finds nothing for an unbound variable; E501 follows.
                  {"RETURN q.name", {unbound("q")}},
                  {"RETURN CASE a WHEN b THEN c ELSE d END",
                   {unbound("a"), unbound("b"), unbound("c"), unbound("d")}},
                  {"RETURN CASE WHEN a THEN b WHEN c THEN d END",
                   {unbound("a"), unbound("b"), unbound("c"), unbound("d")}},
                  {"RETURN a[b..c], d[e], f[..g]",
                   {unbound("a"), unbound("b"), unbound("c"), unbound("d"), unbound("e"),
                    unbound("f"), unbound("g")}},
                  // Map values in the order their keys were first written.
                  {"RETURN {k: a, j: b, k: c}", {unbound("c"), unbound("b")}},
                  {"RETURN [a, -b, NOT c, d IS NULL, e IS NOT NULL, f + g * h ^ i]",
                   {unbound("a"), unbound("b"), unbound("c"), unbound("d"), unbound("e"),
                    unbound("f"), unbound("g"), unbound("h"), unbound("i")}},
                  {"RETURN a OR b XOR c AND d = e <> f < g <= h > i >= j =~ k",
                   {unbound("a"), unbound("b"), unbound("c"), unbound("d"), unbound("e"),
                    unbound("f"), unbound("g"), unbound("h"), unbound("i"), unbound("j"),
                    unbound("k")}},
                  {"RETURN a IN b, c STARTS WITH d, e ENDS WITH f, g CONTAINS h, i - j / k % l",
                   {unbound("a"), unbound("b"), unbound("c"), unbound("d"), unbound("e"),
                    unbound("f"), unbound("g"), unbound("h"), unbound("i"), unbound("j"),
                    unbound("k"), unbound("l")}},
                  {"RETURN $p, 1, 1.5, 'x', true, null, count(*)", {}},
              });
}

TEST(ExpressionChecks, LoopVariablesAreBoundForTheirBodyOnly) {
  check_cases(kPeopleSchema,
              {
                  {"RETURN [x IN [1, 2] | x + y]", {unbound("y")}},
                  {"RETURN [x IN [1] | x], x", {unbound("x")}},
                  // The list is read before the variable is bound.
                  {"RETURN [x IN x WHERE x > 1]", {unbound("x")}},
                  {"RETURN all(x IN [1] WHERE x > z), x", {unbound("z"), unbound("x")}},
                  {"RETURN any(x IN [1] WHERE x), none(x IN [1] WHERE x), single(x IN [1] WHERE x)",
                   {}},
                  {"RETURN reduce(s = 0, x IN [1] | s + x + y), s", {unbound("y"), unbound("s")}},
                  {"RETURN reduce(s = s, x IN x | s + x)", {unbound("s"), unbound("x")}},
                  // A variable bound already stays bound, with its labels.
                  {"MATCH (p:Person) RETURN [p IN [p] | p.nme], p",
                   {{"E303",
                     "Unknown property 'nme' on variable 'p' with label :Person, did you mean "
                     ".name?",
                     "nme", "name"}},
                   "MATCH (p:Person) RETURN [p IN [p] | p.name], p"},
                  {"RETURN [x IN [1] | [y IN [x] | x + y]], y", {unbound("y")}},
              });
}

TEST(ExpressionChecks, PropertyAccessOnBoundVariables) {
  check_cases(
      kPeopleSchema,
      {
          {"MATCH (p:Person) RETURN p.nme",
           {{"E303",
             "Unknown property 'nme' on variable 'p' with label :Person, did you mean .name?",
             "nme", "name"}},
           "MATCH (p:Person) RETURN p.name"},
          {"MATCH (p:Person)-[k:KNOWS]->(q:Person) RETURN k.sinse",
           {{"E304",
             "Unknown property 'sinse' on variable 'k' with relationship type :KNOWS, did you "
             "mean .since?",
             "sinse", "since"}},
           "MATCH (p:Person)-[k:KNOWS]->(q:Person) RETURN k.since"},
          {"MATCH (p) RETURN p.anything", {kScan}},
          // Only the first key of a chain is checked against the variable.
          {"MATCH (p:Person) RETURN p.nme.zzz",
           {{"E303",
             "Unknown property 'nme' on variable 'p' with label :Person, did you mean .name?",
             "nme", "name"}},
           "MATCH (p:Person) RETURN p.name.zzz"},
          {"MATCH (p:Person) RETURN p[0].zzz, (p).name", {}},
          // SET and REMOVE check every key against the variable's labels.
          {"MATCH (p:Person) SET p.address.city = 1",
           {{"E303", "Unknown property 'address' on variable 'p' with label :Person"},
            {"E303", "Unknown property 'city' on variable 'p' with label :Person"}}},
          {"MATCH (p:Person)-[k:KNOWS]->(q:Person) REMOVE k.sinse, p.agee",
           {{"E304",
             "Unknown property 'sinse' on variable 'k' with relationship type :KNOWS, did you "
             "mean .since?",
             "sinse", "since"},
            {"E303",
             "Unknown property 'agee' on variable 'p' with label :Person, did you mean .age?",
             "agee", "age"}},
           "MATCH (p:Person)-[k:KNOWS]->(q:Person) REMOVE k.since, p.age"},
          {"MATCH (p:Person) SET p.name = 'x', p = {nme: 1}, p += {nme: 2}", {}},
          // An undeclared label or type on the variable is passed over.
          {"MATCH (p:Persn) RETURN p.nme",
           {{"E201", "Unknown node label: :Persn, did you mean :Person?", ":Persn", ":Person"}},
           "MATCH (p:Person) RETURN p.nme"},
      });
}

// A node has every label it is bound with, a relationship one of its types: a key one of them
// declares is known; a key none declares gets a finding for each, in order.
TEST(ExpressionChecks, PropertyAccessOnSeveralLabelsOrTypes) {
  check_cases(
      kFilmsSchema,
      {
          {"MATCH (p:Person)-[r:ACTED_IN|DIRECTED]->(m:Movie) RETURN r.roles", {}},
          {"MATCH (p:Person)-[r:ACTED_IN|DIRECTED]->(m:Movie) RETURN r.rols",
           {{"E304",
             "Unknown property 'rols' on variable 'r' with relationship type :ACTED_IN, did you "
             "mean .roles?",
             "rols", "roles"},
            {"E304", "Unknown property 'rols' on variable 'r' with relationship type :DIRECTED"}}},
          {"MATCH (p:Person:Movie) RETURN p.title, p.born", {}},
          {"MATCH (p:Person) MATCH (p:Movie) WITH p AS q RETURN q.title", {}},
          {"MATCH (p:Person:Movie) RETURN p.titl",
           {{"E303", "Unknown property 'titl' on variable 'p' with label :Person"},
            {"E303",
             "Unknown property 'titl' on variable 'p' with label :Movie, did you mean .title?",
             "titl", "title"}}},
          // SET and REMOVE: each key on its own.
          {"MATCH (p:Person:Movie) SET p.title = 1 REMOVE p.born", {}},
          {"MATCH (p:Movie:Person) SET p.name.nme = 1",
           {{"E303", "Unknown property 'nme' on variable 'p' with label :Movie"},
            {"E303",
             "Unknown property 'nme' on variable 'p' with label :Person, did you mean .name?",
             "nme", "name"}}},
      });
}

TEST(ExpressionChecks, PropertyAccessOnNamesThatAreLabelsAndTypes) {
  // "Both" is a label (with alpha) and a type (with beta): it is checked as a label only.
  check_cases(
      R"({"nodes":{"Both":["alpha"]},"relationships":{"Both":["Both","Both",["beta"]]}})",
      {
          {"MATCH (x)-[r:Both]->(y) RETURN r.beta, r.alpha",
           {kScan, {"E303", "Unknown property 'beta' on variable 'r' with label :Both"}}},
      });
}

TEST(ExpressionChecks, FunctionCalls) {
  check_cases(kPeopleSchema,
              {
                  {"RETURN toUpper('a'), TOUPPER('a'), ToUpper('a')", {}},
                  {"RETURN myfn(1)", {unknown_function("myfn")}},
                  {"RETURN my.lib.fn(1)", {unknown_function("my.lib.fn")}},
                  // Unknown functions get no arity or DISTINCT checks; arguments come after.
                  {"RETURN myfn(DISTINCT x)", {unknown_function("myfn"), unbound("x")}},
                  {"RETURN substring('abc')", {arity("substring", "2-3", 1)}},
                  {"RETURN coalesce()", {arity("coalesce", "at least 1", 0)}},
                  {"RETURN coalesce(1, 2, 3, 4, 5)", {}},
                  {"RETURN round(1, 2, 3)", {arity("round", "1-2", 3)}},
                  {"RETURN pi(1)", {arity("pi", "0", 1)}},
                  {"RETURN length([1]), LENGTH('ab'), length()", {arity("length", "1", 0)}},
                  {"RETURN Date(), date(1), DATE(1, 2)", {arity("DATE", "0-1", 2)}},
                  {"RETURN toLower(DISTINCT 'A')",
                   {{"W104",
                     "DISTINCT is used with non-aggregate function toLower(); DISTINCT only has "
                     "meaning with aggregate functions"}}},
                  {"RETURN count(DISTINCT 1), collect(DISTINCT 1)", {}},
                  {"RETURN toLower(DISTINCT 'a', 'b')",
                   {arity("toLower", "1", 2),
                    {"W104",
                     "DISTINCT is used with non-aggregate function toLower(); DISTINCT only has "
                     "meaning with aggregate functions"}}},
                  {"RETURN sum('a', 'b')", {arity("sum", "1", 2), string_arg("sum"), string_arg("sum")}},
                  {"RETURN max('a'), min('a'), count('a'), collect('a')", {}},
                  {"RETURN AVG('x'), stDev('x'), stdevp('x'), percentileCont('x', 0.5), "
                   "percentileDisc(1, 'x'), sum(1 + 'a')",
                   {string_arg("AVG"), string_arg("stDev"), string_arg("stdevp"),
                    string_arg("percentileCont"), string_arg("percentileDisc")}},
                  {"RETURN size(x), myfn(y)", {unbound("x"), unknown_function("myfn"), unbound("y")}},
              });
}

// Built-in functions beyond the classic ones, namespaced ones among them: known in any case, with
// their argument counts; a name outside the table, in a known namespace too, stays unknown.
TEST(ExpressionChecks, MoreBuiltInFunctions) {
  check_cases(
      kPeopleSchema,
      {
          {"RETURN isEmpty([]), isNaN(1.0), cot(1), haversin(1), char_length('a'), "
           "character_length('a'), valueType(1), toStringOrNull(1), toIntegerOrNull('1'), "
           "toFloatOrNull('1'), toBooleanOrNull('true'), toStringList([1]), toIntegerList(['1']), "
           "toFloatList(['1']), toBooleanList(['true']), datetime.fromEpochMillis(0)",
           {}},
          {"WITH date() AS a, date() AS b RETURN duration.between(a, b), duration.inMonths(a, b), "
           "duration.inDays(a, b), duration.inSeconds(a, b), datetime.fromEpoch(0, 0), "
           "point.distance(point({x: 0, y: 0}), point({x: 1, y: 1})), "
           "vector.similarity.euclidean([1], [2]), vector.similarity.cosine([1], [2])",
           {}},
          {"RETURN point.withinBBox(point({x: 0, y: 0}), point({x: 0, y: 0}), "
           "point({x: 1, y: 1})), btrim(' a '), btrim('xax', 'x'), normalize('a'), "
           "normalize('a', 'NFKC')",
           {}},
          {"RETURN date.truncate('day', date()), datetime.truncate('hour', datetime(), {}), "
           "localdatetime.truncate('day', localdatetime()), localtime.truncate('hour', "
           "localtime()), time.truncate('hour', time())",
           {}},
          {"RETURN date.realtime(), date.statement(), date.transaction('UTC'), "
           "datetime.realtime(), datetime.statement(), datetime.transaction(), "
           "localdatetime.realtime(), "
           "localdatetime.statement(), localdatetime.transaction(), localtime.realtime(), "
           "localtime.statement(), localtime.transaction(), time.realtime(), time.statement(), "
           "TIME.TRANSACTION()",
           {}},
          // Wrongly counted.
          {"RETURN isEmpty(), duration.between(date()), Duration.InSeconds(1, 2, 3)",
           {arity("isEmpty", "1", 0), arity("duration.between", "2", 1),
            arity("Duration.InSeconds", "2", 3)}},
          {"RETURN date.truncate('day'), btrim('a', 'b', 'c'), point.withinBBox(1, 2), "
           "time.realtime(1, 2), vector.similarity.cosine([1])",
           {arity("date.truncate", "2-3", 1), arity("btrim", "1-2", 3),
            arity("point.withinBBox", "3", 2), arity("time.realtime", "0-1", 2),
            arity("vector.similarity.cosine", "2", 1)}},
          {"RETURN isEmpty(DISTINCT [])",
           {{"W104",
             "DISTINCT is used with non-aggregate function isEmpty(); DISTINCT only has meaning "
             "with aggregate functions"}}},
          // User-defined functions, in the built-in namespaces too.
          {"RETURN duration.inYears(1, 2), date.parse('x'), vector.similarity(1, 2), my.isEmpty(1)",
           {unknown_function("duration.inYears"), unknown_function("date.parse"),
            unknown_function("vector.similarity"), unknown_function("my.isEmpty")}},
          // None is an aggregate.
          {"MATCH (p:Person) WHERE isEmpty(p.name) AND duration.inDays(p.age, p.age) IS NULL "
           "RETURN p",
           {}},
      });
}

TEST(ExpressionChecks, AggregatesOnlyWhereAllowed) {
  check_cases(
      kPeopleSchema,
      {
          {"MATCH (p:Person) WHERE count(p) > 1 RETURN p", {forbidden_aggregate("MATCH WHERE")}},
          // The aggregate check comes before the expression's own findings, once per expression.
          {"MATCH (p:Person) WHERE count(q) > sum(r) RETURN p",
           {forbidden_aggregate("MATCH WHERE"), unbound("q"), unbound("r")}},
          {"MATCH (p:Person) WITH p WHERE count(p) > 1 RETURN p", {}},
          {"MATCH (p:Person) SET p.age = sum(1)", {forbidden_aggregate("SET")}},
          {"MATCH (p:Person) SET p = {age: count(*)}, p += collect(1)",
           {forbidden_aggregate("SET"), forbidden_aggregate("SET")}},
          {"MATCH (p) DELETE collect(p)", {kScan, forbidden_aggregate("DELETE")}},
          {"MATCH (p:Person) DETACH DELETE p, head(collect(p))", {forbidden_aggregate("DELETE")}},
          // Looked through: operators, CASE, maps, lists, property access, subscripts and the
          // arguments of other calls.
          {"MATCH (p:Person) WHERE CASE WHEN true THEN {x: [count(*)]} END = 1 RETURN p",
           {forbidden_aggregate("MATCH WHERE")}},
          {"MATCH (p:Person) WHERE NOT size(collect(p)) > 1 RETURN p",
           {forbidden_aggregate("MATCH WHERE")}},
          {"MATCH (p:Person) WHERE collect(p)[0].name = 'x' RETURN p",
           {forbidden_aggregate("MATCH WHERE")}},
          // Not looked into: comprehensions, quantifiers, REDUCE, slices and subqueries.
          {"MATCH (p:Person) WHERE size([x IN [count(*)] | x]) > 1 RETURN p", {}},
          {"MATCH (p:Person) WHERE any(x IN [1] WHERE count(*) > 1) RETURN p", {}},
          {"MATCH (p:Person) WHERE reduce(s = 0, x IN [sum(1)] | s) > 1 RETURN p", {}},
          {"MATCH (p:Person) WHERE [1][count(*)..] = [] RETURN p", {}},
          {"MATCH (p:Person) WHERE COUNT { MATCH (q:Person) RETURN count(q) } > 1 RETURN p", {}},
          {"MATCH (p:Person) WHERE p.age > 1 RETURN count(p) ORDER BY count(p)", {}},
          {"MATCH (p:Person) WITH count(p) AS c UNWIND [sum(1)] AS x RETURN c, x", {}},
          // Aggregates inside a MATCH WHERE of a subquery are forbidden too.
          {"CALL { MATCH (p:Person) WHERE max(p.age) > 1 RETURN p } RETURN p",
           {forbidden_aggregate("MATCH WHERE")}},
      });
}

TEST(ExpressionChecks, SkipAndLimitLiterals) {
  Finding skip_string = pagination("E611", "SKIP", "a string literal");
  Finding skip_bool = pagination("E612", "SKIP", "a boolean literal");
  Finding limit_bool = pagination("E612", "LIMIT", "a boolean literal");
  Finding limit_null = pagination("E613", "LIMIT", "NULL");
  Finding limit_float = pagination("E614", "LIMIT", "a float literal");
  check_cases(kPeopleSchema,
              {
                  {"RETURN 1 SKIP 'a' LIMIT 1.5", {skip_string, limit_float}},
                  {"RETURN 1 LIMIT null", {limit_null}},
                  {"RETURN 1 LIMIT true", {limit_bool}},
                  {"WITH 1 AS x SKIP false RETURN x", {skip_bool}},
                  {"RETURN 1 LIMIT $n", {}},
                  {"RETURN 1 LIMIT -1", {}},
                  {"RETURN 1 LIMIT 1 + 'a'", {}},
                  // Anything but the four literals is an ordinary expression.
                  {"RETURN 1 SKIP n LIMIT (1.5)", {unbound("n"), limit_float}},
              });
}

TEST(ExpressionChecks, DuplicateProjectionNames) {
  Finding duplicate_p{"E502", "Duplicate projection name 'p' in RETURN/WITH"};
  Finding duplicate_a{"E502", "Duplicate projection name 'a' in RETURN/WITH"};
  check_cases(kPeopleSchema,
              {
                  {"MATCH (p:Person) RETURN p, p", {duplicate_p}},
                  {"RETURN 1 AS a, 2 AS a, 3 AS a", {duplicate_a, duplicate_a}},
                  {"MATCH (p:Person) RETURN p.name, p.name", {}},
                  {"MATCH (p:Person) RETURN p.name AS p, p", {duplicate_p}},
                  {"MATCH (p:Person) WITH p, p AS p RETURN p", {duplicate_p}},
                  // Backticks quote a name: `p` and p are one name, reported as written.
                  {"MATCH (p:Person) RETURN p AS `p`, p", {duplicate_p}},
                  {"MATCH (p:Person) RETURN p, p AS `p`",
                   {{"E502", "Duplicate projection name '`p`' in RETURN/WITH"}}},
                  {"MATCH (p:Person) RETURN p AS `p q`, p AS `p_q`", {}},
                  // Past sixteen items the names met are kept in a set: same findings, in order.
                  {"RETURN 1 AS a, 2 AS b1, 3 AS b2, 4 AS b3, 5 AS b4, 6 AS b5, 7 AS b6, 8 AS b7, "
                   "9 AS b8, 10 AS b9, 11 AS b10, 12 AS b11, 13 AS b12, 14 AS b13, 15 AS b14, "
                   "16 AS b15, 17 AS a, 18 AS c, 19 AS a",
                   {duplicate_a, duplicate_a}},
              });
}

}  // namespace
}  // namespace morvane::validator::testing
