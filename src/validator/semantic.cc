// The validator's entry, its one report operation, and the walk over queries and clauses with
// the scope rules. Pattern checks are in semantic_patterns.cc, expression checks in
// semantic_expr.cc.
#include "validator/semantic.h"

#include <algorithm>
#include <utility>
#include <variant>

#include "diagnostics/suggest.h"

namespace morvane::validator::semantic {

SemanticValidator::SemanticValidator(const schema::Schema& schema,
                                     const SuggestionIndex& suggestions,
                                     const ast::CypherQuery& tree)
    : schema_(schema), suggestions_(suggestions), tree_(tree) {}

void SemanticValidator::validate() {
  std::visit(ast::Overloaded{
                 [&](const ast::CypherQuery::Regular& regular) {
                   validate_regular_query(regular, ArmScope::kEmpty);
                 },
                 [](const ast::CypherQuery::StandaloneCall&) {},
             },
             tree_.root());
}

void SemanticValidator::report(DiagnosticCode code, std::initializer_list<std::string_view> args,
                               std::optional<Suggestion> suggestion) {
  // A query with findings mostly has a few: room for them at the first.
  if (diagnostics_.capacity() == 0) diagnostics_.reserve(4);
  diagnostics_.push_back(ValidationDiagnostic{code, diagnostics::severity(code),
                                              diagnostics::format_message(code, args),
                                              std::move(suggestion), std::nullopt});
}

std::optional<std::string_view> SemanticValidator::closest_name(std::string_view name,
                                                                std::size_t list) {
  const SearchKey key{list, name};
  const auto first_end = first_searched_.begin() + first_searched_count_;
  for (auto it = first_searched_.begin(); it != first_end; ++it) {
    if (it->key == key) return it->best;
  }
  if (auto found = more_searched_.find(key); found != more_searched_.end()) return found->second;
  std::optional<std::string_view> best =
      suggestions_.candidates().closest(list, name, &suggest_stats_);
  if (first_searched_count_ < first_searched_.size()) {
    first_searched_[first_searched_count_++] = Searched{key, best};
  } else {
    more_searched_.emplace(key, best);
  }
  return best;
}

SemanticValidator::Proposal SemanticValidator::label_proposal(ast::Str written,
                                                              std::size_t list) {
  return propose(written, list, ":", diagnostics::label_replacement);
}

SemanticValidator::Proposal SemanticValidator::property_proposal(ast::Str written,
                                                                 std::size_t list) {
  return propose(written, list, ".", diagnostics::property_replacement);
}

SemanticValidator::Proposal SemanticValidator::propose(
    ast::Str written, std::size_t list, std::string_view prefix,
    std::optional<Suggestion> (*replacement)(std::string_view, std::optional<std::string_view>)) {
  std::optional<std::string_view> best = closest_name(name(written), list);
  Proposal proposal{diagnostics::suggestion_hint(prefix, best), std::nullopt};
  if (!best) return proposal;
  // A name the query quotes is replaced by a quoted name, whether or not it needs the quotes.
  const std::string_view as_written = text(written);
  const bool quoted = !as_written.empty() && as_written.front() == '`';
  switch (parser::name_form(*best)) {
    case parser::NameForm::kPlain:
      if (!quoted) {
        proposal.suggestion = replacement(as_written, best);
        break;
      }
      [[fallthrough]];
    case parser::NameForm::kQuoted:
      proposal.suggestion = replacement(as_written, parser::quoted_name(*best));
      break;
    case parser::NameForm::kUnwritable:
      return proposal;
  }
  if (std::optional<ast::Span> place = tree_.place(written)) {
    proposal.suggestion->name_begin = place->begin;
    proposal.suggestion->name_end = place->end;
  }
  return proposal;
}

// ---- Queries ----

void SemanticValidator::validate_regular_query(const ast::RegularQuery& query, ArmScope arms) {
  if (!enter(last_expr_at_)) return;
  const ast::ListView<ast::UnionArm> unions = tree_[query.unions];
  if (unions.empty()) {
    validate_single_query(query.single_query);
    return;
  }
  Scope outer;
  if (arms == ArmScope::kOuter) outer = scope_;
  validate_single_query(query.single_query);
  for (const ast::UnionArm& arm : unions) {
    Scope saved = std::move(scope_);
    scope_ = outer;
    validate_single_query(arm.query);
    scope_ = std::move(saved);
  }
}

void SemanticValidator::validate_single_query(const ast::SingleQuery& query) {
  std::visit(ast::Overloaded{
                 [&](const ast::SingleQuery::SinglePart& single) { validate_single_part(single); },
                 [&](const ast::SingleQuery::MultiPart& multi) { validate_multi_part(multi); },
             },
             query.variant);
}

void SemanticValidator::validate_single_part(const ast::SinglePartQuery& query) {
  validate_clauses(query.reading_clauses, query.updating_clauses);
  if (query.return_clause.present()) validate_return_clause(tree_[query.return_clause]);
}

void SemanticValidator::validate_multi_part(const ast::MultiPartQuery& query) {
  for (const ast::QueryPart& part : tree_[query.parts]) {
    validate_clauses(part.reading_clauses, part.updating_clauses);

    const ast::WithClause& with = part.with_clause;
    const std::size_t aggregates_before = aggregates_met_;
    for (const ast::ReturnItem& item : tree_[with.items]) validate_expr(item.expr);
    const bool grouped = aggregates_met_ != aggregates_before;
    check_alias_uniqueness(with.items);

    // The projection replaces the scope. Its ORDER BY and WHERE also see what was bound before
    // it, with the projected names over it, unless the rows are grouped (an item holds an
    // aggregate, at any depth) or made distinct: then, as after the WITH, only the projected
    // names exist. SKIP and LIMIT see the projection.
    Scope projected;
    bind_projection(with.items, scope_.open_layer(), projected, 0);
    const bool sees_earlier =
        (with.order_by || with.where_clause.present()) && !with.distinct && !grouped;
    if (sees_earlier) {
      scope_.bind_all_replacing(projected);
      validate_order_by(with.order_by);
      std::swap(scope_, projected);
      validate_skip_limit(with.skip, with.limit);
      std::swap(scope_, projected);
      if (with.where_clause.present()) validate_expr(with.where_clause);
      scope_ = std::move(projected);
    } else {
      scope_ = std::move(projected);
      validate_order_by(with.order_by);
      validate_skip_limit(with.skip, with.limit);
      if (with.where_clause.present()) validate_expr(with.where_clause);
    }
  }

  validate_clauses(query.reading_clauses, query.updating_clauses);
  if (query.return_clause.present()) validate_return_clause(tree_[query.return_clause]);
}

void SemanticValidator::validate_clauses(ast::List<ast::ReadingClause> reading,
                                         ast::List<ast::UpdatingClause> updating) {
  // Whether a MATCH may scan all nodes depends on what was bound before it, which is what the
  // scope holds while its bindings are collected. The clauses that may are noted then, from
  // first_scanning on, and met again in the same order while they are validated (the parts of
  // subqueries note theirs above and drop them when done).
  const std::size_t first_scanning = scanning_.size();
  names_called_.clear();
  for (const ast::ReadingClause& clause : tree_[reading]) {
    if (collect_reading_bindings(clause)) scanning_.push_back(&clause);
  }
  for (const ast::UpdatingClause& clause : tree_[updating]) collect_updating_bindings(clause);
  std::size_t next_scanning = first_scanning;
  for (const ast::ReadingClause& clause : tree_[reading]) {
    const bool may_scan = next_scanning < scanning_.size() && scanning_[next_scanning] == &clause;
    if (may_scan) ++next_scanning;
    validate_reading_clause(clause, may_scan);
  }
  for (const ast::UpdatingClause& clause : tree_[updating]) validate_updating_clause(clause);
  scanning_.resize(first_scanning);
}

// ---- Clauses ----

void SemanticValidator::validate_reading_clause(const ast::ReadingClause& clause,
                                                bool may_scan) {
  std::visit(
      [&](const auto& payload) {
        using T = std::decay_t<decltype(payload)>;
        if constexpr (std::is_same_v<T, ast::ReadingClause::Match>) {
          for (const ast::PatternPart& part : tree_[payload.pattern.parts]) {
            validate_pattern_element(part.element);
          }
          if (payload.where_clause.present()) {
            check_aggregate_context(payload.where_clause, "MATCH WHERE");
            validate_expr(payload.where_clause);
          }
          check_cartesian_product(payload.pattern.parts);
          check_match_complexity(payload, may_scan);
        } else if constexpr (std::is_same_v<T, ast::ReadingClause::Unwind>) {
          validate_expr(payload.expr);
        } else if constexpr (std::is_same_v<T, ast::ReadingClause::InQueryCall>) {
          // Procedures are not part of the schema: neither the name nor the arguments are
          // checked.
        } else {
          static_assert(std::is_same_v<T, ast::ReadingClause::CallSubquery>);
          validate_call_subquery(payload);
        }
      },
      clause.variant);
}

void SemanticValidator::validate_updating_clause(const ast::UpdatingClause& clause) {
  std::visit(
      [&](const auto& payload) {
        using T = std::decay_t<decltype(payload)>;
        if constexpr (std::is_same_v<T, ast::UpdatingClause::Create>) {
          for (const ast::PatternPart& part : tree_[payload.parts]) {
            validate_pattern_element(part.element);
          }
        } else if constexpr (std::is_same_v<T, ast::UpdatingClause::Merge>) {
          // ON MATCH and ON CREATE items are not checked.
          validate_pattern_element(payload.pattern_part.element);
        } else if constexpr (std::is_same_v<T, ast::UpdatingClause::Set>) {
          for (const ast::SetItem& item : tree_[payload.items]) {
            auto value = [&](ast::ExprId expr) {
              check_aggregate_context(expr, "SET");
              validate_expr(expr);
            };
            std::visit(ast::Overloaded{
                           [&](const ast::SetItem::Property& property) {
                             validate_property_expr(property.property);
                             value(property.value);
                           },
                           [&](const ast::SetItem::AllProperties& all) { value(all.value); },
                           [&](const ast::SetItem::MergeProperties& merge) { value(merge.value); },
                           [&](const ast::SetItem::Labels& labels) {
                             check_set_remove_labels(labels.labels, true);
                           },
                       },
                       item.variant);
          }
        } else if constexpr (std::is_same_v<T, ast::UpdatingClause::Remove>) {
          for (const ast::RemoveItem& item : tree_[payload.items]) {
            std::visit(ast::Overloaded{
                           [&](const ast::RemoveItem::Labels& labels) {
                             check_set_remove_labels(labels.labels, false);
                           },
                           [&](const ast::RemoveItem::Property& property) {
                             validate_property_expr(property);
                           },
                       },
                       item.variant);
          }
        } else if constexpr (std::is_same_v<T, ast::UpdatingClause::Delete>) {
          ast::ListView<ast::Expr> exprs = tree_[payload.exprs];
          for (std::uint32_t i = 0; i < exprs.size(); ++i) {
            check_aggregate_context(exprs.id(i), "DELETE");
            validate_expr(exprs.id(i));
          }
        } else {
          static_assert(std::is_same_v<T, ast::UpdatingClause::Foreach>);
          validate_expr(payload.list);
          if (!enter(tree_[payload.list].span().begin)) return;
          std::string_view variable = text(payload.variable);
          bool added = scope_.bind_if_absent(variable);
          for (const ast::UpdatingClause& inner : tree_[payload.body]) {
            validate_updating_clause(inner);
          }
          if (added) scope_.remove(variable);
        }
      },
      clause.variant);
}

void SemanticValidator::validate_call_subquery(const ast::RegularQuery& query) {
  // The inner query shares the scope, so it sees the outer variables. After it the scope holds
  // what it held before, what the inner query bound, and the names its RETURN projects; a name
  // that a later UNION arm returns too carries no labels, since its rows may come from any arm.
  Scope before = scope_;
  validate_regular_query(query, ArmScope::kOuter);
  Scope returned;
  bind_projection(return_items(query.single_query), scope_.open_layer(), returned, 0);
  for (const ast::UnionArm& arm : tree_[query.unions]) {
    for (const ast::ReturnItem& item : tree_[return_items(arm.query)]) {
      if (std::optional<std::string_view> name = projection_name(item)) returned.bind_empty(*name);
    }
  }
  scope_.bind_missing(before);
  scope_.bind_all_replacing(returned);
}

void SemanticValidator::validate_return_clause(const ast::ReturnClause& clause) {
  const ast::List<ast::ReturnItem> items = return_items(clause);
  for (const ast::ReturnItem& item : tree_[items]) validate_expr(item.expr);
  check_alias_uniqueness(items);
  // ORDER BY sees the projected names over what was bound before; nothing after it does. Without
  // an alias the projection adds nothing: each name is a variable projecting itself.
  bool aliased = false;
  if (clause.order_by) {
    for (const ast::ReturnItem& item : tree_[items]) aliased = aliased || item.alias.has_value();
  }
  if (aliased) {
    const std::size_t layer = scope_.open_layer();
    bind_projection(items, layer, scope_, layer);
    validate_order_by(clause.order_by);
    scope_.truncate(layer);
  } else {
    validate_order_by(clause.order_by);
  }
  validate_skip_limit(clause.skip, clause.limit);
}

void SemanticValidator::validate_order_by(const std::optional<ast::List<ast::SortItem>>& order_by) {
  if (!order_by) return;
  for (const ast::SortItem& item : tree_[*order_by]) validate_expr(item.expr);
}

void SemanticValidator::validate_skip_limit(ast::ExprId skip, ast::ExprId limit) {
  if (skip.present()) validate_pagination_expr(skip, "SKIP");
  if (limit.present()) validate_pagination_expr(limit, "LIMIT");
}

ast::List<ast::ReturnItem> SemanticValidator::return_items(const ast::ReturnClause& clause) {
  return std::visit(ast::Overloaded{
                        [](const ast::ReturnItems::Star&) { return ast::List<ast::ReturnItem>{}; },
                        [](const ast::ReturnItems::Items& items) { return items; },
                    },
                    clause.items.variant);
}

ast::List<ast::ReturnItem> SemanticValidator::return_items(const ast::SingleQuery& query) const {
  const ast::Id<ast::ReturnClause> clause =
      std::visit([](const auto& part) { return part.return_clause; }, query.variant);
  return clause.present() ? return_items(tree_[clause]) : ast::List<ast::ReturnItem>{};
}

void SemanticValidator::bind_projection(ast::List<ast::ReturnItem> items, std::size_t visible,
                                        Scope& into, std::size_t layer) {
  for (const ast::ReturnItem& item : tree_[items]) {
    std::optional<std::string_view> name = projection_name(item);
    if (!name) continue;
    const ast::Expr& expr = tree_[item.expr];
    const LabelList* labels = expr.kind() == ast::ExprKind::Variable
                                  ? scope_.find_below(text(expr.name()), visible)
                                  : nullptr;
    into.bind_over(layer, *name, labels);
  }
}

void SemanticValidator::validate_property_expr(const ast::PropertyExpr& property) {
  std::vector<ast::Str> keys;
  for (ast::Str key : tree_[property.keys]) keys.push_back(key);
  validate_property_access(text(property.variable), keys);
}

// ---- Bindings ----

bool SemanticValidator::collect_reading_bindings(const ast::ReadingClause& clause) {
  bool may_scan = false;
  std::visit(ast::Overloaded{
                 [&](const ast::ReadingClause::Match& match) {
                   for (const ast::PatternPart& part : tree_[match.pattern.parts]) {
                     may_scan = may_scan || !starts_from_a_known_node(part.element);
                     collect_part_bindings(part);
                   }
                 },
                 [&](const ast::ReadingClause::Unwind& unwind) {
                   scope_.bind_empty(text(unwind.variable));
                 },
                 [&](const ast::ReadingClause::InQueryCall& call) {
                   for (const ast::YieldItem& item : tree_[call.yield_items]) {
                     scope_.bind_empty(text(item.variable));
                   }
                 },
                 // Its variables enter while it is validated; what it returns is known now.
                 [&](const ast::ReadingClause::CallSubquery& query) {
                   auto called = [&](const ast::SingleQuery& single) {
                     for (const ast::ReturnItem& item : tree_[return_items(single)]) {
                       std::optional<std::string_view> name = projection_name(item);
                       if (name) names_called_.push_back(parser::unquoted(*name));
                     }
                   };
                   called(query.single_query);
                   for (const ast::UnionArm& arm : tree_[query.unions]) called(arm.query);
                 },
             },
             clause.variant);
  return may_scan;
}

bool SemanticValidator::starts_from_a_known_node(const ast::PatternElement& element) const {
  auto known = [&](const ast::NodePattern& node) {
    if (!node.labels.empty()) return true;
    if (!node.variable) return false;
    const std::string_view variable = text(*node.variable);
    return scope_.contains(variable) ||
           std::find(names_called_.begin(), names_called_.end(), parser::unquoted(variable)) !=
               names_called_.end();
  };
  if (known(element.start)) return true;
  for (const ast::PatternStep& step : tree_[element.chain]) {
    if (known(step.node)) return true;
  }
  return false;
}

void SemanticValidator::collect_updating_bindings(const ast::UpdatingClause& clause) {
  std::visit(ast::Overloaded{
                 [&](const ast::UpdatingClause::Create& create) {
                   collect_pattern_bindings(create.parts);
                 },
                 [&](const ast::UpdatingClause::Merge& merge) {
                   if (merge.pattern_part.variable) {
                     scope_.bind_empty(text(*merge.pattern_part.variable));
                   }
                   collect_element_bindings(merge.pattern_part.element);
                 },
                 [](const ast::UpdatingClause::Set&) {},
                 [](const ast::UpdatingClause::Remove&) {},
                 [](const ast::UpdatingClause::Delete&) {},
                 [](const ast::UpdatingClause::Foreach&) {},
             },
             clause.variant);
}

void SemanticValidator::collect_pattern_bindings(ast::List<ast::PatternPart> parts) {
  for (const ast::PatternPart& part : tree_[parts]) collect_part_bindings(part);
}

void SemanticValidator::collect_part_bindings(const ast::PatternPart& part) {
  if (part.variable) scope_.bind_empty(text(*part.variable));
  collect_element_bindings(part.element);
}

void SemanticValidator::collect_element_bindings(const ast::PatternElement& element) {
  collect_node_bindings(element.start);
  for (const ast::PatternStep& step : tree_[element.chain]) {
    collect_rel_bindings(step.relationship);
    collect_node_bindings(step.node);
  }
}

void SemanticValidator::collect_node_bindings(const ast::NodePattern& node) {
  if (!node.variable) return;
  scope_.bind_labels(text(*node.variable), tree_[node.labels],
                     [&](ast::Str label) { return text(label); });
}

void SemanticValidator::collect_rel_bindings(const ast::RelationshipPattern& relationship) {
  if (!relationship.variable) return;
  scope_.bind_labels(text(*relationship.variable), tree_[relationship.rel_types],
                     [&](ast::Str type) { return text(type); });
}

}  // namespace morvane::validator::semantic
