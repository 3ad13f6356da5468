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
  const char* empty_message;
};

Level level_of(Rule rule) {
  switch (rule) {
    case Rule::or_expr:
      return {true, Rule::or_kw, ast::ExprKind::Or, "Empty or_expr"};
    case Rule::xor_expr:
      return {true, Rule::xor_kw, ast::ExprKind::Xor, "Empty xor_expr"};
    case Rule::and_expr:
      return {true, Rule::and_kw, ast::ExprKind::And, "Empty and_expr"};
    case Rule::add_sub_expr:
      return {false, Rule::EOI, ast::ExprKind::Add, "Empty add_sub_expr"};
    case Rule::mul_div_expr:
      return {false, Rule::EOI, ast::ExprKind::Multiply, "Empty mul_div_expr"};
    case Rule::mod_expr:
      return {false, Rule::EOI, ast::ExprKind::Modulo, "Empty mod_expr"};
    default:
      return {false, Rule::EOI, ast::ExprKind::Power, "Empty power_expr"};
  }
}

// The node of a comparison operator's upper-cased text, or false when it names none.
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
    if (op == entry.text) {
      kind = entry.kind;
      return true;
    }
  }
  if (op.starts_with("STARTS")) {
    kind = ast::ExprKind::StartsWith;
    return true;
  }
  if (op.starts_with("ENDS")) {
    kind = ast::ExprKind::EndsWith;
    return true;
  }
  return false;
}

}  // namespace

bool Builder::build_expression(std::uint32_t pair, ast::ExprId& out) {
  // Levels with a single operand, parentheses and the rule `expression` add no node: the loop
  // steps down through them instead of recursing.
  while (true) {
    switch (rule(pair)) {
      case Rule::expression: {
        const std::uint32_t c = first_child(pair);
        if (c == kNoPair) return fail("Empty expression");
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
        if (only != kNoPair && rule(only) != Rule::or_kw && rule(only) != Rule::xor_kw &&
            rule(only) != Rule::and_kw) {
          pair = only;
          continue;
        }
        const Level level = level_of(rule(pair));
        std::uint32_t operand = kNoPair;
        std::uint32_t count = 0;
        for (std::uint32_t c = first_child(pair); c != kNoPair && count < 2;
             c = next_sibling(pair, c)) {
          if (level.has_keyword && rule(c) == level.keyword) continue;
          if (count++ == 0) operand = c;
        }
        if (count == 0) return fail(level.empty_message);
        if (count > 1) return build_left_fold(pair, out);
        pair = operand;
        continue;
      }
      case Rule::not_expr: {
        const std::uint32_t only = only_child(pair);
        if (only == kNoPair || rule(only) != Rule::comparison_expr) {
          return build_not_expr(pair, out);
        }
        pair = only;
        continue;
      }
      case Rule::comparison_expr: {
        const std::uint32_t first = first_child(pair);
        if (first == kNoPair) return fail("Empty comparison_expr");
        if (only_child(pair) == kNoPair) return build_comparison_expr(pair, out);
        pair = first;
        continue;
      }
      case Rule::unary_expr: {
        if (at(pair).end > at(pair).begin && input_[at(pair).begin] == '-') {
          return build_negation(pair, out);
        }
        const std::uint32_t c = find_child(pair, first_child(pair), Rule::postfix_expr);
        if (c == kNoPair) return fail("Unary missing postfix");
        pair = c;
        continue;
      }
      case Rule::postfix_expr: {
        const std::uint32_t first = first_child(pair);
        if (first == kNoPair) return fail("Postfix missing atom");
        if (only_child(pair) == kNoPair) return build_postfix_expr(pair, out);
        if (rule(first) != Rule::atom) return build_atom(first, out);
        pair = first;
        continue;
      }
      case Rule::atom: {
        const std::uint32_t c = only_child(pair);
        if (c == kNoPair || rule(c) != Rule::parenthesized_expr) return build_atom(pair, out);
        const std::uint32_t inner = first_child(c);
        if (inner == kNoPair) return fail("Empty paren expr");
        pair = inner;
        continue;
      }
      default:
        return fail_rule("Unexpected rule in expression: ", pair);
    }
  }
}

bool Builder::build_left_fold(std::uint32_t pair, ast::ExprId& out) {
  const Level level = level_of(rule(pair));
  std::uint32_t previous = kNoPair;
  std::uint32_t begin = 0;
  ast::ExprId result;
  for (std::uint32_t c = first_child(pair); c != kNoPair; c = next_sibling(pair, c)) {
    if (level.has_keyword && rule(c) == level.keyword) continue;
    ast::ExprId operand;
    if (!build_expression(c, operand)) return false;
    if (previous == kNoPair) {
      result = operand;
      begin = at(c).begin;
    } else {
      ast::ExprKind kind = level.kind;
      if (level.kind == ast::ExprKind::Add || level.kind == ast::ExprKind::Multiply) {
        // The operator is the first character after the left operand that the implicit skip
        // does not pass over.
        const std::size_t op = skip_implicit(input_, at(previous).end);
        const char written = op < input_.size() ? input_[op] : '\0';
        if (level.kind == ast::ExprKind::Add && written == '-') kind = ast::ExprKind::Subtract;
        if (level.kind == ast::ExprKind::Multiply && written == '/') kind = ast::ExprKind::Divide;
      }
      result = add_expr(ast::Expr::make_binary(kind, {begin, at(c).end}, {result, operand}));
    }
    previous = c;
  }
  if (previous == kNoPair) return fail(level.empty_message);
  out = result;
  return true;
}

bool Builder::build_not_expr(std::uint32_t pair, ast::ExprId& out) {
  std::uint32_t nots = 0;
  for (std::uint32_t c = first_child(pair); c != kNoPair; c = next_sibling(pair, c)) {
    nots += rule(c) == Rule::not_kw;
  }
  const std::uint32_t comparison = find_child(pair, first_child(pair), Rule::comparison_expr);
  if (comparison == kNoPair) return fail("NOT missing comparison_expr");
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
  if (first == kNoPair) return fail("Empty comparison_expr");
  ast::ExprId result;
  if (!build_expression(first, result)) return false;
  std::uint32_t op = next_sibling(pair, first);
  while (op != kNoPair) {
    const std::uint32_t operand = next_sibling(pair, op);
    if (operand == kNoPair) break;
    ast::ExprId right;
    if (!build_expression(operand, right)) return false;
    const std::string upper = to_upper(text(op));
    ast::ExprKind kind;
    if (!comparison_kind(upper, kind)) return fail("Unknown comparison op: " + upper);
    result = add_expr(
        ast::Expr::make_binary(kind, {at(first).begin, at(operand).end}, {result, right}));
    op = next_sibling(pair, operand);
  }
  out = result;
  return true;
}

bool Builder::build_negation(std::uint32_t pair, ast::ExprId& out) {
  const std::uint32_t c = find_child(pair, first_child(pair), Rule::postfix_expr);
  if (c == kNoPair) return fail("Unary missing postfix");
  ast::ExprId operand;
  if (!build_expression(c, operand)) return false;
  out = add_expr(ast::Expr::make_unary(ast::ExprKind::Negate, span(pair), {operand}));
  return true;
}

bool Builder::build_postfix_expr(std::uint32_t pair, ast::ExprId& out) {
  const std::uint32_t first = first_child(pair);
  if (first == kNoPair) return fail("Postfix missing atom");
  ast::ExprId result;
  if (!build_atom(first, result)) return false;
  for (std::uint32_t c = next_sibling(pair, first); c != kNoPair; c = next_sibling(pair, c)) {
    if (rule(c) != Rule::postfix_op) continue;
    const std::uint32_t op = first_child(c);
    if (op == kNoPair) return fail("Empty postfix_op");
    const ast::Span wrapped{at(pair).begin, at(c).end};
    switch (rule(op)) {
      case Rule::null_check_op: {
        const bool is_not = to_upper(text(op)).find("NOT") != std::string::npos;
        result = add_expr(ast::Expr::make_unary(
            is_not ? ast::ExprKind::IsNotNull : ast::ExprKind::IsNull, wrapped, {result}));
        break;
      }
      case Rule::property_lookup: {
        const std::uint32_t key = first_child(op);
        if (key == kNoPair) return fail("Property lookup missing key");
        result = add_expr(ast::Expr::make_property_access(wrapped, {result, copy_text(key)}));
        break;
      }
      case Rule::subscript_op: {
        const std::uint32_t index = first_child(op);
        if (index == kNoPair) return fail("Subscript missing index");
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
          const bool before_dots =
              skip_implicit(text(op), 1) == at(bound).begin - at(op).begin;
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
