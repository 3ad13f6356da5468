// Expression and projection checks: unbound variables, function calls against the known
// functions, aggregates where they are not allowed, SKIP and LIMIT literals, property keys read
// from bound variables, and duplicate projection names.
#include <string>
#include <utility>
#include <variant>

#include "validator/known_functions.h"
#include "validator/semantic.h"

namespace morvane::validator::semantic {

using diagnostics::format_message;
using ast::ExprKind;

void SemanticValidator::validate_expr(ast::ExprId expr) {
  const std::size_t base = expr_tasks_.size();
  push_visit(expr);
  while (expr_tasks_.size() > base) {
    ExprTask task = expr_tasks_.back();
    expr_tasks_.pop_back();
    run_expr_task(task);
  }
}

// Children are pushed in reverse so that they are checked in written order.
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

  auto push_bind = [&](Kind kind, ast::Str name) {
    expr_tasks_.push_back(ExprTask{kind, {}, name});
  };
  const ast::Expr& expr = tree_[task.expr];
  switch (expr.kind()) {
    case ExprKind::Integer:
    case ExprKind::Float:
    case ExprKind::String:
    case ExprKind::Boolean:
    case ExprKind::Null:
    case ExprKind::Parameter:
    case ExprKind::CountStar:
      return;
    case ExprKind::Variable: {
      std::string_view name = text(expr.name());
      if (!scope_.contains(name)) {
        push_error(DiagnosticCode::UnboundVariable,
                   format_message(DiagnosticCode::UnboundVariable, {name}), std::nullopt);
      }
      return;
    }
    case ExprKind::List: {
      ast::ListView<ast::Expr> items = tree_[expr.list()];
      for (std::uint32_t i = items.size(); i-- > 0;) push_visit(items.id(i));
      return;
    }
    case ExprKind::Map: {
      ast::ListView<ast::MapEntry> entries = tree_[expr.map()];
      for (std::uint32_t i = entries.size(); i-- > 0;) push_visit(entries[i].value);
      return;
    }
    case ExprKind::PropertyAccess: {
      const ast::PropertyAccessExpr& access = expr.property_access();
      const ast::Expr& object = tree_[access.expr];
      if (object.kind() == ExprKind::Variable) {
        std::string_view key = text(access.key);
        validate_property_access(text(object.name()), std::span(&key, 1));
      }
      push_visit(access.expr);
      return;
    }
    case ExprKind::Subscript:
      push_visit(expr.subscript().index);
      push_visit(expr.subscript().expr);
      return;
    case ExprKind::Slice:
      push_visit(expr.slice().to);
      push_visit(expr.slice().from);
      push_visit(expr.slice().expr);
      return;
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
      push_visit(expr.binary().right);
      push_visit(expr.binary().left);
      return;
    case ExprKind::Not:
    case ExprKind::IsNull:
    case ExprKind::IsNotNull:
    case ExprKind::Negate:
      push_visit(expr.unary().expr);
      return;
    case ExprKind::FunctionCall: {
      validate_function_call(expr.function_call());
      ast::ListView<ast::Expr> args = tree_[expr.function_call().args];
      for (std::uint32_t i = args.size(); i-- > 0;) push_visit(args.id(i));
      return;
    }
    case ExprKind::Case: {
      const ast::CaseExpr& case_expr = expr.case_expr();
      push_visit(case_expr.else_expr);
      ast::ListView<ast::CaseAlternative> alternatives = tree_[case_expr.alternatives];
      for (std::uint32_t i = alternatives.size(); i-- > 0;) {
        push_visit(alternatives[i].then);
        push_visit(alternatives[i].when);
      }
      push_visit(case_expr.operand);
      return;
    }
    case ExprKind::ListComprehension: {
      // The list is read in the enclosing scope; the variable is bound for the rest.
      const ast::ListComprehensionExpr& comprehension = expr.list_comprehension();
      push_bind(Kind::kUnbind, comprehension.variable);
      push_visit(comprehension.projection);
      push_visit(comprehension.where_clause);
      push_bind(Kind::kBind, comprehension.variable);
      push_visit(comprehension.list);
      return;
    }
    case ExprKind::All:
    case ExprKind::Any:
    case ExprKind::None:
    case ExprKind::Single: {
      const ast::QuantifierExpr& quantifier = expr.quantifier();
      push_bind(Kind::kUnbind, quantifier.variable);
      push_visit(quantifier.where_clause);
      push_bind(Kind::kBind, quantifier.variable);
      push_visit(quantifier.list);
      return;
    }
    case ExprKind::Reduce: {
      const ast::ReduceExpr& reduce = expr.reduce();
      push_bind(Kind::kUnbind, reduce.accumulator);
      push_bind(Kind::kUnbind, reduce.variable);
      push_visit(reduce.projection);
      push_bind(Kind::kBind, reduce.variable);
      push_bind(Kind::kBind, reduce.accumulator);
      push_visit(reduce.list);
      push_visit(reduce.init);
      return;
    }
    case ExprKind::ShortestPath:
      validate_pattern_element(tree_[expr.shortest_path().pattern]);
      return;
    case ExprKind::PatternComprehension: {
      const ast::PatternComprehensionExpr& comprehension = expr.pattern_comprehension();
      const ast::PatternElement& pattern = tree_[comprehension.pattern];
      saved_scopes_.push_back(scope_);
      collect_element_bindings(pattern);
      validate_pattern_element(pattern);
      expr_tasks_.push_back(ExprTask{Kind::kRestore, {}, {}});
      push_visit(comprehension.projection);
      push_visit(comprehension.where_clause);
      return;
    }
    case ExprKind::Exists: {
      const ast::ExistsSubquery& exists = tree_[expr.exists()];
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
      return;
    }
    case ExprKind::CountSubquery:
    case ExprKind::CollectSubquery: {
      Scope saved = scope_;
      validate_regular_query(tree_[expr.subquery()]);
      scope_ = std::move(saved);
      return;
    }
  }
}

void SemanticValidator::validate_function_call(const ast::FunctionCallExpr& call) {
  std::string_view name = text(call.name);
  const KnownFunction* function = find_known_function(name);
  if (function == nullptr) {
    push_warning(DiagnosticCode::UnknownFunction,
                 format_message(DiagnosticCode::UnknownFunction, {name}));
    return;
  }
  ast::ListView<ast::Expr> args = tree_[call.args];
  if (args.size() < function->min_args ||
      (function->max_args && args.size() > *function->max_args)) {
    push_error(DiagnosticCode::WrongArity,
               format_message(DiagnosticCode::WrongArity,
                              {name, arity_text(*function), std::to_string(args.size())}),
               std::nullopt);
  }
  if (call.distinct && !function->aggregate) {
    push_warning(DiagnosticCode::DistinctOnNonAggregate,
                 format_message(DiagnosticCode::DistinctOnNonAggregate, {name}));
  }
  if (function->numeric_aggregate) {
    for (const ast::Expr& arg : args) {
      if (arg.kind() != ExprKind::String) continue;
      push_error(DiagnosticCode::AggregateStringArg,
                 format_message(DiagnosticCode::AggregateStringArg, {name}), std::nullopt);
    }
  }
}

bool SemanticValidator::contains_aggregate(ast::ExprId root) const {
  std::vector<ast::ExprId> pending;
  auto push = [&](ast::ExprId expr) {
    if (expr.present()) pending.push_back(expr);
  };
  push(root);
  while (!pending.empty()) {
    const ast::Expr& expr = tree_[pending.back()];
    pending.pop_back();
    switch (expr.kind()) {
      case ExprKind::CountStar:
        return true;
      case ExprKind::FunctionCall: {
        const KnownFunction* function = find_known_function(text(expr.function_call().name));
        if (function != nullptr && function->aggregate) return true;
        ast::ListView<ast::Expr> args = tree_[expr.function_call().args];
        for (std::uint32_t i = 0; i < args.size(); ++i) push(args.id(i));
        break;
      }
      case ExprKind::List: {
        ast::ListView<ast::Expr> items = tree_[expr.list()];
        for (std::uint32_t i = 0; i < items.size(); ++i) push(items.id(i));
        break;
      }
      case ExprKind::Map:
        for (const ast::MapEntry& entry : tree_[expr.map()]) push(entry.value);
        break;
      case ExprKind::PropertyAccess:
        push(expr.property_access().expr);
        break;
      case ExprKind::Subscript:
        push(expr.subscript().expr);
        push(expr.subscript().index);
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
      case ExprKind::Case: {
        const ast::CaseExpr& case_expr = expr.case_expr();
        push(case_expr.operand);
        for (const ast::CaseAlternative& alternative : tree_[case_expr.alternatives]) {
          push(alternative.when);
          push(alternative.then);
        }
        push(case_expr.else_expr);
        break;
      }
      // Not looked into: slices, comprehensions, quantifiers, REDUCE, paths and subqueries
      // have their own aggregation.
      case ExprKind::Integer:
      case ExprKind::Float:
      case ExprKind::String:
      case ExprKind::Boolean:
      case ExprKind::Null:
      case ExprKind::Variable:
      case ExprKind::Slice:
      case ExprKind::Parameter:
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
        break;
    }
  }
  return false;
}

void SemanticValidator::check_aggregate_context(ast::ExprId expr, std::string_view context) {
  if (!contains_aggregate(expr)) return;
  push_error(DiagnosticCode::AggregateInForbiddenContext,
             format_message(DiagnosticCode::AggregateInForbiddenContext, {context}),
             std::nullopt);
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
  push_error(code, format_message(code, {clause}), std::nullopt);
}

void SemanticValidator::validate_property_access(std::string_view variable,
                                                 std::span<const std::string_view> keys) {
  const std::vector<std::string_view>* bound = scope_.find(variable);
  if (bound == nullptr) return;
  for (std::string_view name : *bound) {
    // A name declared both as a label and as a type is checked as a label.
    const schema::PropertySet* properties = nullptr;
    bool label = false;
    if (auto node = schema_.nodes.find(name); node != schema_.nodes.end()) {
      properties = &node->second;
      label = true;
    } else if (auto rel = schema_.relationships.find(name); rel != schema_.relationships.end()) {
      properties = &rel->second.properties;
    } else {
      continue;
    }
    for (std::string_view key : keys) {
      if (properties->contains(key)) continue;
      Proposal proposal = property_proposal(
          key, label ? suggestions_.node_properties(name) : suggestions_.rel_properties(name));
      DiagnosticCode code =
          label ? DiagnosticCode::UnknownNodePropertyOnVar : DiagnosticCode::UnknownRelPropertyOnVar;
      push_error(code, format_message(code, {key, variable, name, proposal.hint}),
                 std::move(proposal.suggestion));
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
  std::vector<std::string_view> seen;
  for (const ast::ReturnItem& item : tree_[items]) {
    std::optional<std::string_view> name = projection_name(item);
    if (!name) continue;
    bool repeated = false;
    for (std::string_view have : seen) repeated = repeated || have == *name;
    if (repeated) {
      push_error(DiagnosticCode::DuplicateProjectionName,
                 format_message(DiagnosticCode::DuplicateProjectionName, {*name}), std::nullopt);
    } else {
      seen.push_back(*name);
    }
  }
}

}  // namespace morvane::validator::semantic
