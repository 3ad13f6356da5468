#include "diagnostics/diagnostic.h"

#include <array>
#include <cassert>

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
constexpr std::array<CodeRow, kDiagnosticCodeCount> kCodes = {{
    {"E101", "ParseError", Severity::Error, "{}"},
    {"E201", "UnknownNodeLabel", Severity::Error, "Unknown node label: :{}{}"},
    {"E202", "UnknownNodeLabelInSet", Severity::Error, "Unknown node label in SET: :{}{}"},
    {"E203", "UnknownNodeLabelInRemove", Severity::Error, "Unknown node label in REMOVE: :{}{}"},
    {"E211", "UnknownRelType", Severity::Error, "Unknown relationship type: :{}{}"},
    {"E301", "UnknownNodeProperty", Severity::Error,
     "Unknown property '{}' for node label :{}{}"},
    {"E302", "UnknownRelProperty", Severity::Error,
     "Unknown property '{}' for relationship type :{}{}"},
    {"E303", "UnknownNodePropertyOnVar", Severity::Error,
     "Unknown property '{}' on variable '{}' with label :{}{}"},
    {"E304", "UnknownRelPropertyOnVar", Severity::Error,
     "Unknown property '{}' on variable '{}' with relationship type :{}{}"},
    {"E401", "WrongEndpointLabel", Severity::Error,
     "Relationship :{} expects {} label :{}, but node has label(s): {}"},
    {"E501", "UnboundVariable", Severity::Error, "Variable '{}' is not bound in this scope"},
    {"E502", "DuplicateProjectionName", Severity::Error,
     "Duplicate projection name '{}' in RETURN/WITH"},
    {"E601", "AggregateStringArg", Severity::Error,
     "Aggregate function {}() received a string literal; expected a numeric expression"},
    {"E602", "AggregateInForbiddenContext", Severity::Error,
     "Aggregate function not allowed in {} context; aggregates are only valid in RETURN, WITH, "
     "or ORDER BY"},
    {"E611", "PaginationTypeString", Severity::Error,
     "{} expression must be an integer, got a string literal"},
    {"E612", "PaginationTypeBool", Severity::Error,
     "{} expression must be an integer, got a boolean literal"},
    {"E613", "PaginationTypeNull", Severity::Error, "{} expression must be an integer, got NULL"},
    {"E614", "PaginationTypeFloat", Severity::Error,
     "{} expression must be an integer, got a float literal"},
    {"E603", "WrongArity", Severity::Error, "Function {}() expects {} argument(s), got {}"},
    {"W101", "CartesianProduct", Severity::Warning,
     "MATCH pattern contains disconnected parts that will produce a Cartesian product; add a "
     "relationship or shared variable to connect them"},
    {"W103", "UnknownFunction", Severity::Warning,
     "Unknown function {}(); if this is a user-defined function, ignore this warning"},
    {"W104", "DistinctOnNonAggregate", Severity::Warning,
     "DISTINCT is used with non-aggregate function {}(); DISTINCT only has meaning with "
     "aggregate functions"},
    {"W201", "UnlabeledFullScan", Severity::Warning,
     "MATCH contains an unlabeled node with no WHERE clause; this will scan all nodes in the "
     "graph"},
    {"W202", "UnboundedVarLength", Severity::Warning,
     "Variable-length relationship without an upper bound ([*] or [*n..]) may cause unbounded "
     "traversal"},
}};
static_assert(kCodes.size() == static_cast<std::size_t>(DiagnosticCode::UnboundedVarLength) + 1,
              "one row per DiagnosticCode");

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

std::string_view message_template(DiagnosticCode kind) { return row(kind).message; }

std::string format_message(DiagnosticCode kind, std::initializer_list<std::string_view> args) {
  std::string_view text = row(kind).message;
  std::string out;
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
