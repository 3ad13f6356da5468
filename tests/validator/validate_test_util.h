// Shared pieces of the validator suites: the schemas the cases are written against, and the
// expected findings of a query written as rows that print readably when they differ.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "diagnostics/diagnostic.h"
#include "schema/schema.h"
#include "validator/morvane.h"

namespace morvane::validator::testing {

// Labels Person (name, age) and Movie (title); ACTED_IN from Person to Movie with role.
inline constexpr std::string_view kMoviesSchema =
    R"({"nodes":{"Person":["name","age"],"Movie":["title"]},)"
    R"("relationships":{"ACTED_IN":["Person","Movie",["role"]]}})";
// Label Person (name, age); KNOWS from Person to Person with since.
inline constexpr std::string_view kPeopleSchema =
    R"({"nodes":{"Person":["name","age"]},"relationships":{"KNOWS":["Person","Person",["since"]]}})";
// Labels Person (name, age) and Movie (title); ACTED_IN from Person to Movie, no properties.
inline constexpr std::string_view kPipelineSchema =
    R"({"nodes":{"Person":["name","age"],"Movie":["title"]},)"
    R"("relationships":{"ACTED_IN":["Person","Movie",[]]}})";
// Labels Person (name, born), Movie (title), A, B, C and P (name); ACTED_IN from Person to Movie
// with roles, DIRECTED from Person to Movie, R from A to B and S from C to B.
inline constexpr std::string_view kFilmsSchema =
    R"({"nodes":{"Person":["name","born"],"Movie":["title"],"A":[],"B":[],"C":[],"P":["name"]},)"
    R"("relationships":{"ACTED_IN":["Person","Movie",["roles"]],"DIRECTED":["Person","Movie",[]],)"
    R"("R":["A","B",[]],"S":["C","B",[]]}})";
inline constexpr std::string_view kEmptySchema = R"({"nodes":{},"relationships":{}})";

// The schema of a JSON text the tests know to be well formed.
schema::Schema schema_from_json(std::string_view json);

// One expected finding: the code string, the whole message and, for fixable errors, the
// suggested (original, replacement). The severity follows from the code's letter and the
// suggestion's description from its kind, so both are checked too.
struct Finding {
  std::string code;
  std::string message;
  std::optional<std::string> original = std::nullopt;
  std::optional<std::string> replacement = std::nullopt;
};

// One line per diagnostic: "E201 error Unknown ... [:Persn -> :Person | Replace :Persn with
// :Person] @1:2", so that a mismatch shows the whole list on both sides.
std::string render(const std::vector<diagnostics::ValidationDiagnostic>& diagnostics);
std::string render(const std::vector<Finding>& findings);

// Findings several suites expect: W201, W101, and E501 for `name`.
extern const Finding kScan;
extern const Finding kCartesian;
Finding unbound(const std::string& name);

// The row of a validation table: the query, every finding in order, and the corrected query.
struct Case {
  std::string query;
  std::vector<Finding> findings;
  std::optional<std::string> fixed_query = std::nullopt;
};

// Validates every case against the schema and checks the whole result: the findings in order,
// the three message lists in step with them, is_valid, and fixed_query (which parses).
void check_cases(std::string_view schema_json, const std::vector<Case>& cases);

// Fails the test when `result` has a fixed query that does not parse.
void expect_fixed_query_parses(const PyValidationResult& result);

}  // namespace morvane::validator::testing
