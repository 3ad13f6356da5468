#include "validate_test_util.h"

#include <gtest/gtest.h>

#include "parser/parse.h"
#include "schema/schema_json.h"

namespace morvane::validator::testing {

using diagnostics::Severity;
using diagnostics::ValidationDiagnostic;

const Finding kScan{"W201",
                    "MATCH contains an unlabeled node with no WHERE clause; this will scan all "
                    "nodes in the graph"};
const Finding kCartesian{"W101",
                         "MATCH pattern contains disconnected parts that will produce a Cartesian "
                         "product; add a relationship or shared variable to connect them"};

Finding unbound(const std::string& name) {
  return {"E501", "Variable '" + name + "' is not bound in this scope"};
}

schema::Schema schema_from_json(std::string_view json) {
  auto schema = schema::deserialize(json);
  EXPECT_TRUE(schema.ok()) << json;
  return schema.ok() ? std::move(schema).value() : schema::Schema{};
}

std::string render(const std::vector<ValidationDiagnostic>& diagnostics) {
  std::string out;
  for (const ValidationDiagnostic& diagnostic : diagnostics) {
    out += std::string(diagnostics::code(diagnostic.code)) + " " +
           std::string(diagnostics::severity_text(diagnostic.severity)) + " " + diagnostic.message;
    if (diagnostic.suggestion) {
      out += " [" + diagnostic.suggestion->original + " -> " + diagnostic.suggestion->replacement +
             " | " + diagnostic.suggestion->description + "]";
    }
    if (diagnostic.position) {
      out += " @" + std::to_string(diagnostic.position->line) + ":" +
             std::to_string(diagnostic.position->column);
    }
    out += "\n";
  }
  return out;
}

std::string render(const std::vector<Finding>& findings) {
  std::string out;
  for (const Finding& finding : findings) {
    out += finding.code + (finding.code[0] == 'E' ? " error " : " warning ") + finding.message;
    if (finding.original) {
      // Labels and types are replaced with their colon; properties bare.
      std::string description =
          (*finding.original)[0] == ':'
              ? "Replace " + *finding.original + " with " + *finding.replacement
              : "Replace property '" + *finding.original + "' with '" + *finding.replacement + "'";
      out += " [" + *finding.original + " -> " + *finding.replacement + " | " + description + "]";
    }
    out += "\n";
  }
  return out;
}

void check_cases(std::string_view schema_json, const std::vector<Case>& cases) {
  Morvane morvane(schema_from_json(schema_json));
  for (const Case& row : cases) {
    SCOPED_TRACE(row.query);
    PyValidationResult result = morvane.validate(row.query);
    EXPECT_EQ(render(result.diagnostics), render(row.findings));

    std::vector<std::string_view> errors;
    std::vector<std::string_view> warnings;
    for (const ValidationDiagnostic& diagnostic : result.diagnostics) {
      (diagnostic.severity == Severity::Error ? errors : warnings).push_back(diagnostic.message);
    }
    EXPECT_EQ(result.errors(), errors);
    EXPECT_EQ(result.semantic_errors(), errors);
    EXPECT_TRUE(result.syntax_errors().empty());
    EXPECT_EQ(result.warnings(), warnings);
    EXPECT_EQ(result.is_valid, errors.empty());
    EXPECT_EQ(result.fixed_query, row.fixed_query);
    expect_fixed_query_parses(result);
  }
}

void expect_fixed_query_parses(const PyValidationResult& result) {
  if (!result.fixed_query) return;
  auto parsed = parser::parse_with_detail(*result.fixed_query);
  EXPECT_TRUE(parsed.ok()) << "fixed query " << *result.fixed_query << ": "
                           << (parsed.ok() ? "" : parsed.error().message);
}

}  // namespace morvane::validator::testing
