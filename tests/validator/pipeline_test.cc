// The validation pipeline: parse failures as one E101, the result's lists, the auto-corrected
// query, the result's JSON text, its packed form, and validation from many threads at once.
#include <gtest/gtest.h>
#include <pthread.h>

#include <string>
#include <thread>
#include <vector>

#include "corpus.h"
#include "parser/parse.h"
#include "parser/recognizer.h"
#include "validate_test_util.h"
#include "validator/autocorrect.h"
#include "validator/packed_result.h"
#include "validator/result_json.h"

namespace morvane::validator::testing {
namespace {

using diagnostics::DiagnosticCode;
using diagnostics::Severity;

const Finding kPersn{"E201", "Unknown node label: :Persn, did you mean :Person?", ":Persn",
                     ":Person"};

TEST(Pipeline, ParseFailureIsOneParseError) {
  struct Row {
    std::string query;
    std::optional<diagnostics::Position> position;
  };
  const Row rows[] = {
      {"RETURN 1 +", diagnostics::Position{1, 11}},
      {"", diagnostics::Position{1, 1}},
      {"MATCH (n:Person)\nRETURN n.", diagnostics::Position{2, 10}},
      {"RETURN 'é', ", diagnostics::Position{1, 13}},
  };
  Morvane morvane(schema_from_json(kPipelineSchema));
  for (const Row& row : rows) {
    SCOPED_TRACE(row.query);
    auto detail = parser::parse_with_detail(row.query);
    ASSERT_FALSE(detail.ok());
    PyValidationResult result = morvane.validate(row.query);
    EXPECT_FALSE(result.is_valid);
    EXPECT_EQ(result.errors(), std::vector<std::string_view>{detail.error().message});
    EXPECT_EQ(result.syntax_errors(), result.errors());
    EXPECT_TRUE(result.semantic_errors().empty());
    EXPECT_TRUE(result.warnings().empty());
    EXPECT_EQ(result.fixed_query, std::nullopt);
    ASSERT_EQ(result.diagnostics.size(), 1u);
    const diagnostics::ValidationDiagnostic& diagnostic = result.diagnostics[0];
    EXPECT_EQ(diagnostic.code, DiagnosticCode::ParseError);
    EXPECT_EQ(diagnostic.severity, Severity::Error);
    EXPECT_EQ(diagnostic.message, detail.error().message);
    EXPECT_EQ(diagnostic.suggestion, std::nullopt);
    EXPECT_EQ(diagnostic.position, row.position);
  }
}

TEST(Pipeline, ValidityAndAutoCorrection) {
  check_cases(
      kPipelineSchema,
      {
          {"MATCH (n) RETURN n", {kScan}},
          {"MATCH (p:Person) RETURN p", {}},
          {"CALL db.labels()", {}},
          {"RETURN toLower(DISTINCT 'A')",
           {{"W104",
             "DISTINCT is used with non-aggregate function toLower(); DISTINCT only has meaning "
             "with aggregate functions"}}},
          {"MATCH (p:Persn) RETURN p", {kPersn}, "MATCH (p:Person) RETURN p"},
          // Two findings with the same suggestion make one pair; every occurrence is replaced.
          {"MATCH (a:Persn), (b:Persn) RETURN a, b", {kPersn, kPersn, kCartesian},
           "MATCH (a:Person), (b:Person) RETURN a, b"},
          // Persn is undeclared, so p's labels give no property checks.
          {"MATCH (p:Persn) RETURN p.nme", {kPersn}, "MATCH (p:Person) RETURN p.nme"},
          // One error without a suggestion prevents the correction.
          {"MATCH (p:Person) RETURN p.nme, q",
           {{"E303",
             "Unknown property 'nme' on variable 'p' with label :Person, did you mean .name?",
             "nme", "name"},
            {"E501", "Variable 'q' is not bound in this scope"}}},
          {"MATCH (p:Xyz) RETURN p", {{"E201", "Unknown node label: :Xyz"}}},
          // Longer originals are replaced first.
          {"MATCH (p:Person {nme: 'x'}) RETURN p.agee",
           {{"E301", "Unknown property 'nme' for node label :Person, did you mean .name?", "nme",
             "name"},
            {"E303",
             "Unknown property 'agee' on variable 'p' with label :Person, did you mean .age?",
             "agee", "age"}},
           "MATCH (p:Person {name: 'x'}) RETURN p.age"},
          // Only the flagged name changes, not the same text in a string or a longer name.
          {"MATCH (p:Person) WHERE p.nme = 'nmeX' RETURN p",
           {{"E303",
             "Unknown property 'nme' on variable 'p' with label :Person, did you mean .name?",
             "nme", "name"}},
           "MATCH (p:Person) WHERE p.name = 'nmeX' RETURN p"},
          // Warnings do not prevent the correction.
          {"MATCH (p:Persn), (q) RETURN myfn(p)",
           {kPersn, kCartesian, kScan,
            {"W103",
             "Unknown function myfn(); if this is a user-defined function, ignore this warning"}},
           "MATCH (p:Person), (q) RETURN myfn(p)"},
          // Different replacements of one original are separate pairs, applied in order.
          {"MATCH (p:Persn) SET p:Persn", {kPersn, {"E202",
            "Unknown node label in SET: :Persn, did you mean :Person?", ":Persn", ":Person"}},
           "MATCH (p:Person) SET p:Person"},
      });
}

// The correction from the findings' places alone: repeats of one place, different replacements
// of one place, findings out of query order, and places that do not fit the query.
TEST(Pipeline, AutoCorrectionEditsThePlacesGiven) {
  // A fix of `original` (":" and the name, or the name alone) whose name is at `at`.
  auto fix = [](std::string original, std::string replacement, std::uint32_t at) {
    diagnostics::ValidationDiagnostic d;
    d.code = DiagnosticCode::UnknownNodeLabel;
    const std::uint32_t colon = original[0] == ':' ? 1 : 0;
    d.suggestion = diagnostics::Suggestion{original, replacement, "fix", at,
                                           at + static_cast<std::uint32_t>(original.size()) - colon};
    return d;
  };
  const std::string query = "MATCH (a:Persn), (b:Persn) RETURN a.nme";
  //                          0123456789012345678901234567890123456789
  const auto first = fix(":Persn", ":Person", 9);
  const auto second = fix(":Persn", ":Person", 20);
  const auto key = fix("nme", "name", 36);
  struct Row {
    std::string name;
    std::vector<diagnostics::ValidationDiagnostic> findings;
    std::optional<std::string> fixed;
  };
  const Row rows[] = {
      {"in order", {first, second, key}, "MATCH (a:Person), (b:Person) RETURN a.name"},
      {"out of order", {key, second, first}, "MATCH (a:Person), (b:Person) RETURN a.name"},
      {"one place twice", {first, first, key}, "MATCH (a:Person), (b:Persn) RETURN a.name"},
      {"the first of two replacements wins",
       {key, fix(":Persn", ":Movie", 9), first}, "MATCH (a:Movie), (b:Persn) RETURN a.name"},
      {"a place past the end", {fix("nme", "name", 38)}, std::nullopt},
      {"a place holding another name", {fix(":Persn", ":Person", 10)}, std::nullopt},
      {"a replacement without the colon", {fix(":Persn", "Person", 9)}, std::nullopt},
      {"overlapping places", {first, fix(":Pe", ":Pa", 9)}, std::nullopt},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(auto_correct(query, row.findings), row.fixed) << row.name;
  }

  // Very many fixes, repeated or distinct, cost one pass over the query.
  std::string many = "MATCH (n";
  std::string fixed = "MATCH (n";
  std::vector<diagnostics::ValidationDiagnostic> findings;
  for (int i = 0; i < 100000; ++i) {
    const std::string label = "A" + std::to_string(i);
    findings.push_back(fix(":" + label, ":B" + std::to_string(i),
                           static_cast<std::uint32_t>(many.size() + 1)));
    many += ":" + label;
    fixed += ":B" + std::to_string(i);
  }
  std::vector<diagnostics::ValidationDiagnostic> twice(findings.rbegin(), findings.rend());
  twice.insert(twice.end(), findings.begin(), findings.end());
  EXPECT_EQ(auto_correct(many + ") RETURN n", twice), fixed + ") RETURN n");
}

TEST(Pipeline, ResultJson) {
  Morvane morvane(schema_from_json(R"({"nodes":{"Person":[]},"relationships":{}})"));
  struct Row {
    std::string query;
    std::string json;
  };
  const Row rows[] = {
      {"MATCH (p:Persn) RETURN p",
       R"({"diagnostics":[{"code":"E201","code_name":"UnknownNodeLabel",)"
       R"("message":"Unknown node label: :Persn, did you mean :Person?","severity":"error",)"
       R"("suggestion_description":"Replace :Persn with :Person","suggestion_original":":Persn",)"
       R"("suggestion_replacement":":Person"}],)"
       R"("errors":["Unknown node label: :Persn, did you mean :Person?"],)"
       R"("fixed_query":"MATCH (p:Person) RETURN p","is_valid":false,)"
       R"("semantic_errors":["Unknown node label: :Persn, did you mean :Person?"],)"
       R"("syntax_errors":[],"warnings":[]})"},
      {"RETURN 1",
       R"({"diagnostics":[],"errors":[],"fixed_query":null,"is_valid":true,)"
       R"("semantic_errors":[],"syntax_errors":[],"warnings":[]})"},
      {"MATCH (n) RETURN n",
       R"({"diagnostics":[{"code":"W201","code_name":"UnlabeledFullScan","message":"MATCH )"
       R"(contains an unlabeled node with no WHERE clause; this will scan all nodes in the )"
       R"(graph","severity":"warning"}],"errors":[],"fixed_query":null,"is_valid":true,)"
       R"("semantic_errors":[],"syntax_errors":[],"warnings":["MATCH contains an unlabeled )"
       R"(node with no WHERE clause; this will scan all nodes in the graph"]})"},
      // Control characters are escaped, other characters written as they are.
      {"MATCH (p:`Pé\"\\\t\x01/`) RETURN p",
       R"({"diagnostics":[{"code":"E201","code_name":"UnknownNodeLabel",)"
       R"("message":"Unknown node label: :`Pé\"\\\t\u0001/`","severity":"error"}],)"
       R"("errors":["Unknown node label: :`Pé\"\\\t\u0001/`"],"fixed_query":null,)"
       R"("is_valid":false,"semantic_errors":["Unknown node label: :`Pé\"\\\t\u0001/`"],)"
       R"("syntax_errors":[],"warnings":[]})"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.query);
    EXPECT_EQ(to_json(morvane.validate(row.query)), row.json);
  }

  // A parse error's position sits between the message and the severity.
  std::string json = to_json(morvane.validate("RETURN 1 +"));
  EXPECT_NE(json.find(R"(","position_col":11,"position_line":1,"severity":"error"})"),
            std::string::npos)
      << json;
}

// Operator and property chains fold to the left, so their trees are as deep as they are long;
// the walk must not recurse along them.
TEST(Pipeline, LongChainsAreWalkedWithoutRecursion) {
  std::string sum;
  std::string chain;
  for (int i = 0; i < 30000; ++i) {
    sum += " + count(p)";
    chain += ".x";
  }
  std::string unbound_sum = "RETURN q";
  for (int i = 0; i < 30000; ++i) unbound_sum += " + q";
  Morvane morvane(schema_from_json(kPipelineSchema));

  PyValidationResult result =
      morvane.validate("MATCH (p:Person) WHERE p.age" + sum + " > 1 RETURN p.name" + chain);
  ASSERT_EQ(result.diagnostics.size(), 1u) << result.diagnostics[0].message;
  EXPECT_EQ(result.diagnostics[0].code, DiagnosticCode::AggregateInForbiddenContext);

  result = morvane.validate(unbound_sum);
  EXPECT_EQ(result.error_count(), 30001u);
  EXPECT_EQ(result.diagnostics.size(), 30001u);
}

// Batch workers run with 2 MiB stacks. Queries nested as deep as the recognizer accepts, and
// one level deeper, validate there without exhausting the stack.
TEST(Pipeline, DeepestAcceptedNestingValidatesOnA2MiBThread) {
  struct Shape {
    const char* open;
    const char* inner;
    const char* close;
    const char* prefix;
    const char* suffix;
  };
  const Shape shapes[] = {
      {"FOREACH (x IN xs | ", "SET x.name = 1", ")", "", ""},
      {"CALL { ", "MATCH (p:Person) RETURN p", " }", "", " RETURN 1"},
      {"(", "p.name", ")", "MATCH (p:Person) RETURN ", ""},
      {"[x IN ", "[p.name]", " | x]", "MATCH (p:Person) RETURN ", ""},
      {"COUNT { MATCH (p:Person) WHERE ", "p.age > 1", " }", "RETURN ", ""},
      {"EXISTS { (p:Person {name: ", "1", "}) }", "MATCH (q) WHERE ", " RETURN q"},
      {"CASE WHEN ", "true", " THEN 1 END", "RETURN ", ""},
  };
  auto nested = [](const Shape& shape, int levels) {
    std::string query = shape.prefix;
    for (int i = 0; i < levels; ++i) query += shape.open;
    query += shape.inner;
    for (int i = 0; i < levels; ++i) query += shape.close;
    return query + shape.suffix;
  };
  // The deepest accepted query of each shape, and the one a level deeper.
  std::vector<std::string> queries;
  parser::Recognizer recognizer;
  for (const Shape& shape : shapes) {
    int accepted = 1;
    int refused = static_cast<int>(parser::kMaxRuleDepth);
    ASSERT_TRUE(recognizer.parse(nested(shape, accepted))) << shape.open;
    ASSERT_FALSE(recognizer.parse(nested(shape, refused))) << shape.open;
    while (refused - accepted > 1) {
      const int middle = (accepted + refused) / 2;
      (recognizer.parse(nested(shape, middle)) ? accepted : refused) = middle;
    }
    recognizer.parse(nested(shape, refused));
    ASSERT_EQ(recognizer.error().kind, parser::SyntaxError::Kind::kTooDeep) << shape.open;
    queries.push_back(nested(shape, accepted));
    queries.push_back(nested(shape, refused));
  }

  struct Job {
    const Morvane* morvane;
    const std::vector<std::string>* queries;
    std::vector<PyValidationResult> results;
  };
  Morvane morvane(schema_from_json(kPipelineSchema));
  Job job{&morvane, &queries, {}};
  pthread_attr_t attr;
  ASSERT_EQ(pthread_attr_init(&attr), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attr, 2 << 20), 0);
  pthread_t thread;
  auto run = [](void* arg) -> void* {
    auto* job = static_cast<Job*>(arg);
    for (const std::string& query : *job->queries) {
      job->results.push_back(job->morvane->validate(query));
    }
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attr, run, &job), 0);
  ASSERT_EQ(pthread_join(thread, nullptr), 0);
  pthread_attr_destroy(&attr);

  ASSERT_EQ(job.results.size(), queries.size());
  for (std::size_t i = 0; i < queries.size(); i += 2) {
    SCOPED_TRACE(queries[i].substr(0, 60));
    EXPECT_TRUE(job.results[i].syntax_errors().empty());
    ASSERT_EQ(job.results[i + 1].syntax_errors().size(), 1u);
    EXPECT_NE(job.results[i + 1].syntax_errors()[0].find("query nested deeper than"),
              std::string::npos);
  }
}

// Over the corpus: the result is consistent with itself, and validating from several threads
// at once on one Morvane gives the results of validating one query after another.
TEST(Pipeline, CorpusResultsAreConsistentAndThreadIndependent) {
  std::vector<std::string> queries;
  ASSERT_TRUE(bench::load_corpus(MORVANE_CORPUS_PATH, queries));
  ASSERT_FALSE(queries.empty());
  Morvane morvane(schema_from_json(kMoviesSchema));

  std::vector<PyValidationResult> sequential;
  for (const std::string& query : queries) sequential.push_back(morvane.validate(query));
  for (std::size_t i = 0; i < queries.size(); ++i) {
    SCOPED_TRACE(queries[i]);
    const PyValidationResult& result = sequential[i];
    EXPECT_EQ(result.is_valid, result.error_count() == 0);
    std::size_t errors = 0;
    bool all_fixable = true;
    for (const diagnostics::ValidationDiagnostic& diagnostic : result.diagnostics) {
      if (diagnostic.severity != Severity::Error) {
        EXPECT_EQ(diagnostic.suggestion, std::nullopt);
        continue;
      }
      ++errors;
      all_fixable = all_fixable && diagnostic.suggestion.has_value();
    }
    EXPECT_EQ(errors, result.error_count());
    EXPECT_EQ(result.errors().size(), errors);
    EXPECT_EQ(result.semantic_errors().size() + result.syntax_errors().size(), errors);
    EXPECT_EQ(result.warnings().size(), result.diagnostics.size() - errors);
    EXPECT_EQ(result.fixed_query.has_value(), errors > 0 && all_fixable);
    expect_fixed_query_parses(result);
  }

  constexpr int kThreads = 4;
  std::vector<std::vector<PyValidationResult>> parallel(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (const std::string& query : queries) parallel[t].push_back(morvane.validate(query));
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_TRUE(parallel[t] == sequential) << "thread " << t;
}

// The packed result, read back, is the result that was packed, wherever its block lies.
void expect_packed_as(const PyValidationResult& result, const PackedResult& packed) {
  EXPECT_EQ(packed.is_valid(), result.is_valid);
  EXPECT_EQ(packed.fixed_query(), result.fixed_query);
  ASSERT_EQ(packed.diagnostic_count(), result.diagnostics.size());
  for (std::size_t i = 0; i < result.diagnostics.size(); ++i) {
    const diagnostics::ValidationDiagnostic& want = result.diagnostics[i];
    const DiagnosticView got = packed.diagnostic(i);
    EXPECT_EQ(got.code, want.code);
    EXPECT_EQ(got.severity, want.severity);
    EXPECT_EQ(got.message, want.message);
    EXPECT_EQ(got.position, want.position);
    ASSERT_EQ(got.suggestion.has_value(), want.suggestion.has_value());
    if (want.suggestion) {
      EXPECT_EQ(got.suggestion->original, want.suggestion->original);
      EXPECT_EQ(got.suggestion->replacement, want.suggestion->replacement);
      EXPECT_EQ(got.suggestion->description, want.suggestion->description);
    }
  }
  EXPECT_EQ(packed.errors(), result.errors());
  EXPECT_EQ(packed.syntax_errors(), result.syntax_errors());
  EXPECT_EQ(packed.semantic_errors(), result.semantic_errors());
  EXPECT_EQ(packed.warnings(), result.warnings());
  EXPECT_EQ(packed.error_count(), result.error_count());
  EXPECT_EQ(to_json(packed), to_json(result));
}

TEST(Pipeline, PackedResultReadsBackAsPacked) {
  std::vector<std::string> queries;
  ASSERT_TRUE(bench::load_corpus(MORVANE_CORPUS_PATH, queries));
  Morvane morvane(schema_from_json(kMoviesSchema));
  std::vector<PyValidationResult> results;
  for (const std::string& query : queries) results.push_back(morvane.validate(query));
  // Texts the corpus lacks: empty ones, bytes that are not UTF-8, and a large position.
  PyValidationResult odd;
  odd.is_valid = false;
  odd.fixed_query = "";
  odd.diagnostics.push_back({DiagnosticCode::UnknownNodeLabel, Severity::Error, "",
                             diagnostics::Suggestion{"", "\xff\x00", ""}, std::nullopt});
  odd.diagnostics.push_back({DiagnosticCode::ParseError, Severity::Error, std::string(70000, 'x'),
                             std::nullopt, diagnostics::Position{4000000000u, 7}});
  results.push_back(odd);

  for (const PyValidationResult& result : results) {
    SCOPED_TRACE(to_json(result));
    // One byte in, so that no field of the block is aligned.
    std::string buffer(PackedResult::size_of(result) + 1, '\0');
    PackedResult::pack(result, buffer.data() + 1);
    expect_packed_as(result, PackedResult(buffer.data() + 1));
    if (PackedResult::is_plain(result)) {
      expect_packed_as(result, PackedResult(PackedResult::valid_block()));
    }
  }
  EXPECT_TRUE(PackedResult::is_plain(PyValidationResult{}));
  EXPECT_FALSE(PackedResult::is_plain(odd));
}

}  // namespace
}  // namespace morvane::validator::testing
