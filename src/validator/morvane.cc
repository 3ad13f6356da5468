#include "validator/morvane.h"

#include <variant>

#include "parser/parse.h"
#include "validator/autocorrect.h"
#include "validator/semantic.h"

namespace morvane::validator {

PyValidationResult Morvane::validate(std::string_view query,
                                     diagnostics::SuggestStats* stats) const {
  auto parsed = parser::parse_with_detail(query);
  PyValidationResult result;
  if (!parsed) {
    parser::ParseErrorDetail& failure = parsed.error();
    diagnostics::ValidationDiagnostic diagnostic{
        diagnostics::DiagnosticCode::ParseError, diagnostics::Severity::Error, failure.message,
        std::nullopt, std::nullopt};
    if (failure.position) {
      diagnostic.position = diagnostics::Position{failure.position->line, failure.position->column};
    }
    result.is_valid = false;
    result.errors.push_back(failure.message);
    result.syntax_errors.push_back(std::move(failure.message));
    result.diagnostics.push_back(std::move(diagnostic));
    return result;
  }

  const parser::ast::CypherQuery& tree = parsed.value();
  // A standalone procedure call has nothing the schema can check.
  const auto* regular = std::get_if<parser::ast::CypherQuery::Regular>(&tree.root());
  if (regular == nullptr) return result;

  semantic::SemanticValidator validator(schema_, suggestions_, tree);
  validator.validate_regular_query(*regular);
  if (stats != nullptr) *stats += validator.suggest_stats();
  result.semantic_errors = validator.take_errors();
  result.errors = result.semantic_errors;
  result.warnings = validator.take_warnings();
  result.diagnostics = validator.take_diagnostics();
  result.is_valid = result.errors.empty();
  if (!result.is_valid) result.fixed_query = auto_correct(query, result.diagnostics);
  return result;
}

}  // namespace morvane::validator
