#include "parser/ast.h"

#include <iterator>
#include <type_traits>

namespace morvane::parser::ast {

namespace {

constexpr std::string_view kExprKindNames[] = {
    "Integer",      "Float",          "String",
    "Boolean",      "Null",           "List",
    "Map",          "Variable",       "PropertyAccess",
    "Subscript",    "Slice",          "Parameter",
    "Or",           "Xor",            "And",
    "Not",          "Equal",          "NotEqual",
    "LessThan",     "LessOrEqual",    "GreaterThan",
    "GreaterOrEqual", "RegexMatch",   "IsNull",
    "IsNotNull",    "In",             "StartsWith",
    "EndsWith",     "Contains",       "Add",
    "Subtract",     "Multiply",       "Divide",
    "Modulo",       "Power",          "Negate",
    "FunctionCall", "CountStar",      "Case",
    "ListComprehension", "All",       "Any",
    "None",         "Single",         "Reduce",
    "ShortestPath", "PatternComprehension", "Exists",
    "CountSubquery", "CollectSubquery",
};
static_assert(std::size(kExprKindNames) == kExprKindCount);
static_assert(static_cast<int>(ExprKind::CollectSubquery) + 1 == kExprKindCount);

// Trees are copied and moved as one buffer of bytes.
static_assert(std::is_trivially_copyable_v<Expr>);
static_assert(std::is_trivially_copyable_v<ReadingClause>);
static_assert(std::is_trivially_copyable_v<UpdatingClause>);
static_assert(std::is_trivially_copyable_v<RegularQuery>);

}  // namespace

std::string_view expr_kind_name(ExprKind kind) {
  return kExprKindNames[static_cast<std::size_t>(kind)];
}

Expr Expr::make_integer(Span span, std::int64_t value) {
  Expr e(ExprKind::Integer, span);
  e.u_.integer = value;
  return e;
}

Expr Expr::make_float(Span span, double value) {
  Expr e(ExprKind::Float, span);
  e.u_.number = value;
  return e;
}

Expr Expr::make_string(Span span, Str text) {
  Expr e(ExprKind::String, span);
  e.u_.text = text;
  return e;
}

Expr Expr::make_boolean(Span span, bool value) {
  Expr e(ExprKind::Boolean, span);
  e.u_.flag = value;
  return e;
}

Expr Expr::make_empty(ExprKind kind, Span span) {
  assert(shape(kind) == ExprShape::Empty);
  return Expr(kind, span);
}

Expr Expr::make_list(Span span, ast::List<Expr> items) {
  Expr e(ExprKind::List, span);
  e.u_.items = items;
  return e;
}

Expr Expr::make_map(Span span, ast::List<MapEntry> entries) {
  Expr e(ExprKind::Map, span);
  e.u_.entries = entries;
  return e;
}

Expr Expr::make_name(ExprKind kind, Span span, Str name) {
  assert(shape(kind) == ExprShape::Name);
  Expr e(kind, span);
  e.u_.text = name;
  return e;
}

Expr Expr::make_property_access(Span span, PropertyAccessExpr payload) {
  Expr e(ExprKind::PropertyAccess, span);
  e.u_.property_access = payload;
  return e;
}

Expr Expr::make_subscript(Span span, SubscriptExpr payload) {
  Expr e(ExprKind::Subscript, span);
  e.u_.subscript = payload;
  return e;
}

Expr Expr::make_slice(Span span, SliceExpr payload) {
  Expr e(ExprKind::Slice, span);
  e.u_.slice = payload;
  return e;
}

Expr Expr::make_binary(ExprKind kind, Span span, BinaryExpr payload) {
  assert(shape(kind) == ExprShape::Binary);
  Expr e(kind, span);
  e.u_.binary = payload;
  return e;
}

Expr Expr::make_unary(ExprKind kind, Span span, UnaryExpr payload) {
  assert(shape(kind) == ExprShape::Unary);
  Expr e(kind, span);
  e.u_.unary = payload;
  return e;
}

Expr Expr::make_function_call(Span span, FunctionCallExpr payload) {
  Expr e(ExprKind::FunctionCall, span);
  e.u_.function_call = payload;
  return e;
}

Expr Expr::make_case(Span span, CaseExpr payload) {
  Expr e(ExprKind::Case, span);
  e.u_.case_expr = payload;
  return e;
}

Expr Expr::make_list_comprehension(Span span, ListComprehensionExpr payload) {
  Expr e(ExprKind::ListComprehension, span);
  e.u_.list_comprehension = payload;
  return e;
}

Expr Expr::make_quantifier(ExprKind kind, Span span, QuantifierExpr payload) {
  assert(shape(kind) == ExprShape::Quantifier);
  Expr e(kind, span);
  e.u_.quantifier = payload;
  return e;
}

Expr Expr::make_reduce(Span span, ReduceExpr payload) {
  Expr e(ExprKind::Reduce, span);
  e.u_.reduce = payload;
  return e;
}

Expr Expr::make_shortest_path(Span span, ShortestPathExpr payload) {
  Expr e(ExprKind::ShortestPath, span);
  e.u_.shortest_path = payload;
  return e;
}

Expr Expr::make_pattern_comprehension(Span span, PatternComprehensionExpr payload) {
  Expr e(ExprKind::PatternComprehension, span);
  e.u_.pattern_comprehension = payload;
  return e;
}

Expr Expr::make_exists(Span span, Id<ExistsSubquery> subquery) {
  Expr e(ExprKind::Exists, span);
  e.u_.exists = subquery;
  return e;
}

Expr Expr::make_subquery(ExprKind kind, Span span, Id<RegularQuery> query) {
  assert(shape(kind) == ExprShape::Subquery);
  Expr e(kind, span);
  e.u_.subquery = query;
  return e;
}

}  // namespace morvane::parser::ast
