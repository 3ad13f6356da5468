// Reading clauses (MATCH, UNWIND, CALL, CALL { }) and updating clauses (CREATE, MERGE, SET,
// REMOVE, DELETE, FOREACH).
#include "parser/builder.h"
#include "parser/builder_text.h"

namespace morvane::parser::builder {

namespace {

// List tags inside one clause.
constexpr std::uint32_t kArgs = 0;
constexpr std::uint32_t kYields = 1;
constexpr std::uint32_t kOnMatch = 0;
constexpr std::uint32_t kOnCreate = 1;

}  // namespace

bool Builder::build_reading_clause(std::uint32_t pair, ast::ReadingClause& out) {
  const std::uint32_t c = first_child(pair);
  if (c == kNoPair) return fail("Empty reading_clause");
  switch (rule(c)) {
    case Rule::match_clause:
      return build_match_clause(c, out);
    case Rule::unwind_clause:
      return build_unwind_clause(c, out);
    case Rule::in_query_call: {
      ast::CallClause call;
      if (!build_call_clause(c, call)) return false;
      out.variant = call;
      return true;
    }
    case Rule::call_subquery:
      return build_call_subquery(c, out);
    default:
      return fail_rule("Unknown reading clause: ", c);
  }
}

bool Builder::build_match_clause(std::uint32_t pair, ast::ReadingClause& out) {
  ast::ReadingClause::Match match{};
  match.optional = keyword_at(text(pair), 0, "OPTIONAL");
  bool has_pattern = false;
  for (std::uint32_t k = first_child(pair); k != kNoPair; k = next_sibling(pair, k)) {
    if (rule(k) == Rule::pattern) {
      if (!build_pattern(k, match.pattern)) return false;
      has_pattern = true;
    } else if (rule(k) == Rule::where_clause) {
      const std::uint32_t e = first_child(k);
      if (e == kNoPair) return fail("Empty WHERE");
      if (!build_expression(e, match.where_clause)) return false;
    }
  }
  if (!has_pattern) return fail("MATCH missing pattern");
  out.variant = match;
  return true;
}

bool Builder::build_unwind_clause(std::uint32_t pair, ast::ReadingClause& out) {
  ast::ReadingClause::Unwind unwind;
  const std::uint32_t e = first_child(pair);
  if (e == kNoPair) return fail("UNWIND missing expr");
  if (!build_expression(e, unwind.expr)) return false;
  const std::uint32_t variable = next_sibling(pair, e);
  if (variable == kNoPair) return fail("UNWIND missing variable");
  unwind.variable = copy_text(variable);
  out.variant = unwind;
  return true;
}

bool Builder::build_call_subquery(std::uint32_t pair, ast::ReadingClause& out) {
  const std::uint32_t query = first_child(pair);
  if (query == kNoPair) return fail("Empty CALL subquery");
  ast::RegularQuery regular;
  if (!build_regular_query(query, regular)) return false;
  out.variant = regular;
  return true;
}

bool Builder::build_call_clause(std::uint32_t pair, ast::CallClause& out) {
  const std::uint32_t from = mark();
  for (std::uint32_t c = first_child(pair); c != kNoPair; c = next_sibling(pair, c)) {
    if (rule(c) == Rule::explicit_procedure_invocation) {
      for (std::uint32_t k = first_child(c); k != kNoPair; k = next_sibling(c, k)) {
        if (rule(k) == Rule::procedure_name) {
          out.procedure = copy_text(k);
        } else if (rule(k) == Rule::expression) {
          ast::ExprId arg;
          if (!build_expression(k, arg)) return false;
          push(arg, kArgs);
        }
      }
    } else if (rule(c) == Rule::yield_items) {
      for (std::uint32_t k = first_child(c); k != kNoPair; k = next_sibling(c, k)) {
        if (rule(k) != Rule::yield_item) continue;
        ast::YieldItem item;
        for (std::uint32_t j = first_child(k); j != kNoPair; j = next_sibling(k, j)) {
          if (rule(j) == Rule::procedure_result_field) {
            item.field = copy_text(j);
          } else if (rule(j) == Rule::variable) {
            item.variable = copy_text(j);
          }
        }
        push(add(item), kYields);
      }
    }
  }
  out.args = collect<ast::Expr>(from, kArgs);
  out.yield_items = collect<ast::YieldItem>(from, kYields);
  release(from);
  return true;
}

bool Builder::build_updating_clause(std::uint32_t pair, ast::UpdatingClause& out) {
  const std::uint32_t c = first_child(pair);
  if (c == kNoPair) return fail("Empty updating_clause");
  switch (rule(c)) {
    case Rule::foreach_clause:
      return build_foreach_clause(c, out);
    case Rule::create_clause: {
      const std::uint32_t p = first_child(c);
      if (p == kNoPair) return fail("CREATE missing pattern");
      ast::Pattern pattern;
      if (!build_pattern(p, pattern)) return false;
      out.variant = pattern;
      return true;
    }
    case Rule::merge_clause:
      return build_merge_clause(c, out);
    case Rule::set_clause: {
      ast::UpdatingClause::Set set;
      if (!build_set_clause(c, set.items)) return false;
      out.variant = set;
      return true;
    }
    case Rule::remove_clause:
      return build_remove_clause(c, out);
    case Rule::delete_clause:
      return build_delete_clause(c, out);
    default:
      return fail_rule("Unknown updating clause: ", c);
  }
}

bool Builder::build_foreach_clause(std::uint32_t pair, ast::UpdatingClause& out) {
  ast::UpdatingClause::Foreach foreach;
  const std::uint32_t variable = first_child(pair);
  if (variable == kNoPair) return fail("FOREACH missing variable");
  foreach.variable = copy_text(variable);
  const std::uint32_t list = next_sibling(pair, variable);
  if (list == kNoPair) return fail("FOREACH missing list expression");
  if (!build_expression(list, foreach.list)) return false;
  const std::uint32_t from = mark();
  for (std::uint32_t k = next_sibling(pair, list); k != kNoPair; k = next_sibling(pair, k)) {
    if (rule(k) == Rule::updating_clause && !push_updating_clause(k, 0)) return false;
  }
  foreach.body = take_list<ast::UpdatingClause>(from);
  if (foreach.body.empty()) return fail("FOREACH body is empty");
  out.variant = foreach;
  return true;
}

bool Builder::build_remove_clause(std::uint32_t pair, ast::UpdatingClause& out) {
  const std::uint32_t from = mark();
  for (std::uint32_t k = first_child(pair); k != kNoPair; k = next_sibling(pair, k)) {
    if (rule(k) != Rule::remove_item) continue;
    ast::RemoveItem item;
    if (!build_remove_item(k, item)) return false;
    push(add(item));
  }
  out.variant = ast::UpdatingClause::Remove{take_list<ast::RemoveItem>(from)};
  return true;
}

bool Builder::build_delete_clause(std::uint32_t pair, ast::UpdatingClause& out) {
  ast::UpdatingClause::Delete del{};
  del.detach = keyword_at(text(pair), 0, "DETACH");
  const std::uint32_t from = mark();
  for (std::uint32_t k = first_child(pair); k != kNoPair; k = next_sibling(pair, k)) {
    if (rule(k) != Rule::expression) continue;
    ast::ExprId e;
    if (!build_expression(k, e)) return false;
    push(e);
  }
  del.exprs = take_list<ast::Expr>(from);
  out.variant = del;
  return true;
}

bool Builder::build_merge_clause(std::uint32_t pair, ast::UpdatingClause& out) {
  ast::UpdatingClause::Merge merge;
  bool has_part = false;
  const std::uint32_t from = mark();
  for (std::uint32_t c = first_child(pair); c != kNoPair; c = next_sibling(pair, c)) {
    if (rule(c) == Rule::pattern_part) {
      if (!build_pattern_part(c, merge.pattern_part)) return false;
      has_part = true;
    } else if (rule(c) == Rule::on_match_or_create) {
      const std::uint32_t tag = keyword_at(text(c), 2, "MATCH") ? kOnMatch : kOnCreate;
      for (std::uint32_t k = first_child(c); k != kNoPair; k = next_sibling(c, k)) {
        if (rule(k) != Rule::set_clause) continue;
        ast::List<ast::SetItem> items;
        if (!build_set_clause(k, items)) return false;
        push(add(items), tag);
      }
    }
  }
  if (!has_part) return fail("MERGE missing pattern_part");
  merge.on_match = collect<ast::List<ast::SetItem>>(from, kOnMatch);
  merge.on_create = collect<ast::List<ast::SetItem>>(from, kOnCreate);
  release(from);
  out.variant = merge;
  return true;
}

bool Builder::build_set_clause(std::uint32_t pair, ast::List<ast::SetItem>& out) {
  const std::uint32_t from = mark();
  for (std::uint32_t c = first_child(pair); c != kNoPair; c = next_sibling(pair, c)) {
    if (rule(c) != Rule::set_item) continue;
    ast::SetItem item;
    if (!build_set_item(c, item)) return false;
    push(add(item));
  }
  out = take_list<ast::SetItem>(from);
  return true;
}

bool Builder::build_set_item(std::uint32_t pair, ast::SetItem& out) {
  const std::uint32_t first = first_child(pair);
  const std::uint32_t second = first == kNoPair ? kNoPair : next_sibling(pair, first);
  if (second == kNoPair) return fail("Invalid SET item");
  switch (rule(first)) {
    case Rule::property_expression: {
      ast::SetItem::Property item;
      if (!build_property_expression(first, item.property)) return false;
      if (!build_expression(second, item.value)) return false;
      out.variant = item;
      return true;
    }
    case Rule::variable: {
      const ast::Str variable = copy_text(first);
      if (keyword_at(text(pair), at(first).end - at(pair).begin, "+=")) {
        ast::SetItem::MergeProperties item{variable, {}};
        if (!build_expression(second, item.value)) return false;
        out.variant = item;
      } else if (rule(second) == Rule::node_labels) {
        out.variant = ast::SetItem::Labels{variable, copy_child_texts(second, Rule::label_name)};
      } else {
        ast::SetItem::AllProperties item{variable, {}};
        if (!build_expression(second, item.value)) return false;
        out.variant = item;
      }
      return true;
    }
    default:
      return fail("Unknown SET item");
  }
}

bool Builder::build_remove_item(std::uint32_t pair, ast::RemoveItem& out) {
  const std::uint32_t first = first_child(pair);
  if (first == kNoPair) return fail("Empty remove_item");
  switch (rule(first)) {
    case Rule::property_expression: {
      ast::PropertyExpr property;
      if (!build_property_expression(first, property)) return false;
      out.variant = property;
      return true;
    }
    case Rule::variable: {
      ast::RemoveItem::Labels item{copy_text(first), {}};
      const std::uint32_t second = next_sibling(pair, first);
      if (second != kNoPair && rule(second) == Rule::node_labels) {
        item.labels = copy_child_texts(second, Rule::label_name);
      }
      out.variant = item;
      return true;
    }
    default:
      return fail("Unknown REMOVE item");
  }
}

bool Builder::build_property_expression(std::uint32_t pair, ast::PropertyExpr& out) {
  const std::uint32_t from = mark();
  for (std::uint32_t c = first_child(pair); c != kNoPair; c = next_sibling(pair, c)) {
    if (rule(c) == Rule::variable) {
      out.variable = copy_text(c);
    } else if (rule(c) == Rule::property_lookup) {
      const std::uint32_t key = first_child(c);
      if (key == kNoPair) return fail("Property lookup missing key");
      push(add(copy_text(key)));
    }
  }
  out.keys = take_list<ast::Str>(from);
  return true;
}

}  // namespace morvane::parser::builder
