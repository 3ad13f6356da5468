// Expressions: precedence and left folds, operators read from text, postfix chains and slices,
// atoms (calls, CASE, comprehensions, quantifiers, subqueries) and literal values.
#include <gtest/gtest.h>

#include "builder_test_util.h"

namespace morvane::parser {
namespace {

using builder_test::expect_rows;
using builder_test::expr_tree;
using builder_test::Row;

TEST(BuildExpression, PrecedenceAndLeftFolds) {
  const Row rows[] = {
      {"1", "Integer 1"},
      {"a OR b AND NOT c", "Or{Variable a, And{Variable b, Not{Variable c}}}"},
      {"a XOR b AND c", "Xor{Variable a, And{Variable b, Variable c}}"},
      {"a OR b OR c", "Or{Or{Variable a, Variable b}, Variable c}"},
      {"a AND b XOR c OR d", "Or{Xor{And{Variable a, Variable b}, Variable c}, Variable d}"},
      {"NOT a = b", "Not{Equal{Variable a, Variable b}}"},
      {"NOT NOT x", "Not{Not{Variable x}}"},
      {"NOT(x)", "Not{Variable x}"},
      {"a AND NOTHING", "And{Variable a, Variable NOTHING}"},
      {"n.note = 1", "Equal{PropertyAccess note{Variable n}, Integer 1}"},
      {"x IS NOT NULL", "IsNotNull{Variable x}"},
      {"NOT x IS NULL", "Not{IsNull{Variable x}}"},
      {"a + b IS NULL", "Add{Variable a, IsNull{Variable b}}"},
      {"a - b + c", "Add{Subtract{Variable a, Variable b}, Variable c}"},
      {"a / b * c", "Multiply{Divide{Variable a, Variable b}, Variable c}"},
      {"a * b % c", "Multiply{Variable a, Modulo{Variable b, Variable c}}"},
      {"a % b % c", "Modulo{Modulo{Variable a, Variable b}, Variable c}"},
      {"2 ^ 3 ^ 2", "Power{Power{Integer 2, Integer 3}, Integer 2}"},
      {"1 - -2", "Subtract{Integer 1, Negate{Integer 2}}"},
      {"-2 ^ 2", "Power{Negate{Integer 2}, Integer 2}"},
      {"-x.y", "Negate{PropertyAccess y{Variable x}}"},
      {"1 < 2 < 3", "LessThan{LessThan{Integer 1, Integer 2}, Integer 3}"},
      {"(1 + 2) * 3", "Multiply{Add{Integer 1, Integer 2}, Integer 3}"},
      {"((((x))))", "Variable x"},
      // The operator between two operands is read past whitespace and comments.
      {"a /* - */ + b", "Add{Variable a, Variable b}"},
      {"a - /* + */ b", "Subtract{Variable a, Variable b}"},
      {"a // * \n / b * c", "Multiply{Divide{Variable a, Variable b}, Variable c}"},
      {"a+b-c*d/e", "Subtract{Add{Variable a, Variable b}, Divide{Multiply{Variable c, Variable "
                    "d}, Variable e}}"},
  };
  expect_rows(rows, expr_tree);
}

TEST(BuildExpression, ComparisonOperators) {
  const Row rows[] = {
      {"a = b", "Equal{Variable a, Variable b}"},
      {"a <> b", "NotEqual{Variable a, Variable b}"},
      {"a < b", "LessThan{Variable a, Variable b}"},
      {"a <= b", "LessOrEqual{Variable a, Variable b}"},
      {"a > b", "GreaterThan{Variable a, Variable b}"},
      {"a >= b", "GreaterOrEqual{Variable a, Variable b}"},
      {"a =~ 'x.*'", "RegexMatch{Variable a, String \"x.*\"}"},
      {"x IN [1, 2]", "In{Variable x, List{Integer 1, Integer 2}}"},
      {"x in xs", "In{Variable x, Variable xs}"},
      {"x IN$p", "In{Variable x, Parameter p}"},
      {"a CONTAINS 'b'", "Contains{Variable a, String \"b\"}"},
      {"a starts with 'x'", "StartsWith{Variable a, String \"x\"}"},
      {"a StartsWith 'x'", "StartsWith{Variable a, String \"x\"}"},
      {"a ENDS /* c */ WITH 'x'", "EndsWith{Variable a, String \"x\"}"},
  };
  expect_rows(rows, expr_tree);
}

TEST(BuildExpression, PostfixChainsAndSlices) {
  const Row rows[] = {
      {"xs[0][1]", "Subscript{Subscript{Variable xs, Integer 0}, Integer 1}"},
      {"n.a.b", "PropertyAccess b{PropertyAccess a{Variable n}}"},
      {"a.b[0].c", "PropertyAccess c{Subscript{PropertyAccess b{Variable a}, Integer 0}}"},
      {"n. /* c */ name", "PropertyAccess name{Variable n}"},
      {"n.`count`", "PropertyAccess `count`{Variable n}"},
      {"x IS NULL IS NULL", "IsNull{IsNull{Variable x}}"},
      {"x is\tnot\nnull", "IsNotNull{Variable x}"},
      {"x IS NULL.y", "PropertyAccess y{IsNull{Variable x}}"},
      {"xs[..3]", "Slice{Variable xs, To{Integer 3}}"},
      {"xs[2 ..]", "Slice{Variable xs, From{Integer 2}}"},
      {"xs[ /* c */ i ..]", "Slice{Variable xs, From{Variable i}}"},
      {"xs[.. /* c */ i]", "Slice{Variable xs, To{Variable i}}"},
      {"xs[..]", "Slice{Variable xs}"},
      {"xs[a..b]", "Slice{Variable xs, From{Variable a}, To{Variable b}}"},
      {"xs[1 ..3]", "Slice{Variable xs, From{Integer 1}, To{Integer 3}}"},
  };
  expect_rows(rows, expr_tree);
}

TEST(BuildExpression, CallsAndCompoundAtoms) {
  const Row rows[] = {
      {"count(*)", "CountStar"},
      {"COUNT ( * )", "CountStar"},
      {"count(n)", "FunctionCall count{Variable n}"},
      {"count(DISTINCT n)", "FunctionCall count distinct{Variable n}"},
      {"COUNT( /* c */ distinct n)", "FunctionCall COUNT distinct{Variable n}"},
      {"count(distinctX)", "FunctionCall count distinct{Variable X}"},
      {"count(DISTINCT)", "FunctionCall count distinct"},
      {"f /* ( */ (DISTINCT a)", "FunctionCall f distinct{Variable a}"},
      {"f(x, 'DISTINCT')", "FunctionCall f{Variable x, String \"DISTINCT\"}"},
      {"f()", "FunctionCall f"},
      {"Math.Max(a, b)", "FunctionCall Math.Max{Variable a, Variable b}"},
      {"a.`b c`.d(1)", "FunctionCall a.`b c`.d{Integer 1}"},
      {"exists(n.prop)", "FunctionCall exists{PropertyAccess prop{Variable n}}"},
      {"reduce(total = 0, x IN xs | total + x)",
       "Reduce total x{Init{Integer 0}, In{Variable xs}, Projection{Add{Variable total, Variable "
       "x}}}"},
      {"allShortestPaths((a)-[*]-(b))", "ShortestPath all{Node a, Rel Undirected *.., Node b}"},
      {"SHORTESTPATH((a)--(b))", "ShortestPath{Node a, Rel Undirected, Node b}"},
      {"shortestPath((a {k: 1})-[:R]->(b)<--(c))",
       "ShortestPath{Node a{Properties{Key k{Integer 1}}}, Rel Outgoing :R, Node b, Rel Incoming, "
       "Node c}"},
      {"[x IN xs WHERE x > 1 | x * 2]",
       "ListComprehension x{In{Variable xs}, Where{GreaterThan{Variable x, Integer 1}}, "
       "Projection{Multiply{Variable x, Integer 2}}}"},
      {"[x IN xs | x]", "ListComprehension x{In{Variable xs}, Projection{Variable x}}"},
      {"[x IN xs]", "ListComprehension x{In{Variable xs}}"},
      {"[x INDEX]", "ListComprehension x{In{Variable DEX}}"},
      {"[x IN xs, 3]", "List{In{Variable x, Variable xs}, Integer 3}"},
      {"any(x IN xs WHERE x = 1)", "Any x{In{Variable xs}, Where{Equal{Variable x, Integer 1}}}"},
      {"NONE(x IN xs WHERE x = 1)", "None x{In{Variable xs}, Where{Equal{Variable x, Integer 1}}}"},
      {"all (x IN xs)", "All x{In{Variable xs}}"},
      {"single(x IN xs)", "Single x{In{Variable xs}}"},
      {"singleton(x)", "FunctionCall singleton{Variable x}"},
      {"[(a)-->(b) | b.name]",
       "PatternComprehension{Node a, Rel Outgoing, Node b, Projection{PropertyAccess "
       "name{Variable b}}}"},
      {"[(a)-->(b) WHERE b.x > 1 | b.name]",
       "PatternComprehension{Node a, Rel Outgoing, Node b, Where{GreaterThan{PropertyAccess "
       "x{Variable b}, Integer 1}}, Projection{PropertyAccess name{Variable b}}}"},
      {"EXISTS { (n)-[:KNOWS]->() }", "Exists{Path{Node n, Rel Outgoing :KNOWS, Node}}"},
      {"EXISTS { (a)-->(b), (b)-->(c) }",
       "Exists{Path{Node a, Rel Outgoing, Node b}, Path{Node b, Rel Outgoing, Node c}}"},
      {"COUNT { MATCH (n) RETURN n }",
       "CountSubquery{SinglePart{Match{Path{Node n}}, Return{Item{Variable n}}}}"},
      {"count { MATCH (n)-->(m) }",
       "CountSubquery{SinglePart{Match{Path{Node n, Rel Outgoing, Node m}}}}"},
      {"COLLECT { MATCH (n) RETURN n.name UNION RETURN 1 }",
       "CollectSubquery{SinglePart{Match{Path{Node n}}, Return{Item{PropertyAccess name{Variable "
       "n}}}}, Union{SinglePart{Return{Item{Integer 1}}}}}"},
      {"$name", "Parameter name"},
      {"$1", "Parameter 1"},
      {"`weird name`", "Variable `weird name`"},
      {"``", "Variable ``"},
      {"reduceX", "Variable reduceX"},
  };
  expect_rows(rows, expr_tree);
}

// CASE has an operand exactly when the first expression starts right after CASE.
TEST(BuildExpression, CaseOperandFromText) {
  const Row rows[] = {
      {"CASE x WHEN 1 THEN 'a' ELSE 'b' END",
       "Case{Operand{Variable x}, When{Integer 1, String \"a\"}, Else{String \"b\"}}"},
      {"CASE WHEN c THEN r ELSE e END", "Case{When{Variable c, Variable r}, Else{Variable e}}"},
      {"CASE x WHEN 1 THEN 2 END", "Case{Operand{Variable x}, When{Integer 1, Integer 2}}"},
      {"CASE WHEN a THEN 1 END", "Case{When{Variable a, Integer 1}}"},
      {"CASE whenever WHEN 1 THEN 2 END",
       "Case{Operand{Variable whenever}, When{Integer 1, Integer 2}}"},
      {"CASE /* c */ WHEN a THEN b ELSE c END",
       "Case{When{Variable a, Variable b}, Else{Variable c}}"},
      {"CASE /* c */ x WHEN 1 THEN 2 END", "Case{Operand{Variable x}, When{Integer 1, Integer 2}}"},
      {"CASE x WHEN (1) THEN 2 END", "Case{Operand{Variable x}, When{Integer 1, Integer 2}}"},
      {"case when a then 1 when b then 2 else 3 end",
       "Case{When{Variable a, Integer 1}, When{Variable b, Integer 2}, Else{Integer 3}}"},
  };
  expect_rows(rows, expr_tree);
}

TEST(BuildExpression, LiteralValues) {
  const Row rows[] = {
      {"'abc'", "String \"abc\""},
      {"\"abc\"", "String \"abc\""},
      {"''", "String \"\""},
      {"\"it's\"", "String \"it's\""},
      {"'say \"hi\"'", "String \"say \\\"hi\\\"\""},
      {"'a\\b'", "String \"a\\\\b\""},
      {"'line1\nline2'", "String \"line1\\nline2\""},
      {"'é // not /* a comment'", "String \"é // not /* a comment\""},
      {"tRuE", "Boolean true"},
      {"FALSE", "Boolean false"},
      {"null", "Null"},
      {"1.", "Float 1"},
      {"2.5", "Float 2.5"},
      {"1.e5", "Float 1e+05"},
      {"1.5E-3", "Float 0.0015"},
      {"1.0e400", "Float inf"},
      {"1.0e-400", "Float 0"},
      {"0.1", "Float 0.1"},
      {"0x1F", "Integer 31"},
      {"0x1f", "Integer 31"},
      {"0o17", "Integer 15"},
      {"007", "Integer 7"},
      {"9223372036854775807", "Integer 9223372036854775807"},
      {"9223372036854775808", "Integer 0"},
      {"-9223372036854775808", "Negate{Integer 0}"},
      {"0x7FFFFFFFFFFFFFFF", "Integer 9223372036854775807"},
      {"0x8000000000000000", "Integer 0"},
      {"0o777777777777777777777", "Integer 9223372036854775807"},
      {"0o1000000000000000000000", "Integer 0"},
      {"[1, 'a', null]", "List{Integer 1, String \"a\", Null}"},
      {"[]", "List"},
      {"[[1], []]", "List{List{Integer 1}, List}"},
      {"{}", "Map"},
      {"{k: 1, k: 2}", "Map{Key k{Integer 2}}"},
      {"{name: 'x', age: 3}", "Map{Key name{String \"x\"}, Key age{Integer 3}}"},
  };
  expect_rows(rows, expr_tree);
}

}  // namespace
}  // namespace morvane::parser
