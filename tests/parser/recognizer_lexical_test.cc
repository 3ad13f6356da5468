// The words of the language: whitespace and comments, reserved words, names, parameters,
// numbers, strings, booleans and null, lists and maps.
#include <gtest/gtest.h>

#include <string_view>

#include "recognizer_test_util.h"

namespace morvane::parser {
namespace {

using recognizer_test::ErrorRow;
using recognizer_test::TreeRow;
using recognizer_test::kAfterReturnItem;

TEST(RecognizerLexical, WhitespaceAndComments) {
  const std::string_view accepted[] = {
      "MATCH (n) // comment\nRETURN n",
      "MATCH (n) RETURN n // comment",
      "MATCH (n) // comment\r\nRETURN n",
      "RETURN /* a */ 1 /* b */",
      "RETURN /* a\nb */ 1",
      "RETURN 1 /*/ still a comment */",
      "RETURN n. /* c */ name",
      "MATCH /* c */ ( /* c */ n /* c */ : /* c */ L /* c */ ) RETURN n",
      "RETURN 1 /* a */ /* b */ // c\n // d\n",
      "RETURN\t1\r\n",
      "RETURN 1 // c\r\n+ 2",
  };
  recognizer_test::expect_accepted(accepted);
  const ErrorRow errors[] = {
      {"MATCH (n) /* open RETURN n", 1, 11, ""},
      // "/" is a division here, after which "*" starts no operand.
      {"RETURN 1 /*/", 1, 11, "expected atom"},
      // No other Unicode space is whitespace, nor form feed or vertical tab.
      {"RETURN\u00a01", 1, 7, "expected not_expr"},
      {"RETURN\f1", 1, 7, "expected not_expr"},
      {"RETURN\v1", 1, 7, "expected not_expr"},
      // An unclosed string fails at its opening quote, on its own line.
      {"RETURN 'a' // x\n+ 'b", 2, 3, "expected atom"},
  };
  recognizer_test::expect_errors(errors);
  const TreeRow trees[] = {
      // Inside a string, comment markers are text.
      {"RETURN '// not /* a comment'", Rule::string_literal, 0, 0,
       R"~(string_literal"'// not /* a comment'")~"},
  };
  recognizer_test::expect_trees(trees);
}

TEST(RecognizerLexical, ReservedWords) {
  const std::string_view accepted[] = {
      "RETURN asc",
      "RETURN Order",
      "RETURN ends",
      "RETURN `end`",
      "RETURN ascending_order",
      "RETURN descending, ASCENDING",
      "MATCH (o:Order) RETURN o.order",
      "RETURN ORDERS, format, iso, ASCII, AS_, DESCRIPTION, fort, isNull",
      "MATCH (n) RETURN n.`end`",
      "MATCH (`match`:`RETURN`)-[`with`:`WHERE`]->(b) RETURN `match`.`set`",
      "RETURN exists(x), count(x), all(xs), none(xs), single(xs)",
  };
  recognizer_test::expect_accepted(accepted);
  const ErrorRow errors[] = {
      {"RETURN End", 1, 8, "expected not_expr"},
      {"RETURN desc", 1, 8, "expected not_expr"},
      {"RETURN xor", 1, 8, "expected not_expr"},
      {"RETURN foreach", 1, 8, "expected not_expr"},
      {"RETURN For", 1, 8, "expected not_expr"},
      {"MATCH (end) RETURN end", 1, 8, "expected node_labels, properties, or variable"},
      {"MATCH (n) RETURN n.end", 1, 20, "expected property_key_name"},
      {"MATCH (n:Match) RETURN n", 1, 10, "expected label_name"},
      {"MATCH ()-[:yield]->() RETURN 1", 1, 12, "expected rel_type_name"},
      {"WITH 1 AS drop RETURN 1", 1, 11, "expected variable"},
  };
  recognizer_test::expect_errors(errors);
}

TEST(RecognizerLexical, Names) {
  const TreeRow rows[] = {
      {"MATCH (n:`My Label`) RETURN n", Rule::label_name, 0, 0, R"~(label_name"`My Label`")~"},
      {"CALL db.labels() YIELD label", Rule::procedure_name, 0, 0,
       R"~(procedure_name"db.labels")~"},
      {"CALL db.labels() YIELD label", Rule::procedure_result_field, 0, 0, "<none>"},
      {"RETURN a.`b c`.d(1)", Rule::function_name, 0, 0, R"~(function_name"a.`b c`.d")~"},
      {"RETURN a.b.count(x)", Rule::function_invocation, 0, 1,
       R"~(function_invocation"a.b.count(x)"{function_name"a.b.count" expression"x"})~"},
      {"RETURN ``", Rule::variable, 0, 0, R"~(variable"``")~"},
      {"RETURN `a\nb \u00e9`", Rule::variable, 0, 0, "variable\"`a\\nb \u00e9`\""},
      {"RETURN _x1, A_b", Rule::variable, 1, 0, R"~(variable"A_b")~"},
      {"MATCH (n) RETURN n.`a.b`", Rule::property_key_name, 0, 0,
       R"~(property_key_name"`a.b`")~"},
      {"CALL `my proc`.`x`()", Rule::procedure_name, 0, 0,
       R"~(procedure_name"`my proc`.`x`")~"},
  };
  recognizer_test::expect_trees(rows);
  const std::string_view refused[] = {
      "RETURN 1abc",
      "RETURN `a`b`",
      "RETURN `open",
      "RETURN nullable_x",
      "RETURN `case`(x)",
      "CALL db .labels()",
      "RETURN f.`g`()",  // the function's own name may not be backticked
  };
  recognizer_test::expect_refused(refused);
}

TEST(RecognizerLexical, Parameters) {
  const TreeRow rows[] = {
      {"RETURN $name, $_x1, $1", Rule::atom, 0, 1, R"~(atom"$name"{parameter"$name"})~"},
      {"RETURN $name, $_x1, $1", Rule::parameter, 1, 0, R"~(parameter"$_x1")~"},
      {"RETURN $name, $_x1, $1", Rule::parameter, 2, 0, R"~(parameter"$1")~"},
      {"RETURN $007", Rule::parameter, 0, 0, R"~(parameter"$007")~"},
  };
  recognizer_test::expect_trees(rows);
  const ErrorRow errors[] = {
      {"RETURN $ x", 1, 8, "expected not_expr"},
      {"RETURN $0a", 1, 10, kAfterReturnItem},
      {"RETURN $", 1, 8, "expected not_expr"},
  };
  recognizer_test::expect_errors(errors);
}

TEST(RecognizerLexical, Numbers) {
  const char* query = "RETURN 0x1F, 0o17, 007, 1.5e3, 1.";
  const TreeRow rows[] = {
      {query, Rule::literal, 0, 1, R"~(literal"0x1F"{integer_literal"0x1F"})~"},
      {query, Rule::literal, 1, 1, R"~(literal"0o17"{integer_literal"0o17"})~"},
      {query, Rule::literal, 2, 1, R"~(literal"007"{integer_literal"007"})~"},
      {query, Rule::literal, 3, 1, R"~(literal"1.5e3"{float_literal"1.5e3"})~"},
      {query, Rule::literal, 4, 1, R"~(literal"1."{float_literal"1."})~"},
      {"RETURN 1.e5, 1.5E-3, 2.0e+10, 0xabcDEF", Rule::float_literal, 0, 0,
       R"~(float_literal"1.e5")~"},
      {"RETURN 1.e5, 1.5E-3, 2.0e+10, 0xabcDEF", Rule::float_literal, 1, 0,
       R"~(float_literal"1.5E-3")~"},
      {"RETURN 1.e5, 1.5E-3, 2.0e+10, 0xabcDEF", Rule::float_literal, 2, 0,
       R"~(float_literal"2.0e+10")~"},
      {"RETURN 1.e5, 1.5E-3, 2.0e+10, 0xabcDEF", Rule::integer_literal, 0, 0,
       R"~(integer_literal"0xabcDEF")~"},
      // A sign is the unary minus, not part of the literal.
      {"RETURN -1", Rule::unary_expr, 0, 1, R"~(unary_expr"-1"{postfix_expr"1"})~"},
      {"RETURN 0o7", Rule::integer_literal, 0, 0, R"~(integer_literal"0o7")~"},
  };
  recognizer_test::expect_trees(rows);
  const ErrorRow errors[] = {
      {"RETURN 1e5", 1, 9, kAfterReturnItem},
      {"RETURN .5", 1, 8, "expected not_expr"},
      {"RETURN 0X1F", 1, 9, kAfterReturnItem},
      {"RETURN 0x, 1", 1, 9, kAfterReturnItem},
      // "0o8" falls back to the decimal "0" followed by a stray name.
      {"RETURN 0o8", 1, 9, kAfterReturnItem},
      {"RETURN 1.5e", 1, 11, kAfterReturnItem},
  };
  recognizer_test::expect_errors(errors);
}

TEST(RecognizerLexical, Strings) {
  const TreeRow rows[] = {
      {"RETURN 'line1\nline2'", Rule::string_literal, 0, 0,
       R"~(string_literal"'line1\nline2'")~"},
      {"RETURN \"it's\", 'say \"hi\"'", Rule::string_literal, 0, 0,
       R"~(string_literal"\"it's\"")~"},
      {"RETURN \"it's\", 'say \"hi\"'", Rule::string_literal, 1, 0,
       R"~(string_literal"'say \"hi\"'")~"},
      {"RETURN 'a\\'", Rule::string_literal, 0, 0, R"~(string_literal"'a\\'")~"},
      {"RETURN '', \"\"", Rule::string_literal, 1, 0, R"~(string_literal"\"\"")~"},
      {"RETURN 'h\u00e9llo \u2603 \U0001F600'", Rule::string_literal, 0, 0,
       "string_literal\"'h\u00e9llo \u2603 \U0001F600'\""},
  };
  recognizer_test::expect_trees(rows);
  const ErrorRow errors[] = {
      {"RETURN \"a\\\"b\"", 1, 12, kAfterReturnItem},
      {"RETURN 'abc", 1, 8, "expected not_expr"},
      {"RETURN \"abc'", 1, 8, "expected not_expr"},
  };
  recognizer_test::expect_errors(errors);
}

TEST(RecognizerLexical, BooleansAndNull) {
  const TreeRow rows[] = {
      {"RETURN true, FALSE, Null", Rule::literal, 0, 1,
       R"~(literal"true"{boolean_literal"true"})~"},
      {"RETURN true, FALSE, Null", Rule::boolean_literal, 1, 0, R"~(boolean_literal"FALSE")~"},
      {"RETURN true, FALSE, Null", Rule::null_literal, 0, 0, R"~(null_literal"Null")~"},
  };
  recognizer_test::expect_trees(rows);
  const ErrorRow errors[] = {
      {"RETURN nullCount", 1, 12, kAfterReturnItem},
      {"RETURN trueValue", 1, 12, kAfterReturnItem},
      {"RETURN falsey", 1, 13, kAfterReturnItem},
  };
  recognizer_test::expect_errors(errors);
}

TEST(RecognizerLexical, ListsAndMaps) {
  const std::string_view accepted[] = {
      "RETURN [], {}",
      "RETURN [ 1 , /* c */ 2 ] , { a : 1 , b : [ ] }",
      "RETURN {a: 1, a: 2}",
      "RETURN {`a b`: 1, _c: {d: [1, {e: null}]}}",
  };
  recognizer_test::expect_accepted(accepted);
  const ErrorRow errors[] = {
      {"RETURN [1,]", 1, 11, "expected not_expr"},
      {"RETURN {'a': 1}", 1, 9, "expected property_key_name"},
      {"RETURN {a: 1,}", 1, 14, "expected property_key_name"},
      {"RETURN {a 1}", 1, 9, "expected property_key_value_pair"},
  };
  recognizer_test::expect_errors(errors);
  const TreeRow rows[] = {
      {"RETURN {a: 1 , b: 2}", Rule::map_literal, 0, 2,
       R"~(map_literal"{a: 1 , b: 2}"{property_key_value_pair"a: 1 "{property_key_name"a" expression"1 "} property_key_value_pair"b: 2"{property_key_name"b" expression"2"}})~"},
      {"RETURN [1, 'a']", Rule::list_literal, 0, 1,
       R"~(list_literal"[1, 'a']"{expression"1" expression"'a'"})~"},
  };
  recognizer_test::expect_trees(rows);
}

}  // namespace
}  // namespace morvane::parser
