// Expression and projection checks: unbound variables, function calls against the known
// functions, aggregates where they are not allowed, SKIP and LIMIT literals, property keys read
// from bound variables, and duplicate projection names.
#include <algorithm>
#include <array>
#include <string>
#include <unordered_set>
#include <utility>
#include <variant>

#include "validator/known_functions.h"
#include "validator/semantic.h"

namespace morvane::validator::semantic {

using ast::ExprKind;

namespace {

// Literals, parameters and count(*) have no checks and no children: the walk skips them rather
// than push and pop them.
bool nothing_to_check(ExprKind kind) {
  return kind == ExprKind::Integer || kind == ExprKind::Float || kind == ExprKind::String ||
         kind == ExprKind::Boolean || kind == ExprKind::Null || kind == ExprKind::Parameter ||
         kind == ExprKind::CountStar;
}

}  // namespace

void SemanticValidator::validate_expr(ast::ExprId expr) {
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
  // The checks on the node itself, made before its children's; the other kinds have none.
  switch (expr.kind()) {
    case ExprKind::Variable: {
      std::string_view name = text(expr.name());
      if (!scope_.contains(name)) {
        report(DiagnosticCode::UnboundVariable, {name});
      }
      return;
    }
    case ExprKind::PropertyAccess: {
      const ast::PropertyAccessExpr& access = expr.property_access();
      const ast::Expr& object = tree_[access.expr];
      if (object.kind() == ExprKind::Variable) {
        validate_property_access(text(object.name()), std::span(&access.key, 1));
      }
      break;
    }
    case ExprKind::FunctionCall:
      validate_function_call(expr.function_call());
      break;
    default:
      break;
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
        if (!nothing_to_check(tree_[child.expr].kind())) {
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
        if (const auto* pattern = std::get_if<ast::ExistsSubquery::Pattern>(&exists.variant)) {
          collect_pattern_bindings(pattern->parts);
          for (const ast::PatternPart& part : tree_[pattern->parts]) {
            validate_pattern_element(part.element);
          }
        } else {
          validate_regular_query(std::get<ast::ExistsSubquery::Query>(exists.variant));
        }
        scope_ = std::move(saved);
      },
      [&](ast::Id<ast::RegularQuery> id) {
        Scope saved = scope_;
        validate_regular_query(tree_[id]);
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
    switch (expr.kind()) {
      case ExprKind::CountStar:
        return true;
      case ExprKind::FunctionCall: {
        const KnownFunction* function = find_known_function(text(expr.function_call().name));
        if (function != nullptr && function->aggregate) return true;
        break;
      }
      // Not looked into: slices, comprehensions, quantifiers, REDUCE, paths and subqueries
      // have their own aggregation.
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
        continue;
      default:
        break;
    }
    ast::for_each_child_reversed(tree_, expr, ast::Overloaded{
        [&](ast::ExprChild child) { pending.push_back(child.expr); },
        [](auto) {},
    });
  }
  return false;
}

void SemanticValidator::check_aggregate_context(ast::ExprId expr, std::string_view context) {
  if (!contains_aggregate(expr)) return;
  report(DiagnosticCode::AggregateInForbiddenContext, {context});
}

void SemanticValidator::validate_pagination_expr(ast::ExprId expr, std::string_view clause) {
  DiagnosticCode code;
  switch (tree_[expr].kind()) {
    case ExprKind::String: code = DiagnosticCode::PaginationTypeString; break;
    case ExprKind::Boolean: code = DiagnosticCode::PaginationTypeBool; break;
    case ExprKind::Null: code = DiagnosticCode::PaginationTypeNull; break;
    case ExprKind::Float: code = DiagnosticCode::PaginationTypeFloat; break;
    default:
      validate_expr(expr);
      return;
  }
  report(code, {clause});
}

void SemanticValidator::validate_property_access(std::string_view variable,
                                                 std::span<const ast::Str> keys) {
  const LabelList* bound = scope_.find(variable);
  if (bound == nullptr) return;
  for (std::string_view written : *bound) {
    // A name declared both as a label and as a type is checked as a label.
    std::optional<std::size_t> properties = suggestions_.node_properties(parser::unquoted(written));
    const bool label = properties.has_value();
    if (!label) properties = suggestions_.rel_properties(parser::unquoted(written));
    if (!properties) continue;
    for (ast::Str key : keys) {
      if (suggestions_.contains(*properties, name(key))) continue;
      Proposal proposal = property_proposal(key, *properties);
      DiagnosticCode code =
          label ? DiagnosticCode::UnknownNodePropertyOnVar : DiagnosticCode::UnknownRelPropertyOnVar;
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
