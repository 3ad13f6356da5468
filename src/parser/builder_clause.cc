// Reading clauses (MATCH, UNWIND, CALL, CALL { }) and updating clauses (CREATE, MERGE, SET,
// REMOVE, DELETE, FOREACH).
#include "parser/builder.h"
#include "parser/builder_text.h"

namespace morvane::parser::builder {

bool Builder::build_reading_clause(std::uint32_t pair, ast::ReadingClause& out) {
  const std::uint32_t c = first_child(pair);
  if (c == kNoPair) return fail(Guard::kEmptyReadingClause);
  switch (rule(c)) {
    case Rule::match_clause:
      return build_match_clause(c, out);
    case Rule::unwind_clause:
      return build_unwind_clause(c, out);
    case Rule::in_query_call:
      return build_into(c, &Builder::build_call_clause, out.variant);
    case Rule::call_subquery:
      return build_call_subquery(c, out);
    default:
      return fail_rule(Guard::kUnknownReadingClause, c);
  }
}

bool Builder::build_match_clause(std::uint32_t pair, ast::ReadingClause& out) {
  ast::ReadingClause::Match match{};
  match.optional = next_word_is(text(pair), "OPTIONAL");
  bool has_pattern = false;
  for (const std::uint32_t c : children(pair)) {
    if (rule(c) == Rule::pattern) {
      if (!build_pattern(c, match.pattern)) return false;
      has_pattern = true;
    } else if (rule(c) == Rule::where_clause) {
      if (!build_operand(c, Guard::kMatchEmptyWhere, match.where_clause)) return false;
    }
  }
  if (!has_pattern) return fail(Guard::kMatchMissingPattern);
  out.variant = match;
  return true;
}

bool Builder::build_unwind_clause(std::uint32_t pair, ast::ReadingClause& out) {
  ast::ReadingClause::Unwind unwind;
  const std::uint32_t e = first_child(pair);
  if (e == kNoPair) return fail(Guard::kUnwindMissingExpr);
  if (!build_expression(e, unwind.expr)) return false;
  const std::uint32_t variable = next_sibling(pair, e);
  if (variable == kNoPair) return fail(Guard::kUnwindMissingVariable);
  unwind.variable = copy_text(variable);
  out.variant = unwind;
  return true;
}

bool Builder::build_call_subquery(std::uint32_t pair, ast::ReadingClause& out) {
  const std::uint32_t query = first_child(pair);
  if (query == kNoPair) return fail(Guard::kEmptyCallSubquery);
  return build_into(query, &Builder::build_regular_query, out.variant);
}

bool Builder::build_call_clause(std::uint32_t pair, ast::CallClause& out) {
  const auto args = open_list<ast::Expr>();
  const auto yields = open_list<ast::YieldItem>();
  for (const std::uint32_t c : children(pair)) {
    if (rule(c) == Rule::explicit_procedure_invocation) {
      for (const std::uint32_t k : children(c)) {
        if (rule(k) == Rule::procedure_name) {
          out.procedure = copy_text(k);
        } else if (rule(k) == Rule::expression) {
          ast::ExprId arg;
          if (!build_expression(k, arg)) return false;
          push(args, arg);
        }
      }
    } else if (rule(c) == Rule::yield_items) {
      for (const std::uint32_t k : children(c)) {
        if (rule(k) != Rule::yield_item) continue;
        ast::YieldItem item;
        for (const std::uint32_t j : children(k)) {
          if (rule(j) == Rule::procedure_result_field) {
            item.field = copy_text(j);
          } else if (rule(j) == Rule::variable) {
            item.variable = copy_text(j);
          }
        }
        push(yields, add(item));
      }
    }
  }
  out.args = collect(args);
  out.yield_items = collect(yields);
  release(args);
  return true;
}

bool Builder::build_updating_clause(std::uint32_t pair, ast::UpdatingClause& out) {
  const std::uint32_t c = first_child(pair);
  if (c == kNoPair) return fail(Guard::kEmptyUpdatingClause);
  switch (rule(c)) {
    case Rule::foreach_clause:
      return build_foreach_clause(c, out);
    case Rule::create_clause: {
      const std::uint32_t p = first_child(c);
      if (p == kNoPair) return fail(Guard::kCreateMissingPattern);
      return build_into(p, &Builder::build_pattern, out.variant);
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
      return fail_rule(Guard::kUnknownUpdatingClause, c);
  }
}

bool Builder::build_foreach_clause(std::uint32_t pair, ast::UpdatingClause& out) {
  ast::UpdatingClause::Foreach foreach;
  const std::uint32_t variable = first_child(pair);
  if (variable == kNoPair) return fail(Guard::kForeachMissingVariable);
  foreach.variable = copy_text(variable);
  const std::uint32_t list = next_sibling(pair, variable);
  if (list == kNoPair) return fail(Guard::kForeachMissingList);
  if (!build_expression(list, foreach.list)) return false;
  const auto body = open_list<ast::UpdatingClause>();
  for (const std::uint32_t c : children_after(pair, list)) {
    if (rule(c) == Rule::updating_clause && !push_updating_clause(c, body)) return false;
  }
  foreach.body = take_list(body);
  if (foreach.body.empty()) return fail(Guard::kForeachEmptyBody);
  out.variant = foreach;
  return true;
}

bool Builder::build_remove_clause(std::uint32_t pair, ast::UpdatingClause& out) {
  ast::UpdatingClause::Remove remove;
  if (!build_children(pair, Rule::remove_item, &Builder::build_remove_item, remove.items)) {
    return false;
  }
  out.variant = remove;
  return true;
}

bool Builder::build_delete_clause(std::uint32_t pair, ast::UpdatingClause& out) {
  ast::UpdatingClause::Delete del{};
  del.detach = next_word_is(text(pair), "DETACH");
  if (!build_expressions(children(pair), del.exprs)) return false;
  out.variant = del;
  return true;
}

bool Builder::build_merge_clause(std::uint32_t pair, ast::UpdatingClause& out) {
  ast::UpdatingClause::Merge merge;
  bool has_part = false;
  const auto on_match = open_list<ast::List<ast::SetItem>>();
  const auto on_create = open_list<ast::List<ast::SetItem>>();
  for (const std::uint32_t c : children(pair)) {
    if (rule(c) == Rule::pattern_part) {
      if (!build_pattern_part(c, merge.pattern_part)) return false;
      has_part = true;
    } else if (rule(c) == Rule::on_match_or_create) {
      const auto actions = keyword_after(text(c), "ON", "MATCH") ? on_match : on_create;
      for (const std::uint32_t k : children(c)) {
        if (rule(k) != Rule::set_clause) continue;
        ast::List<ast::SetItem> items;
        if (!build_set_clause(k, items)) return false;
        push(actions, add(items));
      }
    }
  }
  if (!has_part) return fail(Guard::kMergeMissingPatternPart);
  merge.on_match = collect(on_match);
  merge.on_create = collect(on_create);
  release(on_match);
  out.variant = merge;
  return true;
}

bool Builder::build_set_clause(std::uint32_t pair, ast::List<ast::SetItem>& out) {
  return build_children(pair, Rule::set_item, &Builder::build_set_item, out);
}

bool Builder::build_set_item(std::uint32_t pair, ast::SetItem& out) {
  const std::uint32_t first = first_child(pair);
  const std::uint32_t second = first == kNoPair ? kNoPair : next_sibling(pair, first);
  if (second == kNoPair) return fail(Guard::kInvalidSetItem);
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
      if (next_word_is(text_after(pair, first), "+=")) {
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
      return fail(Guard::kUnknownSetItem);
  }
}

bool Builder::build_remove_item(std::uint32_t pair, ast::RemoveItem& out) {
  const std::uint32_t first = first_child(pair);
  if (first == kNoPair) return fail(Guard::kEmptyRemoveItem);
  switch (rule(first)) {
    case Rule::property_expression:
      return build_into(first, &Builder::build_property_expression, out.variant);
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
      return fail(Guard::kUnknownRemoveItem);
  }
}

bool Builder::build_property_expression(std::uint32_t pair, ast::PropertyExpr& out) {
  const auto keys = open_list<ast::Str>();
  for (const std::uint32_t c : children(pair)) {
    if (rule(c) == Rule::variable) {
      out.variable = copy_text(c);
    } else if (rule(c) == Rule::property_lookup) {
      const std::uint32_t key = first_child(c);
      if (key == kNoPair) return fail(Guard::kPropertyLookupMissingKey);
      push(keys, add(copy_text(key)));
    }
  }
  out.keys = take_list(keys);
  return true;
}

}  // namespace morvane::parser::builder
