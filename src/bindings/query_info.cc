// The query-name walkers behind parse_query.
#include "bindings/query_info.h"

#include <algorithm>
#include <cstdint>
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
  if (const auto* match = std::get_if<ast::ReadingClause::Match>(&clause.variant)) {
    collect_pattern(tree, match->pattern, labels, types, keys);
    collect_expr(tree, match->where_clause, keys);
  } else if (const auto* call = std::get_if<ast::ReadingClause::CallSubquery>(&clause.variant)) {
    collect_regular_query(tree, *call, labels, types, keys);
  }
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
  if (const auto* items = std::get_if<ast::ReturnItems::Items>(&tree[clause].items.variant)) {
    for (const ast::ReturnItem& item : tree[*items]) collect_expr(tree, item.expr, keys);
  }
}

}  // namespace

std::vector<std::string> NameSet::sorted() const {
  std::vector<std::string_view> names = names_;
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  return std::vector<std::string>(names.begin(), names.end());
}

PyQueryInfo parse_query(std::string_view query) {
  auto parsed = parser::parse(query);
  if (!parsed.ok()) {
    PyQueryInfo failed;
    failed.errors.push_back(parsed.error().display());
    return failed;
  }
  const ast::CypherQuery& tree = parsed.value();
  NameSet labels;
  NameSet types;
  NameSet keys;
  // A standalone procedure call is not walked (the builder never makes one).
  if (const auto* regular = std::get_if<ast::CypherQuery::Regular>(&tree.root())) {
    collect_regular_query(tree, *regular, labels, types, keys);
  }
  return PyQueryInfo{true, {}, labels.sorted(), types.sorted(), keys.sorted()};
}

void collect_single_query(const ast::CypherQuery& tree, const ast::SingleQuery& query,
                          NameSet& labels, NameSet& types, NameSet& keys) {
  if (const auto* single = std::get_if<ast::SingleQuery::SinglePart>(&query.variant)) {
    collect_clauses(tree, single->reading_clauses, single->updating_clauses, labels, types, keys);
    collect_return(tree, single->return_clause, keys);
    return;
  }
  const auto& multi = std::get<ast::SingleQuery::MultiPart>(query.variant);
  for (const ast::QueryPart& part : tree[multi.parts]) {
    collect_clauses(tree, part.reading_clauses, part.updating_clauses, labels, types, keys);
  }
  collect_clauses(tree, multi.reading_clauses, multi.updating_clauses, labels, types, keys);
  collect_return(tree, multi.return_clause, keys);
}

void collect_updating(const ast::CypherQuery& tree, const ast::UpdatingClause& clause,
                      NameSet& labels, NameSet& types, NameSet& keys) {
  if (const auto* create = std::get_if<ast::UpdatingClause::Create>(&clause.variant)) {
    collect_pattern(tree, *create, labels, types, keys);
  } else if (const auto* merge = std::get_if<ast::UpdatingClause::Merge>(&clause.variant)) {
    collect_pattern(tree, merge->pattern_part, labels, types, keys);
  }
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
    if (const auto* map = std::get_if<ast::MapOrParam::Map>(&node.properties->variant)) {
      for (const ast::MapEntry& entry : tree[map->entries]) {
        keys.insert(tree.text(entry.key));
        collect_expr(tree, entry.value, keys);
      }
    }
  };
  collect_node(part.element.start);
  for (const ast::PatternStep& step : tree[part.element.chain]) {
    for (ast::Str type : tree[step.relationship.rel_types]) types.insert(tree.text(type));
    collect_node(step.node);
  }
}

void collect_expr(const ast::CypherQuery& tree, ast::ExprId root, NameSet& keys) {
  std::vector<ast::ExprId> pending;
  auto push = [&](ast::ExprId expr) {
    if (expr.present()) pending.push_back(expr);
  };
  push(root);
  while (!pending.empty()) {
    const ast::Expr& expr = tree[pending.back()];
    pending.pop_back();
    switch (expr.kind()) {
      case ExprKind::Integer:
      case ExprKind::Float:
      case ExprKind::String:
      case ExprKind::Boolean:
      case ExprKind::Null:
      case ExprKind::Variable:
      case ExprKind::Parameter:
      case ExprKind::CountStar:
      case ExprKind::Reduce:
      case ExprKind::ShortestPath:
        break;
      case ExprKind::PropertyAccess:
        keys.insert(tree.text(expr.property_access().key));
        push(expr.property_access().expr);
        break;
      case ExprKind::List: {
        ast::ListView<ast::Expr> items = tree[expr.list()];
        for (std::uint32_t i = 0; i < items.size(); ++i) push(items.id(i));
        break;
      }
      case ExprKind::Map:
        for (const ast::MapEntry& entry : tree[expr.map()]) push(entry.value);
        break;
      case ExprKind::Subscript:
        push(expr.subscript().expr);
        push(expr.subscript().index);
        break;
      case ExprKind::Slice:
        push(expr.slice().expr);
        push(expr.slice().from);
        push(expr.slice().to);
        break;
      case ExprKind::Or:
      case ExprKind::Xor:
      case ExprKind::And:
      case ExprKind::Equal:
      case ExprKind::NotEqual:
      case ExprKind::LessThan:
      case ExprKind::LessOrEqual:
      case ExprKind::GreaterThan:
      case ExprKind::GreaterOrEqual:
      case ExprKind::RegexMatch:
      case ExprKind::In:
      case ExprKind::StartsWith:
      case ExprKind::EndsWith:
      case ExprKind::Contains:
      case ExprKind::Add:
      case ExprKind::Subtract:
      case ExprKind::Multiply:
      case ExprKind::Divide:
      case ExprKind::Modulo:
      case ExprKind::Power:
        push(expr.binary().left);
        push(expr.binary().right);
        break;
      case ExprKind::Not:
      case ExprKind::IsNull:
      case ExprKind::IsNotNull:
      case ExprKind::Negate:
        push(expr.unary().expr);
        break;
      case ExprKind::FunctionCall: {
        ast::ListView<ast::Expr> args = tree[expr.function_call().args];
        for (std::uint32_t i = 0; i < args.size(); ++i) push(args.id(i));
        break;
      }
      case ExprKind::Case: {
        const ast::CaseExpr& case_expr = expr.case_expr();
        push(case_expr.operand);
        for (const ast::CaseAlternative& alternative : tree[case_expr.alternatives]) {
          push(alternative.when);
          push(alternative.then);
        }
        push(case_expr.else_expr);
        break;
      }
      case ExprKind::ListComprehension:
        push(expr.list_comprehension().list);
        push(expr.list_comprehension().where_clause);
        push(expr.list_comprehension().projection);
        break;
      case ExprKind::All:
      case ExprKind::Any:
      case ExprKind::None:
      case ExprKind::Single:
        push(expr.quantifier().list);
        push(expr.quantifier().where_clause);
        break;
      case ExprKind::PatternComprehension:
        push(expr.pattern_comprehension().where_clause);
        push(expr.pattern_comprehension().projection);
        break;
      case ExprKind::Exists: {
        const ast::ExistsSubquery& exists = tree[expr.exists()];
        if (const auto* query = std::get_if<ast::ExistsSubquery::Query>(&exists.variant)) {
          collect_subquery_keys(tree, *query, keys);
        }
        break;
      }
      case ExprKind::CountSubquery:
      case ExprKind::CollectSubquery:
        collect_subquery_keys(tree, tree[expr.subquery()], keys);
        break;
    }
  }
}

}  // namespace morvane::bindings::py_parser
