// The precedence ladder from `expression` down to `postfix_expr`: left folds of the infix
// levels, NOT, the sign and the postfix operators.
#include "parser/builder.h"
#include "parser/builder_text.h"

namespace morvane::parser::builder {

namespace {

struct Level {
  bool has_keyword;  // OR, XOR and AND: the level's keyword pairs stand between the operands
  Rule keyword;
  ast::ExprKind kind;  // for add_sub_expr and mul_div_expr, the kind when the operator is '+'/'*'
  Guard empty;
};

Level level_of(Rule rule) {
  switch (rule) {
    case Rule::or_expr:
      return {true, Rule::or_kw, ast::ExprKind::Or, Guard::kEmptyOrExpr};
    case Rule::xor_expr:
      return {true, Rule::xor_kw, ast::ExprKind::Xor, Guard::kEmptyXorExpr};
    case Rule::and_expr:
      return {true, Rule::and_kw, ast::ExprKind::And, Guard::kEmptyAndExpr};
    case Rule::add_sub_expr:
      return {false, Rule::EOI, ast::ExprKind::Add, Guard::kEmptyAddSubExpr};
    case Rule::mul_div_expr:
      return {false, Rule::EOI, ast::ExprKind::Multiply, Guard::kEmptyMulDivExpr};
    case Rule::mod_expr:
      return {false, Rule::EOI, ast::ExprKind::Modulo, Guard::kEmptyModExpr};
    default:
      return {false, Rule::EOI, ast::ExprKind::Power, Guard::kEmptyPowerExpr};
  }
}

// The node of a comparison operator's text, ASCII letters compared in either case, or false
// when it names none.
bool comparison_kind(std::string_view op, ast::ExprKind& kind) {
  struct Entry {
    std::string_view text;
    ast::ExprKind kind;
  };
  static constexpr Entry kExact[] = {
      {"=", ast::ExprKind::Equal},        {"<>", ast::ExprKind::NotEqual},
      {"<", ast::ExprKind::LessThan},     {"<=", ast::ExprKind::LessOrEqual},
      {">", ast::ExprKind::GreaterThan},  {">=", ast::ExprKind::GreaterOrEqual},
      {"=~", ast::ExprKind::RegexMatch},  {"IN", ast::ExprKind::In},
      {"CONTAINS", ast::ExprKind::Contains},
  };
  for (const Entry& entry : kExact) {
    if (equals_ascii_ci(op, entry.text)) {
      kind = entry.kind;
      return true;
    }
  }
  if (starts_with_ascii_ci(op, "STARTS")) {
    kind = ast::ExprKind::StartsWith;
    return true;
  }
  if (starts_with_ascii_ci(op, "ENDS")) {
    kind = ast::ExprKind::EndsWith;
    return true;
  }
  return false;
}

}  // namespace

bool Builder::build_expression(std::uint32_t pair, ast::ExprId& out) {
  if (!enter(pair)) return false;
  // Levels with a single operand, parentheses and the rule `expression` add no node: the loop
  // steps down through them instead of recursing. The cases stand in the order of the ladder,
  // and a step to the level below that has been checked falls through to it.
  while (true) {
    switch (rule(pair)) {
      case Rule::expression: {
        const std::uint32_t c = first_child(pair);
        if (c == kNoPair) return fail(Guard::kEmptyExpression);
        pair = c;
        continue;
      }
      case Rule::or_expr:
      case Rule::xor_expr:
      case Rule::and_expr:
      case Rule::add_sub_expr:
      case Rule::mul_div_expr:
      case Rule::mod_expr:
      case Rule::power_expr: {
        const std::uint32_t only = only_child(pair);
        if (only == kNoPair || rule(only) == Rule::or_kw || rule(only) == Rule::xor_kw ||
            rule(only) == Rule::and_kw) {
          return build_left_fold(pair, out);
        }
        pair = only;
        continue;
      }
      case Rule::not_expr: {
        const std::uint32_t only = only_child(pair);
        if (only == kNoPair || rule(only) != Rule::comparison_expr) {
          return build_not_expr(pair, out);
        }
        pair = only;
        [[fallthrough]];
      }
      case Rule::comparison_expr: {
        const std::uint32_t first = first_child(pair);
        if (first == kNoPair) return fail(Guard::kEmptyComparisonExpr);
        if (only_child(pair) == kNoPair) return build_comparison_expr(pair, out);
        pair = first;
        continue;
      }
      case Rule::unary_expr: {
        if (text(pair).starts_with('-')) return build_negation(pair, out);
        const std::uint32_t c = find_child(pair, Rule::postfix_expr);
        if (c == kNoPair) return fail(Guard::kUnaryMissingPostfix);
        pair = c;
        [[fallthrough]];
      }
      case Rule::postfix_expr: {
        const std::uint32_t atom = first_child(pair);
        if (atom == kNoPair || rule(atom) != Rule::atom) return fail(Guard::kPostfixMissingAtom);
        if (only_child(pair) == kNoPair) return build_postfix_expr(pair, out);
        pair = atom;
        [[fallthrough]];
      }
      case Rule::atom: {
        const std::uint32_t c = only_child(pair);
        if (c == kNoPair || rule(c) != Rule::parenthesized_expr) return build_atom(pair, out);
        const std::uint32_t inner = first_child(c);
        if (inner == kNoPair) return fail(Guard::kEmptyParenExpr);
        pair = inner;
        continue;
      }
      default:
        return fail_rule(Guard::kUnexpectedExpressionRule, pair);
    }
  }
}

bool Builder::build_left_fold(std::uint32_t pair, ast::ExprId& out) {
  const Level level = level_of(rule(pair));
  std::uint32_t previous = kNoPair;
  std::uint32_t begin = 0;
  ast::ExprId result;
  for (const std::uint32_t c : children(pair)) {
    if (level.has_keyword && rule(c) == level.keyword) continue;
    ast::ExprId operand;
    if (!build_expression(c, operand)) return false;
    if (previous == kNoPair) {
      result = operand;
      begin = at(c).begin;
    } else {
      ast::ExprKind kind = level.kind;
      // The operator leaves no pair: it is what follows the left operand.
      const std::string_view op = text_after(pair, previous);
      if (level.kind == ast::ExprKind::Add && next_word_is(op, "-")) kind = ast::ExprKind::Subtract;
      if (level.kind == ast::ExprKind::Multiply && next_word_is(op, "/")) {
        kind = ast::ExprKind::Divide;
      }
      result = add_expr(ast::Expr::make_binary(kind, {begin, at(c).end}, {result, operand}));
    }
    previous = c;
  }
  if (previous == kNoPair) return fail(level.empty);
  out = result;
  return true;
}

bool Builder::build_not_expr(std::uint32_t pair, ast::ExprId& out) {
  std::uint32_t nots = 0;
  for (const std::uint32_t c : children(pair)) nots += rule(c) == Rule::not_kw;
  const std::uint32_t comparison = find_child(pair, Rule::comparison_expr);
  if (comparison == kNoPair) return fail(Guard::kNotMissingComparison);
  ast::ExprId result;
  if (!build_expression(comparison, result)) return false;
  for (; nots > 0; --nots) {
    result = add_expr(ast::Expr::make_unary(ast::ExprKind::Not, span(pair), {result}));
  }
  out = result;
  return true;
}

bool Builder::build_comparison_expr(std::uint32_t pair, ast::ExprId& out) {
  const std::uint32_t first = first_child(pair);
  ast::ExprId result;
  if (!build_expression(first, result)) return false;
  std::uint32_t op = next_sibling(pair, first);
  while (op != kNoPair) {
    const std::uint32_t operand = next_sibling(pair, op);
    if (operand == kNoPair) break;
    ast::ExprId right;
    if (!build_expression(operand, right)) return false;
    ast::ExprKind kind;
    if (!comparison_kind(text(op), kind)) {
      // The grammar matches operators in ASCII. Other text (a tape it did not produce) is read
      // upper-cased by the Unicode default case mapping, as the guard's message shows it.
      const std::string upper = to_upper(text(op));
      if (!comparison_kind(upper, kind)) return fail(Guard::kUnknownComparisonOp, upper);
    }
    result = add_expr(
        ast::Expr::make_binary(kind, {at(first).begin, at(operand).end}, {result, right}));
    op = next_sibling(pair, operand);
  }
  out = result;
  return true;
}

bool Builder::build_negation(std::uint32_t pair, ast::ExprId& out) {
  const std::uint32_t c = find_child(pair, Rule::postfix_expr);
  if (c == kNoPair) return fail(Guard::kUnaryMissingPostfix);
  ast::ExprId operand;
  if (!build_expression(c, operand)) return false;
  out = add_expr(ast::Expr::make_unary(ast::ExprKind::Negate, span(pair), {operand}));
  return true;
}

bool Builder::build_postfix_expr(std::uint32_t pair, ast::ExprId& out) {
  const std::uint32_t first = first_child(pair);
  ast::ExprId result;
  if (!build_atom(first, result)) return false;
  for (const std::uint32_t c : children_after(pair, first)) {
    if (rule(c) != Rule::postfix_op) continue;
    const std::uint32_t op = first_child(c);
    if (op == kNoPair) return fail(Guard::kEmptyPostfixOp);
    const ast::Span wrapped{at(pair).begin, at(c).end};
    switch (rule(op)) {
      case Rule::null_check_op: {
        const bool is_not = keyword_after(text(op), "IS", "NOT");
        result = add_expr(ast::Expr::make_unary(
            is_not ? ast::ExprKind::IsNotNull : ast::ExprKind::IsNull, wrapped, {result}));
        break;
      }
      case Rule::property_lookup: {
        const std::uint32_t key = first_child(op);
        if (key == kNoPair) return fail(Guard::kPropertyLookupMissingKey);
        result = add_expr(ast::Expr::make_property_access(wrapped, {result, copy_text(key)}));
        break;
      }
      case Rule::subscript_op: {
        const std::uint32_t index = first_child(op);
        if (index == kNoPair) return fail(Guard::kSubscriptMissingIndex);
        ast::SubscriptExpr subscript{result, {}};
        if (!build_expression(index, subscript.index)) return false;
        result = add_expr(ast::Expr::make_subscript(wrapped, subscript));
        break;
      }
      case Rule::list_slice_op: {
        ast::SliceExpr slice{result, {}, {}};
        const std::uint32_t bound = first_child(op);
        const std::uint32_t second = bound == kNoPair ? kNoPair : next_sibling(op, bound);
        if (second != kNoPair) {
          if (!build_expression(bound, slice.from)) return false;
          if (!build_expression(second, slice.to)) return false;
        } else if (bound != kNoPair) {
          // One bound: it is the lower one when only whitespace and comments stand between
          // the "[" and it.
          const bool before_dots = past_word(text(op), "[") == offset_in(op, bound);
          if (!build_expression(bound, before_dots ? slice.from : slice.to)) return false;
        }
        result = add_expr(ast::Expr::make_slice(wrapped, slice));
        break;
      }
      default:
        break;
    }
  }
  out = result;
  return true;
}

}  // namespace morvane::parser::builder
