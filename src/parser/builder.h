// The builder: turns the recognizer's tape for a `cypher` pair into a CypherQuery.
//
// It is a pure function of (query text, tape): one forward walk, one build function per rule
// that makes a node, each taking the index of its pair and reading the pair's children in order
// by rule. What the pairs do not carry (optional keywords, the operator between two operands,
// the direction of a relationship) is read from pair texts. A tape of a shape the grammar cannot
// produce gets the documented guard error, never a crash. The first error ends the build and
// is returned unchanged; nothing partly built escapes.
//
// Recursion follows the nesting of pairs, so it is bounded by the recognizer's kMaxRuleDepth;
// chains at one level (operands of one operator, NOT and postfix chains, single-operand levels
// of the precedence ladder, parentheses) are walked by loops. Where the thread's stack runs
// short first (its StackBound), the build fails with the recognizer's nesting error, placed at
// the pair it was about to build.
#pragma once

#include <cstdint>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "error/cypher_error.h"
#include "error/result.h"
#include "parser/ast.h"
#include "parser/pair.h"
#include "parser/recognizer.h"
#include "parser/rule.h"
#include "parser/stack_bound.h"

namespace morvane::parser::builder {

// What a tape of a shape the grammar cannot produce is refused with: one guard per check, each
// with one message text (builder_guards.def).
enum class Guard : std::uint8_t {
#define MORVANE_GUARD(name, text) name,
#include "parser/builder_guards.def"
};

// Builds the tree for tape[root], a `cypher` pair over `input`. The tree copies every text it
// keeps: neither the input nor the tape needs to outlive the call. The nesting error comes as
// CypherError::Parse of its display text, as parse() reports the recognizer's.
Result<ast::CypherQuery, CypherError> build_query(std::string_view input,
                                                  std::span<const Pair> tape, std::uint32_t root);

// The state of one build. Every build_* function below takes the index of its pair, stores what
// it built in `out` and returns true, or records the error and returns false (the caller then
// returns false at once, so the first error is the one kept).
class Builder {
 public:
  Builder(std::string_view input, std::span<const Pair> tape);

  bool build_query(std::uint32_t pair);

  // The tree after a successful build_query, and the error after a failed one.
  ast::CypherQuery take_query();
  CypherError take_error();
  // After a failed build_query: the nesting error when the stack ran short, else null.
  const SyntaxError* too_deep() const { return too_deep_ ? &*too_deep_ : nullptr; }

 private:
  // The four parts of a RETURN or WITH projection.
  struct ReturnBody {
    ast::List<ast::ReturnItem> items;
    std::optional<ast::List<ast::SortItem>> order_by;
    ast::ExprId skip;
    ast::ExprId limit;
  };
  // The `variable IN list WHERE condition` part of comprehensions and quantifiers.
  struct FilterParts {
    ast::Str variable;
    ast::ExprId list;  // absent until read; absent afterwards stands for Null
    ast::ExprId where_clause;
  };
  // A list under construction. Its elements wait on one stack of pending elements, each marked
  // with its list's tag, until the list is collected into the tree. Lists built side by side
  // (the reading and updating clauses of a query part) share the stack; the lists of an element
  // are collected and released before the element is pushed.
  template <class T>
  struct OpenList {
    std::uint32_t from;  // the stack's size when the list was opened
    std::uint32_t tag;
  };
  struct Pending {
    std::uint32_t at;
    std::uint32_t tag;
  };
  // The tag of no list: map entries replaced by a later one with their key.
  static constexpr std::uint32_t kDropped = 0;

  // Queries and projections (builder_query.cc).
  bool build_regular_query(std::uint32_t pair, ast::RegularQuery& out);
  bool build_single_query(std::uint32_t pair, ast::SingleQuery& out);
  bool build_single_part_query(std::uint32_t pair, ast::SinglePartQuery& out);
  bool build_multi_part_query(std::uint32_t pair, ast::MultiPartQuery& out);
  bool build_with_clause(std::uint32_t pair, ast::WithClause& out);
  // A WITH and the clauses before it, as one QueryPart pushed onto `parts`. Releases the
  // clauses.
  bool push_query_part(std::uint32_t with, OpenList<ast::ReadingClause> reading,
                       OpenList<ast::UpdatingClause> updating, OpenList<ast::QueryPart> parts);
  bool push_reading_clause(std::uint32_t pair, OpenList<ast::ReadingClause> list);
  bool push_updating_clause(std::uint32_t pair, OpenList<ast::UpdatingClause> list);
  bool add_return_clause(std::uint32_t pair, ast::Id<ast::ReturnClause>& out);
  bool build_return_clause(std::uint32_t pair, ast::ReturnClause& out);
  bool build_return_body(std::uint32_t pair, ReturnBody& out);
  bool build_sort_item(std::uint32_t pair, ast::SortItem& out);

  // Reading and updating clauses (builder_clause.cc).
  bool build_reading_clause(std::uint32_t pair, ast::ReadingClause& out);
  bool build_match_clause(std::uint32_t pair, ast::ReadingClause& out);
  bool build_unwind_clause(std::uint32_t pair, ast::ReadingClause& out);
  bool build_call_subquery(std::uint32_t pair, ast::ReadingClause& out);
  bool build_call_clause(std::uint32_t pair, ast::CallClause& out);
  bool build_updating_clause(std::uint32_t pair, ast::UpdatingClause& out);
  bool build_foreach_clause(std::uint32_t pair, ast::UpdatingClause& out);
  bool build_merge_clause(std::uint32_t pair, ast::UpdatingClause& out);
  bool build_remove_clause(std::uint32_t pair, ast::UpdatingClause& out);
  bool build_delete_clause(std::uint32_t pair, ast::UpdatingClause& out);
  bool build_set_clause(std::uint32_t pair, ast::List<ast::SetItem>& out);
  bool build_set_item(std::uint32_t pair, ast::SetItem& out);
  bool build_remove_item(std::uint32_t pair, ast::RemoveItem& out);
  bool build_property_expression(std::uint32_t pair, ast::PropertyExpr& out);

  // Patterns (builder_pattern.cc).
  bool build_pattern(std::uint32_t pair, ast::Pattern& out);
  bool build_pattern_part(std::uint32_t pair, ast::PatternPart& out);
  bool build_pattern_element(std::uint32_t pair, ast::PatternElement& out);
  // The (relationship, node) steps among the children of `parent` after its start node
  // `start`, for pattern elements and shortestPath calls. A node pairs up with the relationship
  // before it; a node without one is passed over.
  bool build_chain(std::uint32_t parent, std::uint32_t start, ast::List<ast::PatternStep>& out);
  bool build_node_pattern(std::uint32_t pair, ast::NodePattern& out);
  bool build_relationship_pattern(std::uint32_t pair, ast::RelationshipPattern& out);
  bool build_properties(std::uint32_t pair, ast::MapOrParam& out);
  bool build_map_literal(std::uint32_t pair, ast::List<ast::MapEntry>& out);

  // Operator levels and postfix operators (builder_expr.cc).
  bool build_expression(std::uint32_t pair, ast::ExprId& out);
  // An infix level with two or more operands (add_sub_expr included), folded from the left.
  bool build_left_fold(std::uint32_t pair, ast::ExprId& out);
  bool build_not_expr(std::uint32_t pair, ast::ExprId& out);
  // A comparison_expr with more than one child.
  bool build_comparison_expr(std::uint32_t pair, ast::ExprId& out);
  // A unary_expr whose text begins with "-".
  bool build_negation(std::uint32_t pair, ast::ExprId& out);
  // A postfix_expr with more than one child.
  bool build_postfix_expr(std::uint32_t pair, ast::ExprId& out);

  // Atoms and literals (builder_atom.cc).
  bool build_atom(std::uint32_t pair, ast::ExprId& out);
  bool build_function_invocation(std::uint32_t pair, ast::ExprId& out);
  bool build_reduce_expression(std::uint32_t pair, ast::ExprId& out);
  bool build_shortest_path_call(std::uint32_t pair, ast::ExprId& out);
  bool build_case_expression(std::uint32_t pair, ast::ExprId& out);
  bool build_list_comprehension(std::uint32_t pair, ast::ExprId& out);
  bool build_quantifier_expression(std::uint32_t pair, ast::ExprId& out);
  bool build_exists_subquery(std::uint32_t pair, ast::ExprId& out);
  bool build_pattern_comprehension(std::uint32_t pair, ast::ExprId& out);
  bool build_subquery(std::uint32_t pair, ast::ExprKind kind, Guard empty, ast::ExprId& out);
  bool build_literal(std::uint32_t pair, ast::ExprId& out);
  bool parse_filter_expression(std::uint32_t pair, FilterParts& out);

  // Steps the build functions share (builder.h). They are inlined where they stand, so that
  // they cost what the code they replace did.
  // Builds `pair` with `build` into a new T and stores it in `out` (a variant or an optional).
  template <class T, class Out>
  [[gnu::always_inline]] bool build_into(std::uint32_t pair,
                                         bool (Builder::*build)(std::uint32_t, T&), Out& out) {
    T built{};
    if (!(this->*build)(pair, built)) return false;
    out = built;
    return true;
  }
  // Builds each child of `pair` of rule `wanted` with `build` into a list in the tree, in order.
  template <class T>
  [[gnu::always_inline]] bool build_children(std::uint32_t pair, Rule wanted,
                                             bool (Builder::*build)(std::uint32_t, T&),
                                             ast::List<T>& out) {
    const auto list = open_list<T>();
    for (const std::uint32_t c : children(pair)) {
      if (rule(c) != wanted) continue;
      T built{};
      if (!(this->*build)(c, built)) return false;
      push(list, add(built));
    }
    out = take_list(list);
    return true;
  }
  // The pairs of rule `expression` among `pairs` (children() or children_after()), built into a
  // list in the tree, in order.
  template <class Pairs>
  [[gnu::always_inline]] bool build_expressions(Pairs pairs, ast::List<ast::Expr>& out) {
    const auto exprs = open_list<ast::Expr>();
    for (const std::uint32_t c : pairs) {
      if (rule(c) != Rule::expression) continue;
      ast::ExprId e;
      if (!build_expression(c, e)) return false;
      push(exprs, e);
    }
    out = take_list(exprs);
    return true;
  }
  // The first child of `pair` built as an expression (the operand of WHERE, SKIP or LIMIT, the
  // inside of parentheses); the guard `missing` when `pair` has no child.
  [[gnu::always_inline]] bool build_operand(std::uint32_t pair, Guard missing, ast::ExprId& out) {
    const std::uint32_t e = first_child(pair);
    if (e == kNoPair) return fail(missing);
    return build_expression(e, out);
  }
  // The name of a `parameter` pair: its text after the "$".
  ast::Str copy_parameter_name(std::uint32_t pair) {
    std::string_view name = text(pair);
    if (name.starts_with('$')) name.remove_prefix(1);
    return copy_text(name);
  }

  // Reading the tape (builder.cc).
  static constexpr std::uint32_t kNoPair = 0xFFFFFFFFu;
  const Pair& at(std::uint32_t pair) const { return tape_[pair]; }
  Rule rule(std::uint32_t pair) const { return tape_[pair].rule; }
  std::string_view text(std::uint32_t pair) const {
    return input_.substr(tape_[pair].begin, tape_[pair].end - tape_[pair].begin);
  }
  // The text of `pair` after its child `child`.
  std::string_view text_after(std::uint32_t pair, std::uint32_t child) const {
    return input_.substr(tape_[child].end, tape_[pair].end - tape_[child].end);
  }
  // Where `child` begins in the text of `pair`.
  std::uint32_t offset_in(std::uint32_t pair, std::uint32_t child) const {
    return tape_[child].begin - tape_[pair].begin;
  }
  ast::Span span(std::uint32_t pair) const { return {tape_[pair].begin, tape_[pair].end}; }
  // The children of `pair`, for range-for.
  ChildRange children(std::uint32_t pair) const { return parser::children(tape_, pair); }
  // The children of `parent` that follow its child `child`, for range-for.
  class Siblings {
   public:
    Siblings(std::span<const Pair> tape, std::uint32_t first, std::uint32_t end)
        : tape_(tape), first_(first), end_(end) {}
    ChildRange::Iterator begin() const { return {tape_, first_}; }
    ChildRange::Iterator end() const { return {tape_, end_}; }

   private:
    std::span<const Pair> tape_;
    std::uint32_t first_;
    std::uint32_t end_;
  };
  Siblings children_after(std::uint32_t parent, std::uint32_t child) const {
    return {tape_, tape_[child].next, tape_[parent].next};
  }
  // The first child of `pair`, or kNoPair.
  std::uint32_t first_child(std::uint32_t pair) const {
    return pair + 1 < tape_[pair].next ? pair + 1 : kNoPair;
  }
  // The sibling after `child` inside `parent`, or kNoPair.
  std::uint32_t next_sibling(std::uint32_t parent, std::uint32_t child) const {
    const std::uint32_t next = tape_[child].next;
    return next < tape_[parent].next ? next : kNoPair;
  }
  // The child of `pair` when it has exactly one, or kNoPair.
  std::uint32_t only_child(std::uint32_t pair) const {
    return pair + 1 < tape_[pair].next && tape_[pair + 1].next == tape_[pair].next ? pair + 1
                                                                                   : kNoPair;
  }
  // The first child of `pair` of rule `wanted`, or kNoPair.
  std::uint32_t find_child(std::uint32_t pair, Rule wanted) const;

  // Writing the tree (builder.cc).
  // The offset of `size` new bytes aligned to `align` in the tree's buffer.
  std::uint32_t allocate(std::size_t size, std::size_t align) {
    const std::size_t at = (used_ + align - 1) & ~(align - 1);
    if (at + size > query_.store_.size()) grow(at + size);
    used_ = at + size;
    return static_cast<std::uint32_t>(at);
  }
  void grow(std::size_t needed);
  template <class T>
  ast::Id<T> add(const T& value);
  template <class T>
  T& node(ast::Id<T> id) {
    return *std::launder(reinterpret_cast<T*>(query_.store_.data() + id.at));
  }
  std::string_view stored_text(ast::Str str) const { return query_.text(str); }
  ast::ExprId add_expr(const ast::Expr& expr) { return add(expr); }
  // A copy of `text`, a view into the input, that remembers where in the input it was.
  ast::Str copy_text(std::string_view text);
  ast::Str copy_text(std::uint32_t pair) { return copy_text(text(pair)); }
  // The texts of the children of `pair` of rule `wanted` (label and type names).
  ast::List<ast::Str> copy_child_texts(std::uint32_t pair, Rule wanted);
  ast::ExprId add_null(ast::Span span);

  // Lists under construction (builder.h).
  template <class T>
  OpenList<T> open_list() {
    return {static_cast<std::uint32_t>(pending_.size()), ++lists_opened_};
  }
  template <class T>
  void push(OpenList<T> list, ast::Id<T> id) {
    pending_.push_back({id.at, list.tag});
  }
  // The elements pushed onto `list`, in order, as a list in the tree. Leaves them pending.
  template <class T>
  ast::List<T> collect(OpenList<T> list);
  // Drops the pending elements of `list` and of every list opened after it.
  template <class T>
  void release(OpenList<T> list) {
    pending_.resize(list.from);
  }
  template <class T>
  ast::List<T> take_list(OpenList<T> list) {
    const ast::List<T> taken = collect(list);
    release(list);
    return taken;
  }

  // Where the build recurses (expressions, queries): false, with the nesting error placed at
  // `pair`, when the thread's stack has run short.
  [[gnu::always_inline]] bool enter(std::uint32_t pair) {
    if (!stack_.reached()) [[likely]] return true;
    return fail_too_deep(pair);
  }
  [[gnu::cold, gnu::noinline]] bool fail_too_deep(std::uint32_t pair);

  // Records the error of `guard`, its text followed by `detail`, and returns false.
  bool fail(Guard guard, std::string_view detail = {});
  // The same, with the name of the rule of `pair` as the detail.
  bool fail_rule(Guard guard, std::uint32_t pair);

  std::string_view input_;
  std::span<const Pair> tape_;
  ast::CypherQuery query_;
  std::size_t used_ = 0;
  std::vector<Pending> pending_;
  std::uint32_t lists_opened_ = kDropped;  // the last tag handed out
  std::optional<CypherError> error_;
  std::optional<SyntaxError> too_deep_;
  const StackBound stack_ = StackBound::of_current_thread();
};

template <class T>
ast::Id<T> Builder::add(const T& value) {
  static_assert(std::is_trivially_copyable_v<T>);
  const std::uint32_t at = allocate(sizeof(T), alignof(T));
  new (query_.store_.data() + at) T(value);
  return ast::Id<T>{at};
}

template <class T>
ast::List<T> Builder::collect(OpenList<T> list) {
  std::uint32_t count = 0;
  for (std::size_t i = list.from; i < pending_.size(); ++i) count += pending_[i].tag == list.tag;
  if (count == 0) return {};
  const std::uint32_t at = allocate(sizeof(std::uint32_t) * count, alignof(std::uint32_t));
  auto* ids = new (query_.store_.data() + at) std::uint32_t[count];
  for (std::size_t i = list.from; i < pending_.size(); ++i) {
    if (pending_[i].tag == list.tag) *ids++ = pending_[i].at;
  }
  return {at, count};
}

}  // namespace morvane::parser::builder
