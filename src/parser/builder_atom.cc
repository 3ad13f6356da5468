// Atoms: function calls, REDUCE, shortest paths, CASE, comprehensions, quantifiers, subqueries,
// literals, parameters and variables.
#include "parser/builder.h"
#include "parser/builder_text.h"

namespace morvane::parser::builder {

namespace {

// The first `count` characters of `text` (all of it when shorter).
std::string_view first_characters(std::string_view text, std::size_t count) {
  std::size_t end = 0;
  for (; end < text.size() && count > 0; --count) {
    ++end;
    while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;
  }
  return text.substr(0, end);
}

// `text` without its first and its last character.
std::string_view inner_text(std::string_view text) {
  const std::string_view first = first_characters(text, 1);
  text.remove_prefix(first.size());
  if (text.empty()) return text;
  std::size_t last = text.size() - 1;
  while (last > 0 && (static_cast<unsigned char>(text[last]) & 0xC0) == 0x80) --last;
  return text.substr(0, last);
}

}  // namespace

bool Builder::build_atom(std::uint32_t pair, ast::ExprId& out) {
  const std::uint32_t c = first_child(pair);
  if (c == kNoPair) return fail(Guard::kEmptyAtom);
  switch (rule(c)) {
    case Rule::parenthesized_expr:
      return build_operand(c, Guard::kEmptyParenExpr, out);
    case Rule::count_star:
      out = add_expr(ast::Expr::make_empty(ast::ExprKind::CountStar, span(c)));
      return true;
    case Rule::function_invocation:
      return build_function_invocation(c, out);
    case Rule::reduce_expression:
      return build_reduce_expression(c, out);
    case Rule::shortest_path_call:
      return build_shortest_path_call(c, out);
    case Rule::case_expression:
      return build_case_expression(c, out);
    case Rule::list_comprehension:
      return build_list_comprehension(c, out);
    case Rule::quantifier_expression:
      return build_quantifier_expression(c, out);
    case Rule::exists_subquery:
      return build_exists_subquery(c, out);
    case Rule::pattern_comprehension:
      return build_pattern_comprehension(c, out);
    case Rule::count_subquery:
      return build_subquery(c, ast::ExprKind::CountSubquery, Guard::kEmptyCountSubquery, out);
    case Rule::collect_subquery:
      return build_subquery(c, ast::ExprKind::CollectSubquery, Guard::kEmptyCollectSubquery,
                            out);
    case Rule::literal:
      return build_literal(c, out);
    case Rule::parameter:
      out = add_expr(
          ast::Expr::make_name(ast::ExprKind::Parameter, span(c), copy_parameter_name(c)));
      return true;
    case Rule::variable:
      out = add_expr(ast::Expr::make_name(ast::ExprKind::Variable, span(c), copy_text(c)));
      return true;
    default:
      return fail_rule(Guard::kUnknownAtom, c);
  }
}

bool Builder::build_function_invocation(std::uint32_t pair, ast::ExprId& out) {
  const std::uint32_t name = first_child(pair);
  if (name == kNoPair) return fail(Guard::kFunctionMissingName);
  ast::FunctionCallExpr call{copy_text(name), false, {}};
  call.distinct = keyword_after(text_after(pair, name), "(", "DISTINCT");
  if (!build_expressions(children_after(pair, name), call.args)) return false;
  out = add_expr(ast::Expr::make_function_call(span(pair), call));
  return true;
}

bool Builder::build_reduce_expression(std::uint32_t pair, ast::ExprId& out) {
  ast::ReduceExpr reduce;
  const std::uint32_t accumulator = first_child(pair);
  if (accumulator == kNoPair) return fail(Guard::kReduceMissingAccumulator);
  reduce.accumulator = copy_text(accumulator);
  const std::uint32_t init = next_sibling(pair, accumulator);
  if (init == kNoPair) return fail(Guard::kReduceMissingInit);
  if (!build_expression(init, reduce.init)) return false;
  const std::uint32_t variable = next_sibling(pair, init);
  if (variable == kNoPair) return fail(Guard::kReduceMissingVariable);
  reduce.variable = copy_text(variable);
  const std::uint32_t list = next_sibling(pair, variable);
  if (list == kNoPair) return fail(Guard::kReduceMissingList);
  if (!build_expression(list, reduce.list)) return false;
  const std::uint32_t projection = next_sibling(pair, list);
  if (projection == kNoPair) return fail(Guard::kReduceMissingProjection);
  if (!build_expression(projection, reduce.projection)) return false;
  out = add_expr(ast::Expr::make_reduce(span(pair), reduce));
  return true;
}

bool Builder::build_shortest_path_call(std::uint32_t pair, ast::ExprId& out) {
  const bool all = starts_with_ascii_ci(text(pair), "ALL");
  const std::uint32_t start = first_child(pair);
  if (start == kNoPair) return fail(Guard::kShortestPathMissingStart);
  ast::PatternElement element;
  if (!build_node_pattern(start, element.start)) return false;
  if (!build_chain(pair, start, element.chain)) return false;
  out = add_expr(ast::Expr::make_shortest_path(span(pair), {all, add(element)}));
  return true;
}

bool Builder::build_case_expression(std::uint32_t pair, ast::ExprId& out) {
  ast::CaseExpr result{};
  std::uint32_t c = first_child(pair);
  // The first child is the operand when it starts right after CASE, past whitespace and
  // comments; otherwise it is the first WHEN condition.
  if (c != kNoPair && past_word(text(pair), "CASE") == offset_in(pair, c)) {
    if (!build_expression(c, result.operand)) return false;
    c = next_sibling(pair, c);
  }
  const auto alternatives = open_list<ast::CaseAlternative>();
  while (c != kNoPair) {
    const std::uint32_t then = next_sibling(pair, c);
    if (then == kNoPair) {
      if (!build_expression(c, result.else_expr)) return false;
      break;
    }
    ast::CaseAlternative alternative;
    if (!build_expression(c, alternative.when)) return false;
    if (!build_expression(then, alternative.then)) return false;
    push(alternatives, add(alternative));
    c = next_sibling(pair, then);
  }
  result.alternatives = take_list(alternatives);
  out = add_expr(ast::Expr::make_case(span(pair), result));
  return true;
}

bool Builder::build_list_comprehension(std::uint32_t pair, ast::ExprId& out) {
  FilterParts filter;
  ast::ExprId projection;
  for (const std::uint32_t c : children(pair)) {
    if (rule(c) == Rule::filter_expression) {
      if (!parse_filter_expression(c, filter)) return false;
    } else if (rule(c) == Rule::expression) {
      if (!build_expression(c, projection)) return false;
    }
  }
  const ast::ExprId list = filter.list.present() ? filter.list : add_null(span(pair));
  out = add_expr(ast::Expr::make_list_comprehension(
      span(pair), {filter.variable, list, filter.where_clause, projection}));
  return true;
}

bool Builder::build_quantifier_expression(std::uint32_t pair, ast::ExprId& out) {
  const std::string_view written = text(pair);
  ast::ExprKind kind = ast::ExprKind::Single;
  if (starts_with_ascii_ci(written, "ALL")) {
    kind = ast::ExprKind::All;
  } else if (starts_with_ascii_ci(written, "ANY")) {
    kind = ast::ExprKind::Any;
  } else if (starts_with_ascii_ci(written, "NONE")) {
    kind = ast::ExprKind::None;
  }
  FilterParts filter;
  for (const std::uint32_t c : children(pair)) {
    if (rule(c) == Rule::filter_expression && !parse_filter_expression(c, filter)) return false;
  }
  const ast::ExprId list = filter.list.present() ? filter.list : add_null(span(pair));
  out = add_expr(
      ast::Expr::make_quantifier(kind, span(pair), {filter.variable, list, filter.where_clause}));
  return true;
}

bool Builder::build_exists_subquery(std::uint32_t pair, ast::ExprId& out) {
  const std::uint32_t c = first_child(pair);
  if (c == kNoPair) return fail(Guard::kEmptyExists);
  ast::ExistsSubquery subquery;
  if (rule(c) == Rule::pattern) {
    if (!build_into(c, &Builder::build_pattern, subquery.variant)) return false;
  } else if (rule(c) == Rule::regular_query) {
    if (!build_into(c, &Builder::build_regular_query, subquery.variant)) return false;
  } else {
    return fail(Guard::kUnknownExists);
  }
  out = add_expr(ast::Expr::make_exists(span(pair), add(subquery)));
  return true;
}

bool Builder::build_pattern_comprehension(std::uint32_t pair, ast::ExprId& out) {
  const std::uint32_t first = first_child(pair);
  if (first == kNoPair) return fail(Guard::kComprehensionMissingPattern);
  ast::PatternElement element;
  if (!build_pattern_element(first, element)) return false;
  ast::ExprId first_expr;
  ast::ExprId last_expr;
  std::uint32_t count = 0;
  for (const std::uint32_t c : children_after(pair, first)) {
    if (rule(c) != Rule::expression) continue;
    if (!build_expression(c, last_expr)) return false;
    if (count++ == 0) first_expr = last_expr;
  }
  if (count == 0) return fail(Guard::kComprehensionMissingProjection);
  ast::PatternComprehensionExpr comprehension{add(element), {}, last_expr};
  if (count > 1) comprehension.where_clause = first_expr;
  out = add_expr(ast::Expr::make_pattern_comprehension(span(pair), comprehension));
  return true;
}

bool Builder::build_subquery(std::uint32_t pair, ast::ExprKind kind, Guard empty,
                             ast::ExprId& out) {
  const std::uint32_t c = first_child(pair);
  if (c == kNoPair) return fail(empty);
  ast::RegularQuery query;
  if (!build_regular_query(c, query)) return false;
  out = add_expr(ast::Expr::make_subquery(kind, span(pair), add(query)));
  return true;
}

bool Builder::build_literal(std::uint32_t pair, ast::ExprId& out) {
  const std::uint32_t c = first_child(pair);
  if (c == kNoPair) return fail(Guard::kEmptyLiteral);
  const ast::Span where = span(c);
  switch (rule(c)) {
    case Rule::integer_literal:
      out = add_expr(ast::Expr::make_integer(where, read_integer(text(c))));
      return true;
    case Rule::float_literal:
      out = add_expr(ast::Expr::make_float(where, read_float(text(c))));
      return true;
    case Rule::string_literal:
      out = add_expr(ast::Expr::make_string(where, copy_text(inner_text(text(c)))));
      return true;
    case Rule::boolean_literal:
      out = add_expr(ast::Expr::make_boolean(where, equals_ascii_ci(text(c), "TRUE")));
      return true;
    case Rule::null_literal:
      out = add_null(where);
      return true;
    case Rule::list_literal: {
      ast::List<ast::Expr> items;
      if (!build_expressions(children(c), items)) return false;
      out = add_expr(ast::Expr::make_list(where, items));
      return true;
    }
    case Rule::map_literal: {
      ast::List<ast::MapEntry> entries;
      if (!build_map_literal(c, entries)) return false;
      out = add_expr(ast::Expr::make_map(where, entries));
      return true;
    }
    default:
      return fail_rule(Guard::kUnknownLiteral, c);
  }
}

bool Builder::parse_filter_expression(std::uint32_t pair, FilterParts& out) {
  out = FilterParts{};
  for (const std::uint32_t c : children(pair)) {
    if (rule(c) == Rule::id_in_coll) {
      const std::uint32_t variable = first_child(c);
      out.variable = variable == kNoPair ? ast::Str{} : copy_text(variable);
      const std::uint32_t list = variable == kNoPair ? kNoPair : next_sibling(c, variable);
      if (list != kNoPair && !build_expression(list, out.list)) return false;
    } else if (rule(c) == Rule::expression) {
      if (!build_expression(c, out.where_clause)) return false;
    }
  }
  return true;
}

}  // namespace morvane::parser::builder
