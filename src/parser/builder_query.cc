// Queries and projections: the statement, UNION arms, single- and multi-part queries, WITH,
// RETURN and ORDER BY.
#include "parser/builder.h"
#include "parser/builder_text.h"

namespace morvane::parser::builder {

namespace {

// List tags of the clauses of one query part.
constexpr std::uint32_t kReading = 0;
constexpr std::uint32_t kUpdating = 1;
constexpr std::uint32_t kPart = 2;

}  // namespace

bool Builder::build_query(std::uint32_t pair) {
  const std::uint32_t statement = first_child(pair);
  if (statement == kNoPair) return fail("Empty query");
  if (rule(statement) != Rule::statement) return fail_rule("Expected statement, got ", statement);
  const std::uint32_t body = first_child(statement);
  if (body == kNoPair) return fail("Empty statement");
  switch (rule(body)) {
    case Rule::standalone_call: {
      ast::CallClause call;
      if (!build_call_clause(body, call)) return false;
      query_.root_ = call;
      return true;
    }
    case Rule::regular_query: {
      ast::RegularQuery regular;
      if (!build_regular_query(body, regular)) return false;
      query_.root_ = regular;
      return true;
    }
    default:
      return fail_rule("Unknown statement type: ", body);
  }
}

bool Builder::build_regular_query(std::uint32_t pair, ast::RegularQuery& out) {
  const std::uint32_t first = first_child(pair);
  if (first == kNoPair) return fail("Missing single_query");
  if (!build_single_query(first, out.single_query)) return false;
  const std::uint32_t from = mark();
  for (std::uint32_t c = next_sibling(pair, first); c != kNoPair; c = next_sibling(pair, c)) {
    if (rule(c) != Rule::union_clause) continue;
    ast::UnionArm arm;
    arm.all = keyword_at(text(c), 5, "ALL");
    const std::uint32_t query = find_child(c, first_child(c), Rule::single_query);
    if (query == kNoPair) return fail("Missing union single_query");
    if (!build_single_query(query, arm.query)) return false;
    push(add(arm));
  }
  out.unions = take_list<ast::UnionArm>(from);
  return true;
}

bool Builder::build_single_query(std::uint32_t pair, ast::SingleQuery& out) {
  const std::uint32_t c = first_child(pair);
  if (c == kNoPair) return fail("Empty single_query");
  switch (rule(c)) {
    case Rule::single_part_query: {
      ast::SinglePartQuery part;
      if (!build_single_part_query(c, part)) return false;
      out.variant = part;
      return true;
    }
    case Rule::multi_part_query: {
      ast::MultiPartQuery multi;
      if (!build_multi_part_query(c, multi)) return false;
      out.variant = multi;
      return true;
    }
    default:
      return fail_rule("Unknown single_query: ", c);
  }
}

bool Builder::build_single_part_query(std::uint32_t pair, ast::SinglePartQuery& out) {
  const std::uint32_t from = mark();
  for (std::uint32_t c = first_child(pair); c != kNoPair; c = next_sibling(pair, c)) {
    switch (rule(c)) {
      case Rule::reading_clause:
        if (!push_reading_clause(c, kReading)) return false;
        break;
      case Rule::updating_clause:
        if (!push_updating_clause(c, kUpdating)) return false;
        break;
      case Rule::return_clause:
        if (!add_return_clause(c, out.return_clause)) return false;
        break;
      default:
        break;
    }
  }
  out.reading_clauses = collect<ast::ReadingClause>(from, kReading);
  out.updating_clauses = collect<ast::UpdatingClause>(from, kUpdating);
  release(from);
  return true;
}

bool Builder::build_multi_part_query(std::uint32_t pair, ast::MultiPartQuery& out) {
  // Pending from `from`: the finished parts, then the clauses of the part being read.
  const std::uint32_t from = mark();
  std::uint32_t current = from;
  for (std::uint32_t c = first_child(pair); c != kNoPair; c = next_sibling(pair, c)) {
    switch (rule(c)) {
      case Rule::reading_clause:
        if (!push_reading_clause(c, kReading)) return false;
        break;
      case Rule::updating_clause:
        if (!push_updating_clause(c, kUpdating)) return false;
        break;
      case Rule::with_clause:
        if (!push_query_part(c, current, kPart)) return false;
        current = mark();
        break;
      case Rule::return_clause:
        if (!add_return_clause(c, out.return_clause)) return false;
        break;
      default:
        break;
    }
  }
  out.reading_clauses = collect<ast::ReadingClause>(current, kReading);
  out.updating_clauses = collect<ast::UpdatingClause>(current, kUpdating);
  out.parts = collect<ast::QueryPart>(from, kPart);
  release(from);
  return true;
}

bool Builder::push_query_part(std::uint32_t with, std::uint32_t clauses, std::uint32_t tag) {
  ast::QueryPart part;
  if (!build_with_clause(with, part.with_clause)) return false;
  part.reading_clauses = collect<ast::ReadingClause>(clauses, kReading);
  part.updating_clauses = collect<ast::UpdatingClause>(clauses, kUpdating);
  release(clauses);
  push(add(part), tag);
  return true;
}

// Clauses are built in functions of their own, away from the loops over a query's clauses:
// a nested query recurses through those loops, and their frames stay small.
bool Builder::push_reading_clause(std::uint32_t pair, std::uint32_t tag) {
  ast::ReadingClause clause;
  if (!build_reading_clause(pair, clause)) return false;
  push(add(clause), tag);
  return true;
}

bool Builder::push_updating_clause(std::uint32_t pair, std::uint32_t tag) {
  ast::UpdatingClause clause;
  if (!build_updating_clause(pair, clause)) return false;
  push(add(clause), tag);
  return true;
}

bool Builder::add_return_clause(std::uint32_t pair, ast::Id<ast::ReturnClause>& out) {
  ast::ReturnClause clause;
  if (!build_return_clause(pair, clause)) return false;
  out = add(clause);
  return true;
}

bool Builder::build_with_clause(std::uint32_t pair, ast::WithClause& out) {
  out.distinct = keyword_at(text(pair), 4, "DISTINCT");
  for (std::uint32_t c = first_child(pair); c != kNoPair; c = next_sibling(pair, c)) {
    if (rule(c) == Rule::return_body) {
      ReturnBody body;
      if (!build_return_body(c, body)) return false;
      out.items = body.items;
      out.order_by = body.order_by;
      out.skip = body.skip;
      out.limit = body.limit;
    } else if (rule(c) == Rule::where_clause) {
      const std::uint32_t e = first_child(c);
      if (e == kNoPair) return fail("WHERE missing expr");
      if (!build_expression(e, out.where_clause)) return false;
    }
  }
  return true;
}

bool Builder::build_return_clause(std::uint32_t pair, ast::ReturnClause& out) {
  out.distinct = keyword_at(text(pair), 6, "DISTINCT");
  out.items.variant = ast::ReturnItems::Star{};
  for (std::uint32_t c = first_child(pair); c != kNoPair; c = next_sibling(pair, c)) {
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
  const std::uint32_t from = mark();
  for (std::uint32_t c = first_child(pair); c != kNoPair; c = next_sibling(pair, c)) {
    switch (rule(c)) {
      case Rule::return_items: {
        if (trim_white_space(text(c)) == "*") break;
        for (std::uint32_t item = first_child(c); item != kNoPair; item = next_sibling(c, item)) {
          if (rule(item) != Rule::return_item) continue;
          const std::uint32_t e = first_child(item);
          if (e == kNoPair) return fail("Return item missing expr");
          ast::ReturnItem built;
          if (!build_expression(e, built.expr)) return false;
          const std::uint32_t alias = find_child(item, next_sibling(item, e), Rule::variable);
          if (alias != kNoPair) built.alias = copy_text(alias);
          push(add(built));
        }
        break;
      }
      case Rule::order_clause: {
        const std::uint32_t sorts = mark();
        for (std::uint32_t s = first_child(c); s != kNoPair; s = next_sibling(c, s)) {
          if (rule(s) != Rule::sort_item) continue;
          ast::SortItem item;
          if (!build_sort_item(s, item)) return false;
          push(add(item));
        }
        out.order_by = take_list<ast::SortItem>(sorts);
        break;
      }
      case Rule::skip_clause: {
        const std::uint32_t e = first_child(c);
        if (e == kNoPair) return fail("SKIP missing expr");
        if (!build_expression(e, out.skip)) return false;
        break;
      }
      case Rule::limit_clause: {
        const std::uint32_t e = first_child(c);
        if (e == kNoPair) return fail("LIMIT missing expr");
        if (!build_expression(e, out.limit)) return false;
        break;
      }
      default:
        break;
    }
  }
  out.items = take_list<ast::ReturnItem>(from);
  return true;
}

bool Builder::build_sort_item(std::uint32_t pair, ast::SortItem& out) {
  const std::uint32_t e = first_child(pair);
  if (e == kNoPair) return fail("Sort item missing expr");
  if (!build_expression(e, out.expr)) return false;
  out.descending = keyword_at(text(pair), at(e).end - at(pair).begin, "DESC");
  return true;
}

}  // namespace morvane::parser::builder
