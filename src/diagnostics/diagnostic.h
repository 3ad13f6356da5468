// The findings of validation as data: a code, its severity, the rendered message, an optional
// textual fix and, for parse errors only, a position. Every code has one row in one table (code
// string, name, severity, message template); `format_message` is the only place message text is
// made from it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace morvane::diagnostics {

enum class Severity : std::uint8_t {
  Error,    // "error"
  Warning,  // "warning"
};

// "error" or "warning".
std::string_view severity_text(Severity severity);

// The 24 kinds of finding, in their fixed index order (E603 after E614; there is no W102).
// The comment gives the code string and what the message template's {} receive, in order.
enum class DiagnosticCode : std::uint8_t {
  ParseError,                   // E101: the parse failure's message
  UnknownNodeLabel,             // E201: label, hint
  UnknownNodeLabelInSet,        // E202: label, hint
  UnknownNodeLabelInRemove,     // E203: label, hint
  UnknownRelType,               // E211: type, hint
  UnknownNodeProperty,          // E301: key, label, hint
  UnknownRelProperty,           // E302: key, type, hint
  UnknownNodePropertyOnVar,     // E303: key, variable, label, hint
  UnknownRelPropertyOnVar,      // E304: key, variable, type, hint
  WrongEndpointLabel,           // E401: type, "source"/"target", expected label, ":A, :B"
  UnboundVariable,              // E501: variable
  DuplicateProjectionName,      // E502: projection name
  AggregateStringArg,           // E601: function name
  AggregateInForbiddenContext,  // E602: "MATCH WHERE", "SET" or "DELETE"
  PaginationTypeString,         // E611: "SKIP" or "LIMIT"
  PaginationTypeBool,           // E612: "SKIP" or "LIMIT"
  PaginationTypeNull,           // E613: "SKIP" or "LIMIT"
  PaginationTypeFloat,          // E614: "SKIP" or "LIMIT"
  WrongArity,                   // E603: function name, expected count text, given count
  CartesianProduct,             // W101: nothing
  UnknownFunction,              // W103: function name
  DistinctOnNonAggregate,       // W104: function name
  UnlabeledFullScan,            // W201: nothing
  UnboundedVarLength,           // W202: nothing
};

inline constexpr std::size_t kDiagnosticCodeCount = 24;

// The four-character code, e.g. "E201".
std::string_view code(DiagnosticCode kind);
// The kind's name, e.g. "UnknownNodeLabel".
std::string_view code_name(DiagnosticCode kind);
// Error for E codes, Warning for W codes.
Severity severity(DiagnosticCode kind);
// The message with "{}" where the arguments go, e.g. "Unknown node label: :{}{}".
std::string_view message_template(DiagnosticCode kind);

// The message of `kind` with each "{}" replaced by the next of `args`, in order. The caller
// passes exactly as many arguments as the template has placeholders (see the enum's comments);
// a hint argument is `suggestion_hint(...)` from suggest.h, possibly empty. Arguments echo the
// query: a byte in them that begins no well-formed UTF-8 sequence is written as \x{hex}.
std::string format_message(DiagnosticCode kind, std::initializer_list<std::string_view> args);

// A proposed textual fix: replace `original` with `replacement` in the query. `original` is
// the query's text as written; `description` is a message, written as format_message writes
// its arguments.
struct Suggestion {
  std::string original;
  std::string replacement;
  std::string description;

  bool operator==(const Suggestion&) const = default;
};

// A 1-based line and column in the query.
struct Position {
  std::uint32_t line = 1;
  std::uint32_t column = 1;

  bool operator==(const Position&) const = default;
};

// One finding. Only Error diagnostics of the label, type and property codes carry a suggestion;
// only a ParseError carries a position.
struct ValidationDiagnostic {
  DiagnosticCode code = DiagnosticCode::ParseError;
  Severity severity = Severity::Error;
  std::string message;
  std::optional<Suggestion> suggestion;
  std::optional<Position> position;

  bool operator==(const ValidationDiagnostic&) const = default;
};

}  // namespace morvane::diagnostics
