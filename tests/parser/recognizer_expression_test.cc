// Operator expressions: the precedence ladder and the pairs of each level, keyword and symbol
// comparison operators, null checks, postfix lookups, subscripts and slices, and their spans.
#include <gtest/gtest.h>

#include <string_view>

#include "recognizer_test_util.h"

namespace morvane::parser {
namespace {

using recognizer_test::ErrorRow;
using recognizer_test::TreeRow;
using recognizer_test::kAfterOperand;
using recognizer_test::kAfterReturnItem;

TEST(RecognizerExpression, BooleanLevels) {
  const char* query = "RETURN a OR b XOR c AND NOT d = e";
  const TreeRow rows[] = {
      {query, Rule::or_expr, 0, 1,
       R"~(or_expr"a OR b XOR c AND NOT d = e"{xor_expr"a " or_kw"OR" xor_expr"b XOR c AND NOT d = e"})~"},
      {query, Rule::xor_expr, 1, 1,
       R"~(xor_expr"b XOR c AND NOT d = e"{and_expr"b " xor_kw"XOR" and_expr"c AND NOT d = e"})~"},
      {query, Rule::and_expr, 2, 1,
       R"~(and_expr"c AND NOT d = e"{not_expr"c " and_kw"AND" not_expr"NOT d = e"})~"},
      {query, Rule::not_expr, 3, 2,
       R"~(not_expr"NOT d = e"{not_kw"NOT" comparison_expr"d = e"{add_sub_expr"d " comparison_op"=" add_sub_expr"e"}})~"},
      {"RETURN NOT NOT x", Rule::not_expr, 0, 1,
       R"~(not_expr"NOT NOT x"{not_kw"NOT" not_kw"NOT" comparison_expr"x"})~"},
      {"RETURN not(x)", Rule::not_expr, 0, 1,
       R"~(not_expr"not(x)"{not_kw"not" comparison_expr"(x)"})~"},
      // The OR of ORDER and the AND of NOTHING are no operators.
      {"RETURN a ORDER BY a", Rule::or_expr, 0, 0, R"~(or_expr"a ")~"},
      {"RETURN a AND NOTHING", Rule::and_expr, 0, 1,
       R"~(and_expr"a AND NOTHING"{not_expr"a " and_kw"AND" not_expr"NOTHING"})~"},
      {"RETURN a or b", Rule::or_kw, 0, 0, R"~(or_kw"or")~"},
  };
  recognizer_test::expect_trees(rows);
}

TEST(RecognizerExpression, ComparisonOperators) {
  const TreeRow rows[] = {
      {"RETURN x IN list", Rule::comparison_op, 0, 0, R"~(comparison_op"IN")~"},
      {"RETURN x IN [1, 2]", Rule::comparison_op, 0, 0, R"~(comparison_op"IN")~"},
      {"RETURN x IN$p", Rule::comparison_op, 0, 0, R"~(comparison_op"IN")~"},
      {"RETURN x in(xs)", Rule::comparison_op, 0, 0, R"~(comparison_op"in")~"},
      {"RETURN a CONTAINS b", Rule::comparison_op, 0, 0, R"~(comparison_op"CONTAINS")~"},
      {"RETURN s STARTS WITH name", Rule::comparison_op, 0, 0,
       R"~(comparison_op"STARTS WITH")~"},
      {"RETURN s ends with 'z'", Rule::comparison_op, 0, 0, R"~(comparison_op"ends with")~"},
      {"RETURN s STARTS /* c */ WITH t", Rule::comparison_op, 0, 0,
       R"~(comparison_op"STARTS /* c */ WITH")~"},
      {"RETURN s StartsWith t", Rule::comparison_op, 0, 0, R"~(comparison_op"StartsWith")~"},
      {"RETURN a =~ 'x.*'", Rule::comparison_expr, 0, 1,
       R"~(comparison_expr"a =~ 'x.*'"{add_sub_expr"a " comparison_op"=~" add_sub_expr"'x.*'"})~"},
      {"RETURN a <> b", Rule::comparison_op, 0, 0, R"~(comparison_op"<>")~"},
      {"RETURN a <= b", Rule::comparison_op, 0, 0, R"~(comparison_op"<=")~"},
      {"RETURN a >= b", Rule::comparison_op, 0, 0, R"~(comparison_op">=")~"},
      {"RETURN a<b", Rule::comparison_op, 0, 0, R"~(comparison_op"<")~"},
      {"RETURN a < b < c", Rule::comparison_expr, 0, 1,
       R"~(comparison_expr"a < b < c"{add_sub_expr"a " comparison_op"<" add_sub_expr"b " comparison_op"<" add_sub_expr"c"})~"},
  };
  recognizer_test::expect_trees(rows);
  const std::string_view refused[] = {
      "RETURN x INlist",
      "RETURN x IN_list",
      "RETURN s CONTAINSx",
      "RETURN s STARTS WITHx",
      "RETURN a != b",
      "RETURN a == b",
      "RETURN a = NOT b",
      "RETURN s STARTS x",
  };
  recognizer_test::expect_refused(refused);
}

TEST(RecognizerExpression, NullChecks) {
  const TreeRow rows[] = {
      {"RETURN x IS NOT NULL", Rule::null_check_op, 0, 0, R"~(null_check_op"IS NOT NULL")~"},
      {"RETURN x is not null", Rule::null_check_op, 0, 0, R"~(null_check_op"is not null")~"},
      {"RETURN x IS\tNULL", Rule::null_check_op, 0, 0, R"~(null_check_op"IS\tNULL")~"},
      {"RETURN x IS\nNULL", Rule::null_check_op, 0, 0, R"~(null_check_op"IS\nNULL")~"},
      {"RETURN x IS  NOT \r\n NULL", Rule::null_check_op, 0, 0,
       R"~(null_check_op"IS  NOT \r\n NULL")~"},
      {"RETURN x IS NULL IS NULL", Rule::postfix_expr, 0, 2,
       R"~(postfix_expr"x IS NULL IS NULL"{atom"x"{variable"x"} postfix_op"IS NULL"{null_check_op"IS NULL"} postfix_op"IS NULL"{null_check_op"IS NULL"}})~"},
      {"RETURN x IS NULL.y", Rule::postfix_expr, 0, 2,
       R"~(postfix_expr"x IS NULL.y"{atom"x"{variable"x"} postfix_op"IS NULL"{null_check_op"IS NULL"} postfix_op".y"{property_lookup".y"}})~"},
      // The check belongs to the operand it follows.
      {"RETURN a + b IS NULL", Rule::add_sub_expr, 0, 1,
       R"~(add_sub_expr"a + b IS NULL"{mul_div_expr"a " mul_div_expr"b IS NULL"})~"},
      {"RETURN NOT x IS NULL", Rule::not_expr, 0, 1,
       R"~(not_expr"NOT x IS NULL"{not_kw"NOT" comparison_expr"x IS NULL"})~"},
  };
  recognizer_test::expect_trees(rows);
  const std::string_view refused[] = {
      "RETURN x IS /* c */ NULL",
      "RETURN x ISNULL",
      "RETURN x IS NULLY",
      "RETURN x IS NOTNULL",
      "RETURN x IS NOT",
      "RETURN x IS null_",
  };
  recognizer_test::expect_refused(refused);
}

TEST(RecognizerExpression, ArithmeticLevels) {
  const TreeRow rows[] = {
      {"RETURN a * b % c", Rule::mul_div_expr, 0, 1,
       R"~(mul_div_expr"a * b % c"{mod_expr"a " mod_expr"b % c"})~"},
      {"RETURN 2 ^ 3 ^ 2", Rule::power_expr, 0, 1,
       R"~(power_expr"2 ^ 3 ^ 2"{unary_expr"2 " unary_expr"3 " unary_expr"2"})~"},
      {"RETURN -2 ^ 2", Rule::power_expr, 0, 1,
       R"~(power_expr"-2 ^ 2"{unary_expr"-2 " unary_expr"2"})~"},
      {"RETURN a - -b", Rule::add_sub_expr, 0, 2,
       R"~(add_sub_expr"a - -b"{mul_div_expr"a "{mod_expr"a "} mul_div_expr"-b"{mod_expr"-b"}})~"},
      {"RETURN -(-x)", Rule::unary_expr, 0, 1, R"~(unary_expr"-(-x)"{postfix_expr"(-x)"})~"},
      {"RETURN a + b - c / d", Rule::add_sub_expr, 0, 1,
       R"~(add_sub_expr"a + b - c / d"{mul_div_expr"a " mul_div_expr"b " mul_div_expr"c / d"})~"},
      {"RETURN a.b AS c", Rule::postfix_expr, 0, 0, R"~(postfix_expr"a.b")~"},
      {"RETURN a.b AS c", Rule::power_expr, 0, 0, R"~(power_expr"a.b ")~"},
      {"RETURN a AS b", Rule::expression, 0, 0, R"~(expression"a ")~"},
      {"RETURN a /* c */ - b AS x", Rule::add_sub_expr, 0, 1,
       R"~(add_sub_expr"a /* c */ - b "{mul_div_expr"a /* c */ " mul_div_expr"b "})~"},
  };
  recognizer_test::expect_trees(rows);
  const std::string_view refused[] = {"RETURN - -x", "RETURN --x", "RETURN a ** b"};
  recognizer_test::expect_refused(refused);
}

TEST(RecognizerExpression, PostfixOperators) {
  const TreeRow rows[] = {
      {"RETURN n. name", Rule::property_lookup, 0, 1,
       R"~(property_lookup". name"{property_key_name"name"})~"},
      {"RETURN n .name", Rule::property_lookup, 0, 1,
       R"~(property_lookup".name"{property_key_name"name"})~"},
      {"RETURN n.`count`", Rule::property_key_name, 0, 0, R"~(property_key_name"`count`")~"},
      {"RETURN xs[0]", Rule::postfix_op, 0, 2,
       R"~(postfix_op"[0]"{subscript_op"[0]"{expression"0"}})~"},
      {"RETURN xs[1 ..3]", Rule::list_slice_op, 0, 1,
       R"~(list_slice_op"[1 ..3]"{expression"1 " expression"3"})~"},
      {"RETURN xs[..3]", Rule::list_slice_op, 0, 1,
       R"~(list_slice_op"[..3]"{expression"3"})~"},
      {"RETURN xs[1 ..]", Rule::list_slice_op, 0, 1,
       R"~(list_slice_op"[1 ..]"{expression"1 "})~"},
      {"RETURN xs[..]", Rule::list_slice_op, 0, 1, R"~(list_slice_op"[..]")~"},
      {"RETURN xs[a..b]", Rule::list_slice_op, 0, 1,
       R"~(list_slice_op"[a..b]"{expression"a" expression"b"})~"},
      {"RETURN m.a[0].b[x..2 ]", Rule::postfix_expr, 0, 1,
       R"~(postfix_expr"m.a[0].b[x..2 ]"{atom"m" postfix_op".a" postfix_op"[0]" postfix_op".b" postfix_op"[x..2 ]"})~"},
  };
  recognizer_test::expect_trees(rows);
  const std::string_view refused[] = {
      "RETURN xs[1..3]",
      "RETURN xs[1..]",
      "RETURN n.count",
      "RETURN xs[]",
      "RETURN xs[1",
  };
  recognizer_test::expect_refused(refused);
}

TEST(RecognizerExpression, Errors) {
  const ErrorRow rows[] = {
      {"RETURN a +", 1, 11, "expected atom"},
      {"RETURN a =", 1, 11, "expected atom"},
      {"RETURN a AND", 1, 13, "expected not_expr"},
      {"RETURN a OR", 1, 12, "expected not_expr"},
      {"RETURN NOT", 1, 11, "expected not_kw or atom"},
      {"RETURN x.", 1, 10, "expected property_key_name"},
      {"RETURN (a", 1, 10, kAfterOperand},
      {"RETURN a != b", 1, 10, kAfterReturnItem},
      {"RETURN x INlist", 1, 10, kAfterReturnItem},
      {"RETURN x IS NULLY", 1, 10, kAfterReturnItem},
      {"RETURN a = NOT b", 1, 12, "expected atom"},
      {"RETURN - -x", 1, 10, "expected atom"},
  };
  recognizer_test::expect_errors(rows);
}

}  // namespace
}  // namespace morvane::parser
