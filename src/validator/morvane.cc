#include "validator/morvane.h"

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

  semantic::SemanticValidator validator(schema_, suggestions_, parsed.value());
  validator.validate();
  if (stats != nullptr) *stats += validator.suggest_stats();
  result.diagnostics = validator.take_diagnostics();
  // Most queries have no finding: their lists stay empty.
  if (result.diagnostics.empty()) return result;
  result.semantic_errors = diagnostics::messages(result.diagnostics, diagnostics::Severity::Error);
  result.errors = result.semantic_errors;
  result.warnings = diagnostics::messages(result.diagnostics, diagnostics::Severity::Warning);
  result.is_valid = result.errors.empty();
  if (!result.is_valid) result.fixed_query = auto_correct(query, result.diagnostics);
  return result;
}

}  // namespace morvane::validator
