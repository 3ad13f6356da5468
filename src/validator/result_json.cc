#include "validator/result_json.h"

#include <optional>
#include <string_view>

#include "validator/packed_result.h"

#include "error/utf8_escape.h"
#include "schema/json_writer.h"

namespace morvane::validator {
namespace {

using schema::write_json_string;
using schema::write_json_strings;

// A text of the query or the schema kept as it is in the result: the fixed query and a
// suggestion's original and replacement. Bytes in it that begin no well-formed UTF-8 sequence
// are written as \x{hex}, as the messages write them, so that the JSON text is valid UTF-8.
void write_query_text(std::string& out, std::string_view text) {
  write_json_string(out, escape_invalid_utf8(text));
}

void write_member(std::string& out, std::string_view name, std::string_view value) {
  out += ',';
  write_json_string(out, name);
  out += ':';
  write_json_string(out, value);
}

void write_query_member(std::string& out, std::string_view name, std::string_view value) {
  out += ',';
  write_json_string(out, name);
  out += ':';
  write_query_text(out, value);
}

// Members in name order: code, code_name, message, position_col, position_line, severity,
// suggestion_description, suggestion_original, suggestion_replacement.
void write_diagnostic(std::string& out, const DiagnosticView& diagnostic) {
  out += "{\"code\":";
  write_json_string(out, diagnostics::code(diagnostic.code));
  write_member(out, "code_name", diagnostics::code_name(diagnostic.code));
  write_member(out, "message", diagnostic.message);
  if (diagnostic.position) {
    out += ",\"position_col\":" + std::to_string(diagnostic.position->column);
    out += ",\"position_line\":" + std::to_string(diagnostic.position->line);
  }
  write_member(out, "severity", diagnostics::severity_text(diagnostic.severity));
  if (diagnostic.suggestion) {
    write_member(out, "suggestion_description", diagnostic.suggestion->description);
    write_query_member(out, "suggestion_original", diagnostic.suggestion->original);
    write_query_member(out, "suggestion_replacement", diagnostic.suggestion->replacement);
  }
  out += '}';
}

}  // namespace

std::string to_json(const PackedResult& result) {
  std::string out = "{\"diagnostics\":[";
  for (std::size_t i = 0; i < result.diagnostic_count(); ++i) {
    if (i > 0) out += ',';
    write_diagnostic(out, result.diagnostic(i));
  }
  out += "],\"errors\":";
  write_json_strings(out, result.errors());
  out += ",\"fixed_query\":";
  if (const std::optional<std::string_view> fixed = result.fixed_query()) {
    write_query_text(out, *fixed);
  } else {
    out += "null";
  }
  out += ",\"is_valid\":";
  out += result.is_valid() ? "true" : "false";
  out += ",\"semantic_errors\":";
  write_json_strings(out, result.semantic_errors());
  out += ",\"syntax_errors\":";
  write_json_strings(out, result.syntax_errors());
  out += ",\"warnings\":";
  write_json_strings(out, result.warnings());
  out += '}';
  return out;
}

std::string to_json(const PyValidationResult& result) {
  std::string block(PackedResult::size_of(result), '\0');
  PackedResult::pack(result, block.data());
  return to_json(PackedResult(block.data()));
}

}  // namespace morvane::validator
