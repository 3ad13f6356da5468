// The query-name walkers behind parse_query.
#include "bindings/query_info.h"

#include <algorithm>
#include <variant>

#include "parser/parse.h"

namespace morvane::bindings::py_parser {

using ast::ExprKind;

namespace {

// The first single query, then the single query of each UNION arm.
void collect_regular_query(const ast::CypherQuery& tree, const ast::RegularQuery& query,
                           NameSet& labels, NameSet& types, NameSet& keys) {
  collect_single_query(tree, query.single_query, labels, types, keys);
  for (const ast::UnionArm& arm : tree[query.unions]) {
    collect_single_query(tree, arm.query, labels, types, keys);
  }
}

// A COUNT or COLLECT subquery contributes its keys only: its labels and types land in sets
// dropped on return.
void collect_subquery_keys(const ast::CypherQuery& tree, const ast::RegularQuery& query,
                           NameSet& keys) {
  NameSet labels;
  NameSet types;
  collect_regular_query(tree, query, labels, types, keys);
}

void collect_reading(const ast::CypherQuery& tree, const ast::ReadingClause& clause,
                     NameSet& labels, NameSet& types, NameSet& keys) {
  std::visit(ast::Overloaded{
                 [&](const ast::ReadingClause::Match& match) {
                   collect_pattern(tree, match.pattern, labels, types, keys);
                   collect_expr(tree, match.where_clause, keys);
                 },
                 [](const ast::ReadingClause::Unwind&) {},
                 [](const ast::ReadingClause::InQueryCall&) {},
                 [&](const ast::ReadingClause::CallSubquery& call) {
                   collect_regular_query(tree, call, labels, types, keys);
                 },
             },
             clause.variant);
}

void collect_clauses(const ast::CypherQuery& tree, ast::List<ast::ReadingClause> reading,
                     ast::List<ast::UpdatingClause> updating, NameSet& labels, NameSet& types,
                     NameSet& keys) {
  for (const ast::ReadingClause& clause : tree[reading]) {
    collect_reading(tree, clause, labels, types, keys);
  }
  for (const ast::UpdatingClause& clause : tree[updating]) {
    collect_updating(tree, clause, labels, types, keys);
  }
}

// Only the item expressions: not the aliases, ORDER BY, SKIP or LIMIT.
void collect_return(const ast::CypherQuery& tree, ast::Id<ast::ReturnClause> clause,
                    NameSet& keys) {
  if (!clause.present()) return;
  std::visit(ast::Overloaded{
                 [](const ast::ReturnItems::Star&) {},
                 [&](const ast::ReturnItems::Items& items) {
                   for (const ast::ReturnItem& item : tree[items]) {
                     collect_expr(tree, item.expr, keys);
                   }
                 },
             },
             tree[clause].items.variant);
}

}  // namespace

std::vector<std::string> NameSet::sorted() const {
  std::vector<std::string_view> names = names_;
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  return std::vector<std::string>(names.begin(), names.end());
}

PyQueryInfo parse_query(std::string_view query) {
  parser::Recognizer recognizer;
  return parse_query(query, recognizer);
}

PyQueryInfo parse_query(std::string_view query, parser::Recognizer& recognizer) {
  auto parsed = parser::parse(query, recognizer);
  if (!parsed.ok()) {
    PyQueryInfo failed;
    failed.errors.push_back(parsed.error().display());
    return failed;
  }
  const ast::CypherQuery& tree = parsed.value();
  NameSet labels;
  NameSet types;
  NameSet keys;
  std::visit(ast::Overloaded{
                 [&](const ast::CypherQuery::Regular& regular) {
                   collect_regular_query(tree, regular, labels, types, keys);
                 },
                 // Not walked (the builder never makes one).
                 [](const ast::CypherQuery::StandaloneCall&) {},
             },
             tree.root());
  return PyQueryInfo{true, {}, labels.sorted(), types.sorted(), keys.sorted()};
}

void collect_single_query(const ast::CypherQuery& tree, const ast::SingleQuery& query,
                          NameSet& labels, NameSet& types, NameSet& keys) {
  std::visit(ast::Overloaded{
                 [&](const ast::SingleQuery::SinglePart& single) {
                   collect_clauses(tree, single.reading_clauses, single.updating_clauses, labels,
                                   types, keys);
                   collect_return(tree, single.return_clause, keys);
                 },
                 [&](const ast::SingleQuery::MultiPart& multi) {
                   for (const ast::QueryPart& part : tree[multi.parts]) {
                     collect_clauses(tree, part.reading_clauses, part.updating_clauses, labels,
                                     types, keys);
                   }
                   collect_clauses(tree, multi.reading_clauses, multi.updating_clauses, labels,
                                   types, keys);
                   collect_return(tree, multi.return_clause, keys);
                 },
             },
             query.variant);
}

void collect_updating(const ast::CypherQuery& tree, const ast::UpdatingClause& clause,
                      NameSet& labels, NameSet& types, NameSet& keys) {
  std::visit(ast::Overloaded{
                 [&](const ast::UpdatingClause::Create& create) {
                   collect_pattern(tree, create, labels, types, keys);
                 },
                 [&](const ast::UpdatingClause::Merge& merge) {
                   collect_pattern(tree, merge.pattern_part, labels, types, keys);
                 },
                 [](const ast::UpdatingClause::Set&) {},
                 [](const ast::UpdatingClause::Remove&) {},
                 [](const ast::UpdatingClause::Delete&) {},
                 [](const ast::UpdatingClause::Foreach&) {},
             },
             clause.variant);
}

void collect_pattern(const ast::CypherQuery& tree, const ast::Pattern& pattern, NameSet& labels,
                     NameSet& types, NameSet& keys) {
  for (const ast::PatternPart& part : tree[pattern.parts]) {
    collect_pattern(tree, part, labels, types, keys);
  }
}

void collect_pattern(const ast::CypherQuery& tree, const ast::PatternPart& part, NameSet& labels,
                     NameSet& types, NameSet& keys) {
  auto collect_node = [&](const ast::NodePattern& node) {
    for (ast::Str label : tree[node.labels]) labels.insert(tree.text(label));
    if (!node.properties) return;
    std::visit(ast::Overloaded{
                   [&](const ast::MapOrParam::Map& map) {
                     for (const ast::MapEntry& entry : tree[map.entries]) {
                       keys.insert(tree.text(entry.key));
                       collect_expr(tree, entry.value, keys);
                     }
                   },
                   [](const ast::MapOrParam::Param&) {},
               },
               node.properties->variant);
  };
  collect_node(part.element.start);
  for (const ast::PatternStep& step : tree[part.element.chain]) {
    for (ast::Str type : tree[step.relationship.rel_types]) types.insert(tree.text(type));
    collect_node(step.node);
  }
}

void collect_expr(const ast::CypherQuery& tree, ast::ExprId root, NameSet& keys) {
  std::vector<ast::ExprId> pending;
  if (root.present()) pending.push_back(root);
  while (!pending.empty()) {
    const ast::Expr& expr = tree[pending.back()];
    pending.pop_back();
    if (expr.kind() == ExprKind::Reduce) continue;  // not looked into
    if (expr.kind() == ExprKind::PropertyAccess) keys.insert(tree.text(expr.property_access().key));
    ast::for_each_child_reversed(tree, expr, ast::Overloaded{
        [&](ast::ExprChild child) { pending.push_back(child.expr); },
        [&](ast::Id<ast::ExistsSubquery> id) {
          std::visit(ast::Overloaded{
                         [](const ast::ExistsSubquery::Pattern&) {},
                         [&](const ast::ExistsSubquery::Query& query) {
                           collect_subquery_keys(tree, query, keys);
                         },
                     },
                     tree[id].variant);
        },
        [&](ast::Id<ast::RegularQuery> id) { collect_subquery_keys(tree, tree[id], keys); },
        [](ast::BoundVariable) {},
        [](ast::PathChild) {},
    });
  }
}

}  // namespace morvane::bindings::py_parser
