// The validation pipeline: a query text in, a PyValidationResult out. Morvane holds its own copy
// of the schema, with the schema's names prepared for suggestions, and only reads them, so any
// number of threads may call validate at once on one Morvane, each with a recognizer of its
// own; each call builds its own SemanticValidator and keeps nothing.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "diagnostics/diagnostic.h"
#include "diagnostics/suggest.h"
#include "parser/recognizer.h"
#include "schema/schema.h"
#include "validator/suggestion_index.h"

namespace morvane::validator {

// The outcome of validating one query (the Python ValidationResult holds it unchanged). Each
// message is stored once, in its diagnostic; the lists of messages are read from those.
struct PyValidationResult {
  bool is_valid = true;                   // no errors; warnings never count
  std::optional<std::string> fixed_query;  // when every error has a suggestion
  std::vector<diagnostics::ValidationDiagnostic> diagnostics;  // in the order found

  // The messages of the diagnostics, in the order found: every error (the one parse message
  // after a parse failure, otherwise the semantic errors); the parse message alone; the
  // semantic errors alone (none after a parse failure); the warnings (likewise).
  std::vector<std::string_view> errors() const;
  std::vector<std::string_view> syntax_errors() const;
  std::vector<std::string_view> semantic_errors() const;
  std::vector<std::string_view> warnings() const;
  std::size_t error_count() const;

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
  // When `stats` is given, the work of this call's suggestion searches is added to it. The query
  // is matched with `recognizer`, whose buffers a caller that validates many queries keeps from
  // one call to the next; without it, with a recognizer of the call.
  PyValidationResult validate(std::string_view query, parser::Recognizer& recognizer,
                              diagnostics::SuggestStats* stats = nullptr) const;
  PyValidationResult validate(std::string_view query,
                              diagnostics::SuggestStats* stats = nullptr) const;

 private:
  schema::Schema schema_;
  SuggestionIndex suggestions_;  // of schema_
};

}  // namespace morvane::validator
