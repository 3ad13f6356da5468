// Queries and projections: the statement, UNION arms, single- and multi-part queries, WITH,
// RETURN and ORDER BY.
#include "parser/builder.h"
#include "parser/builder_text.h"

namespace morvane::parser::builder {

bool Builder::build_query(std::uint32_t pair) {
  const std::uint32_t statement = first_child(pair);
  if (statement == kNoPair) return fail(Guard::kEmptyQuery);
  if (rule(statement) != Rule::statement) return fail_rule(Guard::kExpectedStatement, statement);
  const std::uint32_t body = first_child(statement);
  if (body == kNoPair) return fail(Guard::kEmptyStatement);
  switch (rule(body)) {
    case Rule::standalone_call:
      return build_into(body, &Builder::build_call_clause, query_.root_);
    case Rule::regular_query:
      return build_into(body, &Builder::build_regular_query, query_.root_);
    default:
      return fail_rule(Guard::kUnknownStatement, body);
  }
}

bool Builder::build_regular_query(std::uint32_t pair, ast::RegularQuery& out) {
  if (!enter(pair)) return false;
  const std::uint32_t first = first_child(pair);
  if (first == kNoPair) return fail(Guard::kMissingSingleQuery);
  if (!build_single_query(first, out.single_query)) return false;
  const auto unions = open_list<ast::UnionArm>();
  for (const std::uint32_t c : children_after(pair, first)) {
    if (rule(c) != Rule::union_clause) continue;
    ast::UnionArm arm;
    arm.all = keyword_after(text(c), "UNION", "ALL");
    const std::uint32_t query = find_child(c, Rule::single_query);
    if (query == kNoPair) return fail(Guard::kMissingUnionQuery);
    if (!build_single_query(query, arm.query)) return false;
    push(unions, add(arm));
  }
  out.unions = take_list(unions);
  return true;
}

bool Builder::build_single_query(std::uint32_t pair, ast::SingleQuery& out) {
  const std::uint32_t c = first_child(pair);
  if (c == kNoPair) return fail(Guard::kEmptySingleQuery);
  switch (rule(c)) {
    case Rule::single_part_query:
      return build_into(c, &Builder::build_single_part_query, out.variant);
    case Rule::multi_part_query:
      return build_into(c, &Builder::build_multi_part_query, out.variant);
    default:
      return fail_rule(Guard::kUnknownSingleQuery, c);
  }
}

bool Builder::build_single_part_query(std::uint32_t pair, ast::SinglePartQuery& out) {
  const auto reading = open_list<ast::ReadingClause>();
  const auto updating = open_list<ast::UpdatingClause>();
  for (const std::uint32_t c : children(pair)) {
    switch (rule(c)) {
      case Rule::reading_clause:
        if (!push_reading_clause(c, reading)) return false;
        break;
      case Rule::updating_clause:
        if (!push_updating_clause(c, updating)) return false;
        break;
      case Rule::return_clause:
        if (!add_return_clause(c, out.return_clause)) return false;
        break;
      default:
        break;
    }
  }
  out.reading_clauses = collect(reading);
  out.updating_clauses = collect(updating);
  release(reading);
  return true;
}

bool Builder::build_multi_part_query(std::uint32_t pair, ast::MultiPartQuery& out) {
  // The finished parts stay pending below the clauses of the part being read.
  const auto parts = open_list<ast::QueryPart>();
  auto reading = open_list<ast::ReadingClause>();
  auto updating = open_list<ast::UpdatingClause>();
  for (const std::uint32_t c : children(pair)) {
    switch (rule(c)) {
      case Rule::reading_clause:
        if (!push_reading_clause(c, reading)) return false;
        break;
      case Rule::updating_clause:
        if (!push_updating_clause(c, updating)) return false;
        break;
      case Rule::with_clause:
        if (!push_query_part(c, reading, updating, parts)) return false;
        reading = open_list<ast::ReadingClause>();
        updating = open_list<ast::UpdatingClause>();
        break;
      case Rule::return_clause:
        if (!add_return_clause(c, out.return_clause)) return false;
        break;
      default:
        break;
    }
  }
  out.reading_clauses = collect(reading);
  out.updating_clauses = collect(updating);
  out.parts = collect(parts);
  release(parts);
  return true;
}

bool Builder::push_query_part(std::uint32_t with, OpenList<ast::ReadingClause> reading,
                              OpenList<ast::UpdatingClause> updating,
                              OpenList<ast::QueryPart> parts) {
  ast::QueryPart part;
  if (!build_with_clause(with, part.with_clause)) return false;
  part.reading_clauses = collect(reading);
  part.updating_clauses = collect(updating);
  release(reading);
  push(parts, add(part));
  return true;
}

// Clauses are built in functions of their own, away from the loops over a query's clauses:
// a nested query recurses through those loops, and their frames stay small.
bool Builder::push_reading_clause(std::uint32_t pair, OpenList<ast::ReadingClause> list) {
  ast::ReadingClause clause;
  if (!build_reading_clause(pair, clause)) return false;
  push(list, add(clause));
  return true;
}

bool Builder::push_updating_clause(std::uint32_t pair, OpenList<ast::UpdatingClause> list) {
  ast::UpdatingClause clause;
  if (!build_updating_clause(pair, clause)) return false;
  push(list, add(clause));
  return true;
}

bool Builder::add_return_clause(std::uint32_t pair, ast::Id<ast::ReturnClause>& out) {
  ast::ReturnClause clause;
  if (!build_return_clause(pair, clause)) return false;
  out = add(clause);
  return true;
}

bool Builder::build_with_clause(std::uint32_t pair, ast::WithClause& out) {
  out.distinct = keyword_after(text(pair), "WITH", "DISTINCT");
  for (const std::uint32_t c : children(pair)) {
    if (rule(c) == Rule::return_body) {
      ReturnBody body;
      if (!build_return_body(c, body)) return false;
      out.items = body.items;
      out.order_by = body.order_by;
      out.skip = body.skip;
      out.limit = body.limit;
    } else if (rule(c) == Rule::where_clause) {
      if (!build_operand(c, Guard::kWithWhereMissingExpr, out.where_clause)) return false;
    }
  }
  return true;
}

bool Builder::build_return_clause(std::uint32_t pair, ast::ReturnClause& out) {
  out.distinct = keyword_after(text(pair), "RETURN", "DISTINCT");
  out.items.variant = ast::ReturnItems::Star{};
  for (const std::uint32_t c : children(pair)) {
    if (rule(c) != Rule::return_body) continue;
    ReturnBody body;
    if (!build_return_body(c, body)) return false;
    out.items.variant = body.items;
    out.order_by = body.order_by;
    out.skip = body.skip;
    out.limit = body.limit;
  }
  return true;
}

bool Builder::build_return_body(std::uint32_t pair, ReturnBody& out) {
  const auto items = open_list<ast::ReturnItem>();
  for (const std::uint32_t c : children(pair)) {
    switch (rule(c)) {
      case Rule::return_items: {
        if (trim_white_space(text(c)) == "*") break;
        for (const std::uint32_t item : children(c)) {
          if (rule(item) != Rule::return_item) continue;
          ast::ReturnItem built;
          if (!build_operand(item, Guard::kReturnItemMissingExpr, built.expr)) return false;
          const std::uint32_t alias = find_child(item, Rule::variable);
          if (alias != kNoPair) built.alias = copy_text(alias);
          push(items, add(built));
        }
        break;
      }
      case Rule::order_clause:
        if (!build_children(c, Rule::sort_item, &Builder::build_sort_item,
                            out.order_by.emplace())) {
          return false;
        }
        break;
      case Rule::skip_clause:
        if (!build_operand(c, Guard::kSkipMissingExpr, out.skip)) return false;
        break;
      case Rule::limit_clause:
        if (!build_operand(c, Guard::kLimitMissingExpr, out.limit)) return false;
        break;
      default:
        break;
    }
  }
  out.items = take_list(items);
  return true;
}

bool Builder::build_sort_item(std::uint32_t pair, ast::SortItem& out) {
  const std::uint32_t e = first_child(pair);
  if (e == kNoPair) return fail(Guard::kSortItemMissingExpr);
  if (!build_expression(e, out.expr)) return false;
  out.descending = next_word_is(text_after(pair, e), "DESC");
  return true;
}

}  // namespace morvane::parser::builder
