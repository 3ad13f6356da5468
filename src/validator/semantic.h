// The semantic validator: checks one parsed query against a schema and records what it finds.
//
// It walks the syntax tree clause by clause in one fixed order and appends each finding the
// moment it makes it; that order is the order of the diagnostics, so nothing is sorted, merged
// or deduplicated afterwards (the same finding made twice is reported twice). Along the walk it
// keeps the scope of bound variables: all bindings of a query part are collected before the
// part is checked; WITH replaces the scope by its projection, though its ORDER BY and WHERE
// (unless it groups or is DISTINCT), like the ORDER BY of a RETURN, see the projected names over
// the scope before it; UNION arms (each from an empty scope, or in a subquery from the scope
// the subquery sees), pattern comprehensions, EXISTS, COUNT and COLLECT subqueries save the
// scope and put it back; CALL { } shares it, and after it the scope also holds what it held
// before and the names the subquery returns; comprehension, quantifier, REDUCE and FOREACH
// variables are bound for their body and removed after it.
//
// A validator lives for one query and is used by one thread. It borrows the schema, its
// suggestion index and the tree (all only read, all must outlive it) and never fails: whatever
// it finds, the walk goes on through the whole query. The closest-name search for a given name
// and candidate list runs once per validator; a repeat reuses its answer.
//
// Recursion: clause-level constructs (subqueries, FOREACH bodies) recurse, bounded by the
// recognizer's nesting limit; expressions are walked with an explicit stack, since their left
// spines (`a + b + ... + z`, `a.b.c...`) can be as deep as the query is long. Where the thread's
// stack runs short first (its StackBound), the walk goes no deeper and too_deep_at() tells
// where: the findings are then incomplete, and the query gets the recognizer's nesting error.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "diagnostics/diagnostic.h"
#include "diagnostics/suggest.h"
#include "parser/ast.h"
#include "parser/names.h"
#include "parser/stack_bound.h"
#include "schema/schema.h"
#include "validator/scope.h"
#include "validator/suggestion_index.h"

namespace morvane::validator::semantic {

namespace ast = parser::ast;
using diagnostics::DiagnosticCode;
using diagnostics::Suggestion;
using diagnostics::ValidationDiagnostic;

class SemanticValidator {
 public:
  // `suggestions` is the index of `schema`.
  SemanticValidator(const schema::Schema& schema, const SuggestionIndex& suggestions,
                    const ast::CypherQuery& tree);

  // Checks the whole tree; a standalone procedure call has nothing the schema can check. Call
  // once per validator.
  void validate();

  // Every finding, in the order found (errors and warnings interleaved).
  const std::vector<ValidationDiagnostic>& diagnostics() const { return diagnostics_; }
  std::vector<ValidationDiagnostic> take_diagnostics() { return std::move(diagnostics_); }
  // Where the walk stopped going deeper for want of stack (the start of the expression it was
  // entering, or of the last one entered before a subquery), or nothing.
  std::optional<std::uint32_t> too_deep_at() const { return too_deep_at_; }
  // The work of the closest-name searches run so far.
  const diagnostics::SuggestStats& suggest_stats() const { return suggest_stats_; }

 private:
  // Appends the finding `code`, its severity from the code's row, its message made from `args`
  // as format_message takes them, and `suggestion` (only the label, type and property errors
  // have one).
  void report(DiagnosticCode code, std::initializer_list<std::string_view> args,
              std::optional<Suggestion> suggestion = std::nullopt);

  // Where the walk recurses (expressions, queries, FOREACH bodies): false once the thread's
  // stack has run short at `place`, a byte offset into the query.
  [[gnu::always_inline]] bool enter(std::uint32_t place) {
    if (!stack_.reached()) [[likely]] return !too_deep_at_;
    if (!too_deep_at_) too_deep_at_ = place;
    return false;
  }

  // ---- Query walk (semantic.cc) ----

  // Where the UNION arms of a query start: the arms of the whole query from an empty scope; the
  // arms of a subquery from the scope the subquery sees, since each arm imports the outer
  // variables on its own.
  enum class ArmScope : std::uint8_t { kEmpty, kOuter };
  // Validates the query with the current scope, then each UNION arm from `arms`; the scope left
  // by the first query is kept.
  void validate_regular_query(const ast::RegularQuery& query, ArmScope arms);
  void validate_single_query(const ast::SingleQuery& query);
  void validate_single_part(const ast::SinglePartQuery& query);
  void validate_multi_part(const ast::MultiPartQuery& query);
  // The clauses of one query part: every binding they make, then each clause's checks.
  void validate_clauses(ast::List<ast::ReadingClause> reading,
                        ast::List<ast::UpdatingClause> updating);
  // `may_scan`: what collect_reading_bindings found for the clause.
  void validate_reading_clause(const ast::ReadingClause& clause, bool may_scan);
  void validate_updating_clause(const ast::UpdatingClause& clause);
  void validate_call_subquery(const ast::RegularQuery& query);
  void validate_return_clause(const ast::ReturnClause& clause);
  // The ORDER BY of a RETURN or WITH; then its SKIP and LIMIT, in that order.
  void validate_order_by(const std::optional<ast::List<ast::SortItem>>& order_by);
  void validate_skip_limit(ast::ExprId skip, ast::ExprId limit);
  // The items of a RETURN (none for RETURN *), or of the RETURN ending a query (none without).
  static ast::List<ast::ReturnItem> return_items(const ast::ReturnClause& clause);
  ast::List<ast::ReturnItem> return_items(const ast::SingleQuery& query) const;
  // Binds each name the items project into `into`, over its entries from `layer` on
  // (Scope::bind_over), with the labels that the scope's entries below `visible` hold for the
  // variable the item names bare (also under an alias); any other item's name gets none.
  void bind_projection(ast::List<ast::ReturnItem> items, std::size_t visible, Scope& into,
                       std::size_t layer);
  // E303, E304 for the keys of a SET or REMOVE property item.
  void validate_property_expr(const ast::PropertyExpr& property);

  // Binds the clause's variables; those of a CALL subquery enter while it is validated, but the
  // names it returns are noted now for the MATCH clauses after it. Returns whether the clause is
  // a MATCH with a part that may scan all nodes: one that does not start_from_a_known_node,
  // asked before the part's own bindings are collected.
  bool collect_reading_bindings(const ast::ReadingClause& clause);
  // Whether a node of the path has a label written, or a variable bound before the path: by an
  // earlier clause (a CALL subquery's among them), an earlier part of the same pattern or an
  // enclosing query.
  bool starts_from_a_known_node(const ast::PatternElement& element) const;
  void collect_updating_bindings(const ast::UpdatingClause& clause);
  void collect_pattern_bindings(ast::List<ast::PatternPart> parts);
  void collect_part_bindings(const ast::PatternPart& part);
  void collect_element_bindings(const ast::PatternElement& element);
  void collect_node_bindings(const ast::NodePattern& node);
  void collect_rel_bindings(const ast::RelationshipPattern& relationship);

  // ---- Pattern checks (semantic_patterns.cc) ----

  // The node and relationship checks along one path. E201, E301, E211, E302, E401.
  void validate_pattern_element(const ast::PatternElement& element);
  // E201, E301 (only for a key that none of the node's labels declares).
  void validate_node_pattern(const ast::NodePattern& node);
  // E211, E302, E401; the labels are those written on the nodes before and after it. A key or
  // an endpoint that some declared type of the alternatives fits gives nothing.
  void validate_rel_pattern_with_endpoints(const ast::RelationshipPattern& relationship,
                                           ast::List<ast::Str> left_labels,
                                           ast::List<ast::Str> right_labels);
  // Whether one of the labels written on a node is `label`.
  bool has_label(ast::List<ast::Str> node_labels, std::string_view label) const;
  // E401.
  void check_endpoint_label(ast::List<ast::Str> node_labels, std::string_view expected,
                            std::string_view role, std::string_view rel_type);
  // E202 (`in_set`) or E203 for each undeclared label of a SET or REMOVE item.
  void check_set_remove_labels(ast::List<ast::Str> labels, bool in_set);
  // W101.
  void check_cartesian_product(ast::List<ast::PatternPart> parts);
  // W201 (when the clause has no WHERE and `may_scan`, see collect_reading_bindings), then W202.
  void check_match_complexity(const ast::ReadingClause::Match& match, bool may_scan);

  // ---- Expression checks (semantic_expr.cc) ----

  // E501, E603, E601, W103, W104, E303, E304 and, through patterns and subqueries inside the
  // expression, every other finding.
  void validate_expr(ast::ExprId expr);
  // Whether the expression holds count(*) or a known aggregate call, looking through operators,
  // lists, maps, property accesses, subscripts, CASE and the arguments of other calls (not into
  // comprehensions, quantifiers, REDUCE, paths or subqueries). Of the validator's state it uses
  // only its own stack.
  bool contains_aggregate(ast::ExprId expr);
  // E602 when the expression holds an aggregate; `context` is "MATCH WHERE", "SET" or "DELETE".
  void check_aggregate_context(ast::ExprId expr, std::string_view context);
  // E611 to E614 for a literal of the wrong type, otherwise validate_expr. `clause` is "SKIP"
  // or "LIMIT".
  void validate_pagination_expr(ast::ExprId expr, std::string_view clause);
  // E303, E304: for each label or type bound to `variable`, in order, each key it lacks, unless
  // another of them declares the key (a node has all its labels, a relationship one of its
  // types); nothing when the variable is unbound.
  void validate_property_access(std::string_view variable, std::span<const ast::Str> keys);
  // The findings of validate_property_access from the first key that a label or type of
  // `bound` lacks: key `first_key` of name `first_name`.
  [[gnu::cold]] void report_unknown_properties(std::string_view variable, const LabelList& bound,
                                               std::span<const ast::Str> keys,
                                               std::size_t first_name, std::size_t first_key);
  // The property list (one of suggestions_'s lists) of a label or type of the scope, as written,
  // and whether it is a label's; nothing when the schema declares neither. A name declared both
  // as a label and as a type is a label.
  struct DeclaredProperties {
    std::size_t list;
    bool label;
  };
  std::optional<DeclaredProperties> properties_of(std::string_view written) const {
    const std::string_view declared = parser::unquoted(written);
    if (std::optional<std::size_t> list = suggestions_.node_properties(declared)) {
      return DeclaredProperties{*list, true};
    }
    if (std::optional<std::size_t> list = suggestions_.rel_properties(declared)) {
      return DeclaredProperties{*list, false};
    }
    return std::nullopt;
  }
  // E502 for each projection name seen before.
  void check_alias_uniqueness(ast::List<ast::ReturnItem> items);

  // A text of the tree as the query writes it: what messages and suggestion originals show.
  std::string_view text(ast::Str str) const { return tree_.text(str); }
  // The name a label, type, property key or variable of the tree stands for, without the
  // backticks that quote it: what is compared with the schema and with other names.
  std::string_view name(ast::Str str) const { return parser::unquoted(tree_.text(str)); }
  // The projected name of an item: its alias, or the name of a bare variable; else nothing.
  std::optional<std::string_view> projection_name(const ast::ReturnItem& item) const;
  // W103 for an unknown function; otherwise E603, W104, then E601 for each string argument.
  void validate_function_call(const ast::FunctionCallExpr& call);

  // The hint that ends a message about an unknown name and the suggestion of the diagnostic,
  // both from one search of the candidates, so they name the same candidate. The suggestion
  // writes that name as a query must (in backticks when it is no plain identifier or is a
  // reserved word) and holds where the unknown name stands; a name holding a backtick cannot
  // be written, so it gets the hint but no suggestion.
  struct Proposal {
    std::string hint;
    std::optional<Suggestion> suggestion;
  };
  // For the label or relationship type `written` (":" prefix); `list` is one of suggestions_'s
  // lists.
  Proposal label_proposal(ast::Str written, std::size_t list);
  // For the property key `written` ("." prefix).
  Proposal property_proposal(ast::Str written, std::size_t list);
  // Either of the two above: `prefix` starts the hint, `replacement` makes the suggestion.
  Proposal propose(
      ast::Str written, std::size_t list, std::string_view prefix,
      std::optional<Suggestion> (*replacement)(std::string_view, std::optional<std::string_view>));
  // The name of `list` closest to `name`, searched the first time this pair is asked for.
  std::optional<std::string_view> closest_name(std::string_view name, std::size_t list);

  std::vector<ValidationDiagnostic> diagnostics_;
  const parser::StackBound stack_ = parser::StackBound::of_current_thread();
  std::optional<std::uint32_t> too_deep_at_;
  std::uint32_t last_expr_at_ = 0;  // where the last expression entered begins
  const schema::Schema& schema_;
  const SuggestionIndex& suggestions_;
  const ast::CypherQuery& tree_;
  Scope scope_;
  // The MATCH clauses of the parts being validated that may scan all nodes, in walk order.
  std::vector<const ast::ReadingClause*> scanning_;
  // The names returned by the CALL subqueries collected so far in the current part (unquoted).
  std::vector<std::string_view> names_called_;

  // The answers of the searches run so far, by (list, name); the names are views into the tree.
  // A query's first few searches are kept in a short list looked through one by one; any more
  // go into a map.
  struct SearchKey {
    std::size_t list;
    std::string_view name;
    bool operator==(const SearchKey&) const = default;
  };
  struct SearchKeyHash {
    std::size_t operator()(const SearchKey& key) const {
      return std::hash<std::string_view>()(key.name) ^ (key.list * 0x9e3779b97f4a7c15u);
    }
  };
  struct Searched {
    SearchKey key;
    std::optional<std::string_view> best;
  };
  std::array<Searched, 8> first_searched_;
  std::size_t first_searched_count_ = 0;
  std::unordered_map<SearchKey, std::optional<std::string_view>, SearchKeyHash> more_searched_;
  diagnostics::SuggestStats suggest_stats_;

  // The explicit stack of validate_expr. A nested call (a subquery inside an expression) works
  // above the entries of the outer one and leaves the three stacks as it found them.
  struct ExprTask {
    enum class Kind : std::uint8_t {
      kVisit,    // check `expr`
      kBind,     // bind `name` unless bound, pushing onto bound_here_ whether it was added
      kUnbind,   // pop bound_here_; remove `name` if it was added
      kRestore,  // put the scope saved last in saved_scopes_ back
    };
    Kind kind;
    ast::ExprId expr;
    ast::Str name;
  };
  void run_expr_task(const ExprTask& task);
  void push_visit(ast::ExprId expr) {
    if (expr.present()) expr_tasks_.push_back(ExprTask{ExprTask::Kind::kVisit, expr, {}});
  }
  std::vector<ExprTask> expr_tasks_;
  // The aggregate calls and count(*) that validate_expr has met so far, subqueries included.
  std::size_t aggregates_met_ = 0;
  std::vector<bool> bound_here_;
  std::vector<Scope> saved_scopes_;
  // The explicit stack of contains_aggregate, kept from one call to the next.
  std::vector<ast::ExprId> aggregate_pending_;
};

}  // namespace morvane::validator::semantic
