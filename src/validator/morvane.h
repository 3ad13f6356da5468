// The validation pipeline: a query text in, a PyValidationResult out. Morvane holds its own copy
// of the schema, with the schema's names prepared for suggestions, and only reads them, so any
// number of threads may call validate at once on one Morvane; each call builds its own parser
// state and SemanticValidator and keeps nothing.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "diagnostics/diagnostic.h"
#include "diagnostics/suggest.h"
#include "schema/schema.h"
#include "validator/suggestion_index.h"

namespace morvane::validator {

// The outcome of validating one query (the Python ValidationResult holds it unchanged).
struct PyValidationResult {
  bool is_valid = true;                     // no errors; warnings never count
  std::vector<std::string> errors;          // syntax_errors or else semantic_errors
  std::vector<std::string> syntax_errors;   // the one parse message after a parse failure
  std::vector<std::string> semantic_errors;  // in the order found; empty after a parse failure
  std::vector<std::string> warnings;         // in the order found; empty after a parse failure
  std::optional<std::string> fixed_query;    // when every error has a suggestion
  std::vector<diagnostics::ValidationDiagnostic> diagnostics;  // in the order found

  bool operator==(const PyValidationResult&) const = default;
};

class Morvane {
 public:
  explicit Morvane(schema::Schema schema)
      : schema_(std::move(schema)), suggestions_(schema_) {}

  const schema::Schema& schema() const { return schema_; }

  // Parses and checks `query`. Never fails: a query that does not parse gives one E101
  // diagnostic (with its line and column when the recognizer placed the failure) and no
  // semantic checks; otherwise the diagnostics are the semantic validator's, in its order.
  // When `stats` is given, the work of this call's suggestion searches is added to it.
  PyValidationResult validate(std::string_view query,
                              diagnostics::SuggestStats* stats = nullptr) const;

 private:
  schema::Schema schema_;
  SuggestionIndex suggestions_;  // of schema_
};

}  // namespace morvane::validator
