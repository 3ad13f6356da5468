#include "diagnostics/diagnostic.h"

#include <cassert>
#include <iterator>

#include "error/utf8_escape.h"

namespace morvane::diagnostics {
namespace {

struct CodeRow {
  std::string_view code;
  std::string_view name;
  Severity severity;
  std::string_view message;
};

// One row per DiagnosticCode, in index order.
constexpr CodeRow kCodes[] = {
#define MORVANE_DIAGNOSTIC(name, code, severity, message) \
  {code, #name, Severity::severity, message},
#include "diagnostics/diagnostic_codes.def"
};
static_assert(std::size(kCodes) == kDiagnosticCodeCount, "one row per DiagnosticCode");

constexpr bool severities_follow_letters() {
  for (const CodeRow& entry : kCodes) {
    if ((entry.code[0] == 'E') != (entry.severity == Severity::Error)) return false;
  }
  return true;
}
static_assert(severities_follow_letters(), "E codes are errors and W codes warnings");

const CodeRow& row(DiagnosticCode kind) { return kCodes[static_cast<std::size_t>(kind)]; }

}  // namespace

std::string_view severity_text(Severity severity) {
  switch (severity) {
    case Severity::Error: return "error";
    case Severity::Warning: return "warning";
  }
  return "error";
}

std::string_view code(DiagnosticCode kind) { return row(kind).code; }

std::string_view code_name(DiagnosticCode kind) { return row(kind).name; }

Severity severity(DiagnosticCode kind) { return row(kind).severity; }

std::string format_message(DiagnosticCode kind, std::initializer_list<std::string_view> args) {
  std::string_view text = row(kind).message;
  std::size_t size = text.size();
  for (std::string_view arg : args) size += arg.size();
  std::string out;
  out.reserve(size);  // exact unless an argument needs escapes
  const std::string_view* arg = args.begin();
  std::size_t from = 0;
  for (std::size_t at = text.find("{}"); at != std::string_view::npos;
       at = text.find("{}", from)) {
    assert(arg != args.end() && "fewer arguments than placeholders");
    out.append(text, from, at - from);
    if (arg != args.end()) append_escaping_invalid_utf8(out, *arg++);
    from = at + 2;
  }
  assert(arg == args.end() && "more arguments than placeholders");
  out.append(text, from);
  return out;
}

}  // namespace morvane::diagnostics
