// Diagnostic codes and their texts, and the name suggestions built on the bounded edit distance.
#include "diagnostics/diagnostic.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "diagnostics/suggest.h"

namespace morvane::diagnostics {
namespace {

TEST(DiagnosticCodes, CodesNamesAndSeveritiesInIndexOrder) {
  struct Row {
    std::string_view code, name;
    Severity severity;
  };
  const Row rows[kDiagnosticCodeCount] = {
      {"E101", "ParseError", Severity::Error},
      {"E201", "UnknownNodeLabel", Severity::Error},
      {"E202", "UnknownNodeLabelInSet", Severity::Error},
      {"E203", "UnknownNodeLabelInRemove", Severity::Error},
      {"E211", "UnknownRelType", Severity::Error},
      {"E301", "UnknownNodeProperty", Severity::Error},
      {"E302", "UnknownRelProperty", Severity::Error},
      {"E303", "UnknownNodePropertyOnVar", Severity::Error},
      {"E304", "UnknownRelPropertyOnVar", Severity::Error},
      {"E401", "WrongEndpointLabel", Severity::Error},
      {"E501", "UnboundVariable", Severity::Error},
      {"E502", "DuplicateProjectionName", Severity::Error},
      {"E601", "AggregateStringArg", Severity::Error},
      {"E602", "AggregateInForbiddenContext", Severity::Error},
      {"E611", "PaginationTypeString", Severity::Error},
      {"E612", "PaginationTypeBool", Severity::Error},
      {"E613", "PaginationTypeNull", Severity::Error},
      {"E614", "PaginationTypeFloat", Severity::Error},
      {"E603", "WrongArity", Severity::Error},
      {"W101", "CartesianProduct", Severity::Warning},
      {"W103", "UnknownFunction", Severity::Warning},
      {"W104", "DistinctOnNonAggregate", Severity::Warning},
      {"W201", "UnlabeledFullScan", Severity::Warning},
      {"W202", "UnboundedVarLength", Severity::Warning},
  };
  for (std::size_t i = 0; i < kDiagnosticCodeCount; ++i) {
    DiagnosticCode kind = static_cast<DiagnosticCode>(i);
    EXPECT_EQ(code(kind), rows[i].code) << "index " << i;
    EXPECT_EQ(code_name(kind), rows[i].name) << "index " << i;
    EXPECT_EQ(severity(kind), rows[i].severity) << "index " << i;
  }
  EXPECT_EQ(severity_text(Severity::Error), "error");
  EXPECT_EQ(severity_text(Severity::Warning), "warning");
}

TEST(DiagnosticCodes, MessagesFillPlaceholdersInOrder) {
  struct Row {
    DiagnosticCode kind;
    std::vector<std::string_view> args;
    std::string_view message;
  };
  using C = DiagnosticCode;
  const Row rows[] = {
      {C::ParseError, {"a {} b"}, "a {} b"},
      {C::UnknownNodeLabel, {"Persn", ", did you mean :Person?"},
       "Unknown node label: :Persn, did you mean :Person?"},
      {C::UnknownNodeLabel, {"Xyz", ""}, "Unknown node label: :Xyz"},
      {C::UnknownNodeLabelInSet, {"L", ""}, "Unknown node label in SET: :L"},
      {C::UnknownNodeLabelInRemove, {"L", ""}, "Unknown node label in REMOVE: :L"},
      {C::UnknownRelType, {"ACTED", ", did you mean :ACTED_IN?"},
       "Unknown relationship type: :ACTED, did you mean :ACTED_IN?"},
      {C::UnknownNodeProperty, {"nme", "Person", ", did you mean .name?"},
       "Unknown property 'nme' for node label :Person, did you mean .name?"},
      {C::UnknownRelProperty, {"rol", "ACTED_IN", ""},
       "Unknown property 'rol' for relationship type :ACTED_IN"},
      {C::UnknownNodePropertyOnVar, {"nme", "p", "Person", ", did you mean .name?"},
       "Unknown property 'nme' on variable 'p' with label :Person, did you mean .name?"},
      {C::UnknownRelPropertyOnVar, {"x", "r", "KNOWS", ""},
       "Unknown property 'x' on variable 'r' with relationship type :KNOWS"},
      {C::WrongEndpointLabel, {"ACTED_IN", "target", "Movie", ":Person, :Actor"},
       "Relationship :ACTED_IN expects target label :Movie, but node has label(s): :Person, "
       ":Actor"},
      {C::UnboundVariable, {"q"}, "Variable 'q' is not bound in this scope"},
      {C::DuplicateProjectionName, {"c"}, "Duplicate projection name 'c' in RETURN/WITH"},
      {C::AggregateStringArg, {"SUM"},
       "Aggregate function SUM() received a string literal; expected a numeric expression"},
      {C::AggregateInForbiddenContext, {"MATCH WHERE"},
       "Aggregate function not allowed in MATCH WHERE context; aggregates are only valid in "
       "RETURN, WITH, or ORDER BY"},
      {C::PaginationTypeString, {"SKIP"},
       "SKIP expression must be an integer, got a string literal"},
      {C::PaginationTypeBool, {"LIMIT"},
       "LIMIT expression must be an integer, got a boolean literal"},
      {C::PaginationTypeNull, {"LIMIT"}, "LIMIT expression must be an integer, got NULL"},
      {C::PaginationTypeFloat, {"SKIP"}, "SKIP expression must be an integer, got a float literal"},
      {C::WrongArity, {"size", "1", "2"}, "Function size() expects 1 argument(s), got 2"},
      {C::WrongArity, {"substring", "2-3", "1"},
       "Function substring() expects 2-3 argument(s), got 1"},
      {C::CartesianProduct, {},
       "MATCH pattern contains disconnected parts that will produce a Cartesian product; add a "
       "relationship or shared variable to connect them"},
      {C::UnknownFunction, {"myFn"},
       "Unknown function myFn(); if this is a user-defined function, ignore this warning"},
      {C::DistinctOnNonAggregate, {"toUpper"},
       "DISTINCT is used with non-aggregate function toUpper(); DISTINCT only has meaning with "
       "aggregate functions"},
      {C::UnlabeledFullScan, {},
       "MATCH contains an unlabeled node with no WHERE clause; this will scan all nodes in the "
       "graph"},
      {C::UnboundedVarLength, {},
       "Variable-length relationship without an upper bound ([*] or [*n..]) may cause unbounded "
       "traversal"},
  };
  for (const Row& row : rows) {
    std::string message;
    switch (row.args.size()) {
      case 0: message = format_message(row.kind, {}); break;
      case 1: message = format_message(row.kind, {row.args[0]}); break;
      case 2: message = format_message(row.kind, {row.args[0], row.args[1]}); break;
      case 3: message = format_message(row.kind, {row.args[0], row.args[1], row.args[2]}); break;
      default:
        message = format_message(row.kind, {row.args[0], row.args[1], row.args[2], row.args[3]});
    }
    EXPECT_EQ(message, row.message) << code(row.kind);
    EXPECT_NE(message.back(), '.') << code(row.kind);
  }
}

using Candidates = std::vector<std::string_view>;

TEST(ClosestMatch, DistanceThresholdTiesAndCase) {
  struct Row {
    std::string_view target;
    Candidates candidates;
    std::optional<std::string_view> best;
  };
  const Row rows[] = {
      {"persn", {"Movie", "Person"}, "Person"},
      {"PERSON", {"Person"}, "Person"},
      {"Actor", {"Movie", "Person"}, std::nullopt},
      {"ab", {"abcdef"}, std::nullopt},  // length filter (difference 4)
      {"ab", {"abcde"}, "abcde"},        // difference 3, distance 3
      {"abcdefgh", {"abcdwxyz"}, std::nullopt},  // distance 4
      {"abcdefgh", {"abcdexyz"}, "abcdexyz"},    // distance 3
      {"cat", {"bat", "cab"}, "bat"},            // equally close: the first wins
      {"cat", {"dog", "cab", "cat"}, "cat"},     // a strictly smaller distance replaces
      {"cat", {"CAT", "cat"}, "CAT"},            // case-only differences are distance 0
      {"name", {}, std::nullopt},
      {"", {"abcd", "abc"}, "abc"},              // empty target: distance = candidate length
      {"abc", {""}, std::optional<std::string_view>("")},  // empty candidate: distance 3
      {"abcd", {""}, std::nullopt},
      // Rows whose minimum is exactly 3 go on: "xyzab" vs "ab" ends at distance 3.
      {"xyzab", {"ab"}, "ab"},
      {"title", {"age", "name", "titel"}, "titel"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(closest_match(row.target, row.candidates), row.best) << "target " << row.target;
  }
}

TEST(ClosestMatch, LowerCasesFullUnicodeAndCountsBytes) {
  struct Row {
    std::string_view target;
    Candidates candidates;
    std::optional<std::string_view> best;
  };
  const Row rows[] = {
      {"\xc3\x89TAT", {"\xc3\xa9tat"}, "\xc3\xa9tat"},          // ÉTAT / état
      {"\xce\xa3\xce\x9f\xce\xa6\xce\x99\xce\x91", {"\xcf\x83\xce\xbf\xcf\x86\xce\xb9\xce\xb1"},
       "\xcf\x83\xce\xbf\xcf\x86\xce\xb9\xce\xb1"},             // ΣΟΦΙΑ / σοφια
      {"stra\xc3\x9f" "e", {"STRASSE"}, "STRASSE"},             // ß stays ß: 2 bytes vs "ss"
      {"stra\xc3\x9f" "e", {"STRAS"}, "STRAS"},                 // distance 3 in bytes
      {"\xc4\xb0stanbul", {"istanbul"}, "istanbul"},            // İ lowers to i + U+0307
      // "é" and "è" differ in one byte, "é" and "e" in two.
      {"caf\xc3\xa9", {"cafe", "caf\xc3\xa8"}, "caf\xc3\xa8"},
      {"\xe6\x97\xa5\xe6\x9c\xac", {"\xe4\xb8\xad\xe5\x9b\xbd"}, std::nullopt},  // 6 bytes apart
      {"\xe6\x97\xa5", {"\xe6\x9c\xac"}, "\xe6\x9c\xac"},       // 2 bytes differ
  };
  for (const Row& row : rows) {
    EXPECT_EQ(closest_match(row.target, row.candidates), row.best) << "target " << row.target;
  }
}

TEST(ClosestMatch, ReturnsTheCandidatesOwnString) {
  const std::vector<std::string> owned = {"Movie", "Person"};
  auto best = closest_match("PERSN", owned);
  ASSERT_TRUE(best);
  EXPECT_EQ(best->data(), owned[1].data());
}

TEST(Suggestions, LabelAndPropertyForms) {
  const Candidates labels = {"Movie", "Person"};
  const Candidates properties = {"age", "name"};
  EXPECT_EQ(label_suggestion("Persn", labels),
            (Suggestion{":Persn", ":Person", "Replace :Persn with :Person"}));
  EXPECT_EQ(property_suggestion("nme", properties),
            (Suggestion{"nme", "name", "Replace property 'nme' with 'name'"}));
  EXPECT_EQ(label_suggestion("movie", std::vector<std::string>{"Movie"}),
            (Suggestion{":movie", ":Movie", "Replace :movie with :Movie"}));
  EXPECT_EQ(label_suggestion("Xyz", labels), std::nullopt);
  EXPECT_EQ(property_suggestion("zzzzz", properties), std::nullopt);
  EXPECT_EQ(property_suggestion("nme", Candidates{}), std::nullopt);
}

TEST(Suggestions, HintText) {
  EXPECT_EQ(suggestion_hint(":", "Person"), ", did you mean :Person?");
  EXPECT_EQ(suggestion_hint(".", "name"), ", did you mean .name?");
  EXPECT_EQ(suggestion_hint(":", std::nullopt), "");
}

}  // namespace
}  // namespace morvane::diagnostics
