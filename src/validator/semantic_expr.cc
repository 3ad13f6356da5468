// Expression and projection checks: unbound variables, function calls against the known
// functions, aggregates where they are not allowed, SKIP and LIMIT literals, property keys read
// from bound variables, and duplicate projection names.
#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>
#include <utility>
#include <variant>
#include <vector>

#include "validator/known_functions.h"
#include "validator/semantic.h"

namespace morvane::validator::semantic {

using ast::ExprKind;

namespace {

// The check validate_expr makes on a node itself, before its children's.
enum class NodeCheck : std::uint8_t {
  kNothing,         // none, and no children: the walk skips the node rather than push and pop it
  kChildren,        // none; its children are walked
  kVariable,        // E501 when unbound
  kPropertyAccess,  // the key against the labels of a bare variable, then the children
  kFunctionCall,    // the known-function checks, then the arguments
  kCountStar,       // counted among the aggregates met
};

constexpr NodeCheck node_check(ExprKind kind) {
  switch (kind) {
    case ExprKind::Integer:
    case ExprKind::Float:
    case ExprKind::String:
    case ExprKind::Boolean:
    case ExprKind::Null:
    case ExprKind::Parameter:
      return NodeCheck::kNothing;
    case ExprKind::CountStar:
      return NodeCheck::kCountStar;
    case ExprKind::Variable:
      return NodeCheck::kVariable;
    case ExprKind::PropertyAccess:
      return NodeCheck::kPropertyAccess;
    case ExprKind::FunctionCall:
      return NodeCheck::kFunctionCall;
    case ExprKind::List:
    case ExprKind::Map:
    case ExprKind::Subscript:
    case ExprKind::Slice:
    case ExprKind::Or:
    case ExprKind::Xor:
    case ExprKind::And:
    case ExprKind::Not:
    case ExprKind::Equal:
    case ExprKind::NotEqual:
    case ExprKind::LessThan:
    case ExprKind::LessOrEqual:
    case ExprKind::GreaterThan:
    case ExprKind::GreaterOrEqual:
    case ExprKind::RegexMatch:
    case ExprKind::IsNull:
    case ExprKind::IsNotNull:
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
    case ExprKind::Negate:
    case ExprKind::Case:
    case ExprKind::ListComprehension:
    case ExprKind::All:
    case ExprKind::Any:
    case ExprKind::None:
    case ExprKind::Single:
    case ExprKind::Reduce:
    case ExprKind::ShortestPath:
    case ExprKind::PatternComprehension:
    case ExprKind::Exists:
    case ExprKind::CountSubquery:
    case ExprKind::CollectSubquery:
      return NodeCheck::kChildren;
  }
  return NodeCheck::kChildren;
}

// What contains_aggregate does with a node.
enum class AggregateRole : std::uint8_t {
  kAggregate,    // count(*)
  kCall,         // an aggregate when the function is one; otherwise its arguments are looked at
  kLookThrough,  // its children are looked at (a leaf has none)
  kOwnScope,     // not looked into: it aggregates on its own
};

constexpr AggregateRole aggregate_role(ExprKind kind) {
  switch (kind) {
    case ExprKind::CountStar:
      return AggregateRole::kAggregate;
    case ExprKind::FunctionCall:
      return AggregateRole::kCall;
    case ExprKind::Integer:
    case ExprKind::Float:
    case ExprKind::String:
    case ExprKind::Boolean:
    case ExprKind::Null:
    case ExprKind::List:
    case ExprKind::Map:
    case ExprKind::Variable:
    case ExprKind::PropertyAccess:
    case ExprKind::Subscript:
    case ExprKind::Parameter:
    case ExprKind::Or:
    case ExprKind::Xor:
    case ExprKind::And:
    case ExprKind::Not:
    case ExprKind::Equal:
    case ExprKind::NotEqual:
    case ExprKind::LessThan:
    case ExprKind::LessOrEqual:
    case ExprKind::GreaterThan:
    case ExprKind::GreaterOrEqual:
    case ExprKind::RegexMatch:
    case ExprKind::IsNull:
    case ExprKind::IsNotNull:
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
    case ExprKind::Negate:
    case ExprKind::Case:
      return AggregateRole::kLookThrough;
    case ExprKind::Slice:
    case ExprKind::ListComprehension:
    case ExprKind::All:
    case ExprKind::Any:
    case ExprKind::None:
    case ExprKind::Single:
    case ExprKind::Reduce:
    case ExprKind::ShortestPath:
    case ExprKind::PatternComprehension:
    case ExprKind::Exists:
    case ExprKind::CountSubquery:
    case ExprKind::CollectSubquery:
      return AggregateRole::kOwnScope;
  }
  return AggregateRole::kLookThrough;
}

// The finding for a SKIP or LIMIT written as a literal of the wrong type; none for any other
// expression, which validate_expr checks instead.
constexpr std::optional<DiagnosticCode> pagination_literal(ExprKind kind) {
  switch (kind) {
    case ExprKind::String:
      return DiagnosticCode::PaginationTypeString;
    case ExprKind::Boolean:
      return DiagnosticCode::PaginationTypeBool;
    case ExprKind::Null:
      return DiagnosticCode::PaginationTypeNull;
    case ExprKind::Float:
      return DiagnosticCode::PaginationTypeFloat;
    case ExprKind::Integer:
    case ExprKind::List:
    case ExprKind::Map:
    case ExprKind::Variable:
    case ExprKind::PropertyAccess:
    case ExprKind::Subscript:
    case ExprKind::Slice:
    case ExprKind::Parameter:
    case ExprKind::Or:
    case ExprKind::Xor:
    case ExprKind::And:
    case ExprKind::Not:
    case ExprKind::Equal:
    case ExprKind::NotEqual:
    case ExprKind::LessThan:
    case ExprKind::LessOrEqual:
    case ExprKind::GreaterThan:
    case ExprKind::GreaterOrEqual:
    case ExprKind::RegexMatch:
    case ExprKind::IsNull:
    case ExprKind::IsNotNull:
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
    case ExprKind::Negate:
    case ExprKind::FunctionCall:
    case ExprKind::CountStar:
    case ExprKind::Case:
    case ExprKind::ListComprehension:
    case ExprKind::All:
    case ExprKind::Any:
    case ExprKind::None:
    case ExprKind::Single:
    case ExprKind::Reduce:
    case ExprKind::ShortestPath:
    case ExprKind::PatternComprehension:
    case ExprKind::Exists:
    case ExprKind::CountSubquery:
    case ExprKind::CollectSubquery:
      return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace

void SemanticValidator::validate_expr(ast::ExprId expr) {
  if (!expr.present()) return;
  last_expr_at_ = tree_[expr].span().begin;
  if (!enter(last_expr_at_)) return;
  // Room for a typical query's expressions at once, rather than growing step by step.
  if (expr_tasks_.capacity() == 0) expr_tasks_.reserve(32);
  const std::size_t base = expr_tasks_.size();
  push_visit(expr);
  while (expr_tasks_.size() > base) {
    ExprTask task = expr_tasks_.back();
    expr_tasks_.pop_back();
    run_expr_task(task);
  }
}

void SemanticValidator::run_expr_task(const ExprTask& task) {
  using Kind = ExprTask::Kind;
  switch (task.kind) {
    case Kind::kVisit:
      break;
    case Kind::kBind:
      bound_here_.push_back(scope_.bind_if_absent(text(task.name)));
      return;
    case Kind::kUnbind: {
      bool added = bound_here_.back();
      bound_here_.pop_back();
      if (added) scope_.remove(text(task.name));
      return;
    }
    case Kind::kRestore:
      scope_ = std::move(saved_scopes_.back());
      saved_scopes_.pop_back();
      return;
  }

  const ast::Expr& expr = tree_[task.expr];
  switch (node_check(expr.kind())) {
    case NodeCheck::kNothing:
      return;
    case NodeCheck::kChildren:
      break;
    case NodeCheck::kVariable: {
      std::string_view name = text(expr.name());
      if (!scope_.contains(name)) {
        report(DiagnosticCode::UnboundVariable, {name});
      }
      return;
    }
    case NodeCheck::kPropertyAccess: {
      const ast::PropertyAccessExpr& access = expr.property_access();
      const ast::Expr& object = tree_[access.expr];
      if (object.kind() == ExprKind::Variable) {
        validate_property_access(text(object.name()), std::span(&access.key, 1));
      }
      break;
    }
    case NodeCheck::kFunctionCall:
      validate_function_call(expr.function_call());
      break;
    case NodeCheck::kCountStar:
      ++aggregates_met_;
      return;
  }

  // The children are pushed last first, so that they are checked in written order. What closes
  // a scope opened among them (unbinding a variable, putting back the scope saved for a pattern
  // comprehension) goes below them all. Paths and subqueries are checked on the spot.
  const std::size_t first = expr_tasks_.size();
  auto close_scope = [&](ExprTask closing) {
    expr_tasks_.insert(expr_tasks_.begin() + static_cast<std::ptrdiff_t>(first), closing);
  };
  ast::for_each_child_reversed(tree_, expr, ast::Overloaded{
      [&](ast::ExprChild child) {
        if (node_check(tree_[child.expr].kind()) != NodeCheck::kNothing) {
          expr_tasks_.push_back(ExprTask{Kind::kVisit, child.expr, {}});
        }
      },
      [&](ast::BoundVariable bound) {
        close_scope(ExprTask{Kind::kUnbind, {}, bound.name});
        expr_tasks_.push_back(ExprTask{Kind::kBind, {}, bound.name});
      },
      [&](ast::PathChild path) {
        const ast::PatternElement& element = tree_[path.element];
        if (path.binds) {
          saved_scopes_.push_back(scope_);
          collect_element_bindings(element);
          close_scope(ExprTask{Kind::kRestore, {}, {}});
        }
        validate_pattern_element(element);
      },
      [&](ast::Id<ast::ExistsSubquery> id) {
        const ast::ExistsSubquery& exists = tree_[id];
        Scope saved = scope_;
        std::visit(ast::Overloaded{
                       [&](const ast::ExistsSubquery::Pattern& pattern) {
                         collect_pattern_bindings(pattern.parts);
                         for (const ast::PatternPart& part : tree_[pattern.parts]) {
                           validate_pattern_element(part.element);
                         }
                       },
                       [&](const ast::ExistsSubquery::Query& query) {
                         validate_regular_query(query, ArmScope::kOuter);
                       },
                   },
                   exists.variant);
        scope_ = std::move(saved);
      },
      [&](ast::Id<ast::RegularQuery> id) {
        Scope saved = scope_;
        validate_regular_query(tree_[id], ArmScope::kOuter);
        scope_ = std::move(saved);
      },
  });
}

void SemanticValidator::validate_function_call(const ast::FunctionCallExpr& call) {
  std::string_view name = text(call.name);
  const KnownFunction* function = find_known_function(name);
  if (function == nullptr) {
    report(DiagnosticCode::UnknownFunction, {name});
    return;
  }
  ast::ListView<ast::Expr> args = tree_[call.args];
  if (args.size() < function->min_args ||
      (function->max_args && args.size() > *function->max_args)) {
    report(DiagnosticCode::WrongArity, {name, arity_text(*function), std::to_string(args.size())});
  }
  if (function->aggregate) ++aggregates_met_;
  if (call.distinct && !function->aggregate) {
    report(DiagnosticCode::DistinctOnNonAggregate, {name});
  }
  if (function->numeric_aggregate) {
    for (const ast::Expr& arg : args) {
      if (arg.kind() != ExprKind::String) continue;
      report(DiagnosticCode::AggregateStringArg, {name});
    }
  }
}

bool SemanticValidator::contains_aggregate(ast::ExprId root) {
  std::vector<ast::ExprId>& pending = aggregate_pending_;
  pending.clear();
  if (pending.capacity() == 0) pending.reserve(16);
  if (root.present()) pending.push_back(root);
  while (!pending.empty()) {
    const ast::Expr& expr = tree_[pending.back()];
    pending.pop_back();
    switch (aggregate_role(expr.kind())) {
      case AggregateRole::kAggregate:
        return true;
      case AggregateRole::kCall: {
        const KnownFunction* function = find_known_function(text(expr.function_call().name));
        if (function != nullptr && function->aggregate) return true;
        break;
      }
      case AggregateRole::kLookThrough:
        break;
      case AggregateRole::kOwnScope:
        continue;
    }
    ast::for_each_child_reversed(tree_, expr, ast::Overloaded{
        [&](ast::ExprChild child) { pending.push_back(child.expr); },
        [](ast::BoundVariable) {},
        [](ast::PathChild) {},
        [](ast::Id<ast::ExistsSubquery>) {},
        [](ast::Id<ast::RegularQuery>) {},
    });
  }
  return false;
}

void SemanticValidator::check_aggregate_context(ast::ExprId expr, std::string_view context) {
  if (!contains_aggregate(expr)) return;
  report(DiagnosticCode::AggregateInForbiddenContext, {context});
}

void SemanticValidator::validate_pagination_expr(ast::ExprId expr, std::string_view clause) {
  if (std::optional<DiagnosticCode> code = pagination_literal(tree_[expr].kind())) {
    report(*code, {clause});
  } else {
    validate_expr(expr);
  }
}

void SemanticValidator::validate_property_access(std::string_view variable,
                                                 std::span<const ast::Str> keys) {
  const LabelList* bound = scope_.find(variable);
  if (bound == nullptr) return;
  for (std::size_t n = 0; n < bound->size(); ++n) {
    std::optional<DeclaredProperties> declared = properties_of(bound->begin()[n]);
    if (!declared) continue;
    for (std::size_t i = 0; i < keys.size(); ++i) {
      if (suggestions_.contains(declared->list, name(keys[i]))) continue;
      report_unknown_properties(variable, *bound, keys, n, i);
      return;
    }
  }
}

void SemanticValidator::report_unknown_properties(std::string_view variable,
                                                  const LabelList& bound,
                                                  std::span<const ast::Str> keys,
                                                  std::size_t first_name, std::size_t first_key) {
  // A node has every label it was bound with, a relationship one of its types: either way a key
  // that one of them declares is known. Found for every key at once, at the first one lacking.
  std::vector<bool> known;
  auto known_elsewhere = [&](std::size_t i) {
    if (bound.size() < 2) return false;
    if (known.empty()) {
      for (ast::Str key : keys) {
        bool declared = false;
        for (std::string_view written : bound) {
          std::optional<DeclaredProperties> properties = properties_of(written);
          declared = declared || (properties && suggestions_.contains(properties->list, name(key)));
        }
        known.push_back(declared);
      }
    }
    return static_cast<bool>(known[i]);
  };
  for (std::size_t n = first_name; n < bound.size(); ++n) {
    const std::string_view written = bound.begin()[n];
    std::optional<DeclaredProperties> declared = properties_of(written);
    if (!declared) continue;
    for (std::size_t i = n == first_name ? first_key : 0; i < keys.size(); ++i) {
      const ast::Str key = keys[i];
      if (suggestions_.contains(declared->list, name(key)) || known_elsewhere(i)) continue;
      Proposal proposal = property_proposal(key, declared->list);
      DiagnosticCode code = declared->label ? DiagnosticCode::UnknownNodePropertyOnVar
                                            : DiagnosticCode::UnknownRelPropertyOnVar;
      report(code, {text(key), variable, written, proposal.hint}, std::move(proposal.suggestion));
    }
  }
}

std::optional<std::string_view> SemanticValidator::projection_name(
    const ast::ReturnItem& item) const {
  if (item.alias) return text(*item.alias);
  const ast::Expr& expr = tree_[item.expr];
  if (expr.kind() == ExprKind::Variable) return text(expr.name());
  return std::nullopt;
}

void SemanticValidator::check_alias_uniqueness(ast::List<ast::ReturnItem> items) {
  // The names met so far: a short list searched name by name, or for a long projection (tens of
  // thousands of items are possible) a set.
  constexpr std::size_t kSearchedNames = 16;
  const bool long_list = items.size > kSearchedNames;
  std::array<std::string_view, kSearchedNames> few;
  std::size_t met = 0;
  std::unordered_set<std::string_view> many;
  for (const ast::ReturnItem& item : tree_[items]) {
    std::optional<std::string_view> written = projection_name(item);
    if (!written) continue;
    const std::string_view projected = parser::unquoted(*written);
    bool repeated;
    if (long_list) {
      repeated = !many.insert(projected).second;
    } else {
      repeated = std::find(few.begin(), few.begin() + met, projected) != few.begin() + met;
      if (!repeated) few[met++] = projected;
    }
    if (repeated) report(DiagnosticCode::DuplicateProjectionName, {*written});
  }
}

}  // namespace morvane::validator::semantic
