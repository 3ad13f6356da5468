// The findings of validation as data: a code, its severity, the rendered message, an optional
// textual fix and, for parse errors only, a position. Every code has one row in
// diagnostic_codes.def (code string, name, severity, message template); `format_message` is the
// only place message text is made from it.
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

// The 24 kinds of finding, in their fixed index order (listed once, in diagnostic_codes.def,
// whose rows also say what each message's {} receive).
enum class DiagnosticCode : std::uint8_t {
#define MORVANE_DIAGNOSTIC(name, code, severity, message) name,
#include "diagnostics/diagnostic_codes.def"
};

inline constexpr std::size_t kDiagnosticCodeCount = 0
#define MORVANE_DIAGNOSTIC(name, code, severity, message) +1
#include "diagnostics/diagnostic_codes.def"
    ;
static_assert(kDiagnosticCodeCount == 24, "diagnostic_codes.def lists the 24 codes");

// The four-character code, e.g. "E201".
std::string_view code(DiagnosticCode kind);
// The kind's name, e.g. "UnknownNodeLabel".
std::string_view code_name(DiagnosticCode kind);
// Error for E codes, Warning for W codes.
Severity severity(DiagnosticCode kind);

// The message of `kind` with each "{}" replaced by the next of `args`, in order. The caller
// passes exactly as many arguments as the template has placeholders (see diagnostic_codes.def);
// a hint argument is `suggestion_hint(...)` from suggest.h, possibly empty. Arguments echo the
// query: a byte in them that begins no well-formed UTF-8 sequence is written as \x{hex}.
std::string format_message(DiagnosticCode kind, std::initializer_list<std::string_view> args);

// A proposed textual fix: replace `original` with `replacement` in the query. `original` is
// the query's text as written; `description` is a message, written as format_message writes
// its arguments.
//
// Where the fix goes: bytes [name_begin, name_end) of the query hold the name the finding is
// about, as written, and `original` ends with it (a label's or type's `original` and
// `replacement` both begin with the colon written before the name, a property's with nothing).
// The auto-correction puts there what follows that same beginning in `replacement`.
struct Suggestion {
  std::string original;
  std::string replacement;
  std::string description;
  std::uint32_t name_begin = 0;
  std::uint32_t name_end = 0;

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
