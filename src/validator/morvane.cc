#include "validator/morvane.h"

#include <algorithm>

#include "parser/parse.h"
#include "parser/syntax_error.h"
#include "validator/autocorrect.h"
#include "validator/semantic.h"

namespace morvane::validator {

namespace {

bool is_syntax_error(const diagnostics::ValidationDiagnostic& diagnostic) {
  return diagnostic.code == diagnostics::DiagnosticCode::ParseError;
}

template <class Keep>
std::vector<std::string_view> messages_of(
    const std::vector<diagnostics::ValidationDiagnostic>& diagnostics, Keep keep) {
  std::vector<std::string_view> out;
  for (const diagnostics::ValidationDiagnostic& diagnostic : diagnostics) {
    if (keep(diagnostic)) out.push_back(diagnostic.message);
  }
  return out;
}

bool is_error(const diagnostics::ValidationDiagnostic& diagnostic) {
  return diagnostic.severity == diagnostics::Severity::Error;
}

// The result of a query that did not parse: its one E101 diagnostic.
PyValidationResult parse_failure(parser::ParseErrorDetail failure) {
  diagnostics::ValidationDiagnostic diagnostic{
      diagnostics::DiagnosticCode::ParseError, diagnostics::Severity::Error,
      std::move(failure.message), std::nullopt, std::nullopt};
  if (failure.position) {
    diagnostic.position = diagnostics::Position{failure.position->line, failure.position->column};
  }
  PyValidationResult result;
  result.is_valid = false;
  result.diagnostics.push_back(std::move(diagnostic));
  return result;
}

}  // namespace

std::vector<std::string_view> PyValidationResult::errors() const {
  return messages_of(diagnostics, is_error);
}

std::vector<std::string_view> PyValidationResult::syntax_errors() const {
  return messages_of(diagnostics, is_syntax_error);
}

std::vector<std::string_view> PyValidationResult::semantic_errors() const {
  return messages_of(diagnostics, [](const diagnostics::ValidationDiagnostic& diagnostic) {
    return is_error(diagnostic) && !is_syntax_error(diagnostic);
  });
}

std::vector<std::string_view> PyValidationResult::warnings() const {
  return messages_of(diagnostics, [](const diagnostics::ValidationDiagnostic& diagnostic) {
    return diagnostic.severity == diagnostics::Severity::Warning;
  });
}

std::size_t PyValidationResult::error_count() const {
  return static_cast<std::size_t>(std::count_if(diagnostics.begin(), diagnostics.end(), is_error));
}

PyValidationResult Morvane::validate(std::string_view query,
                                     diagnostics::SuggestStats* stats) const {
  parser::Recognizer recognizer;
  return validate(query, recognizer, stats);
}

PyValidationResult Morvane::validate(std::string_view query, parser::Recognizer& recognizer,
                                     diagnostics::SuggestStats* stats) const {
  auto parsed = parser::parse_with_detail(query, recognizer);
  if (!parsed) return parse_failure(std::move(parsed.error()));

  semantic::SemanticValidator validator(schema_, suggestions_, parsed.value());
  validator.validate();
  if (stats != nullptr) *stats += validator.suggest_stats();
  if (const std::optional<std::uint32_t> at = validator.too_deep_at()) {
    // Short of stack the walk saw only part of the query: it fails as too deeply nested, as
    // the recognizer would have.
    parser::SyntaxError error;
    parser::make_syntax_error(query, *at, parser::SyntaxError::Kind::kTooDeep, {}, error);
    return parse_failure({std::move(error.display), parser::ParseErrorDetail::Position{
                                                        error.line, error.column}});
  }
  PyValidationResult result;
  result.diagnostics = validator.take_diagnostics();
  result.is_valid = result.error_count() == 0;
  if (!result.is_valid) result.fixed_query = auto_correct(query, result.diagnostics);
  return result;
}

}  // namespace morvane::validator
