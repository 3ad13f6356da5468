// Suggestions inside validation: one search per name and candidate list, the schema's names
// prepared once, work bounded on hostile input, and results that match what validation gave
// before the searches were bounded (the corpus against two schemas, kept in a golden file).
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "corpus.h"
#include "diagnostics/suggest.h"
#include "schema/schema_json.h"
#include "validate_test_util.h"
#include "validator/result_json.h"

namespace morvane::validator::testing {
namespace {

using diagnostics::SuggestStats;

constexpr std::size_t kBandWidth = 2 * diagnostics::kMaxSuggestionDistance + 1;

// The golden file: a line "schema <json>" opens each section, then one line per corpus query
// with the result's JSON text, in corpus order.
TEST(CorpusResults, MatchTheGoldenFile) {
  std::vector<std::string> queries;
  ASSERT_TRUE(bench::load_corpus(MORVANE_CORPUS_PATH, queries));
  std::ifstream golden(MORVANE_CORPUS_GOLDEN_PATH);
  ASSERT_TRUE(golden) << MORVANE_CORPUS_GOLDEN_PATH;

  constexpr std::string_view kSchemaLine = "schema ";
  std::string line;
  int sections = 0;
  while (std::getline(golden, line)) {
    ASSERT_EQ(line.substr(0, kSchemaLine.size()), kSchemaLine);
    const Morvane morvane(schema_from_json(std::string_view(line).substr(kSchemaLine.size())));
    ++sections;
    for (const std::string& query : queries) {
      ASSERT_TRUE(std::getline(golden, line)) << "the golden file ends early";
      const PyValidationResult result = morvane.validate(query);
      EXPECT_EQ(to_json(result), line) << "schema " << sections << ": " << query;
      expect_fixed_query_parses(result);
    }
  }
  EXPECT_EQ(sections, 2);
}

// The replacements of the findings, in order ("-" for a finding without a suggestion).
std::vector<std::string> replacements(const PyValidationResult& result) {
  std::vector<std::string> out;
  for (const diagnostics::ValidationDiagnostic& diagnostic : result.diagnostics) {
    out.push_back(diagnostic.suggestion ? diagnostic.suggestion->replacement : "-");
  }
  return out;
}

// A search is made once per (name, candidate list) in one validation; the same name against
// another list is searched again and may find another name.
TEST(Suggestions, OneSearchPerNameAndCandidateList) {
  constexpr std::string_view kSchema =
      R"({"nodes":{"Person":["name"],"City":["nam"],"KNOWZ":[]},)"
      R"("relationships":{"KNOWS":["Person","Person",["since"]]}})";
  struct Row {
    std::string query;
    std::vector<std::string> replacements;
    std::size_t searches;
  };
  std::vector<Row> rows = {
      {"MATCH (a:Persn)-[:KNOWS]->(b:Persn) SET a:Persn REMOVE b:Persn RETURN a, b",
       {":Person", ":Person", ":Person", ":Person"}, 1},
      {"MATCH (p:Person {nme: 1}), (c:City {nme: 2}) RETURN p, c", {"name", "nam", "-"}, 2},
      {"MATCH (a:Person)-[:KNOWS {sinse: 1}]->(b:Person {sinse: 2}) RETURN a.sinse, b",
       {"since", "-", "-"}, 2},
      {"MATCH (p:Person) RETURN p.nme, p.nme, p.nme", {"name", "name", "name"}, 1},
      // One text, two lists: a label and a type.
      {"MATCH (a:KNOWX)-[:KNOWX]->(b:KNOWX) RETURN a, b", {":KNOWZ", ":KNOWS", ":KNOWZ"}, 2},
      {"MATCH (a:Persn) RETURN a UNION MATCH (a:Persn) RETURN a", {":Person", ":Person"}, 1},
  };
  // Many names, each twice.
  Row many{"MATCH (a", {}, 12};
  for (int round = 0; round < 2; ++round) {
    for (int i = 0; i < 12; ++i) {
      many.query += ":Qqqqqqq" + std::to_string(i);
      many.replacements.push_back("-");
    }
  }
  many.query += ") RETURN a";
  rows.push_back(many);
  const Morvane morvane(schema_from_json(kSchema));
  for (const Row& row : rows) {
    SCOPED_TRACE(row.query);
    SuggestStats stats;
    const PyValidationResult result = morvane.validate(row.query, &stats);
    EXPECT_EQ(replacements(result), row.replacements);
    EXPECT_EQ(stats.searches, row.searches);
    // Each validation starts afresh.
    EXPECT_EQ(morvane.validate(row.query), result);
  }
}

std::string letters(std::size_t length, std::uint64_t seed) {
  std::string out;
  for (std::size_t i = 0; i < length; ++i) {
    seed = seed * 6364136223846793005u + 1442695040888963407u;
    out += static_cast<char>('a' + (seed >> 33) % 26);
  }
  return out;
}

// Hostile input: each row takes the unbounded search seconds and the bounded one milliseconds.
// The query is one node with every label of the row; each label's suggestion (one finding per
// label, in order) is compared with a plain search of the schema's labels.
TEST(Suggestions, HostileInputStaysWithinTheBounds) {
  struct Row {
    std::string name;
    schema::Schema schema;
    std::vector<std::string> labels;
    std::size_t searches;
    std::optional<std::size_t> max_cells;
    std::size_t check_every;  // compare the suggestion of every check_every-th label
  };
  auto schema_of = [](const std::vector<std::string>& labels) {
    schema::Schema schema;
    for (const std::string& label : labels) schema.nodes[label];
    return schema;
  };
  auto numbered = [](std::string_view stem, std::size_t from, std::size_t count,
                     std::size_t step = 1) {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < count; ++i) names.push_back(std::string(stem) +
                                                            std::to_string(from + i * step));
    return names;
  };

  const std::string long_label = "L" + letters(20000, 1);
  std::string near_long = long_label;
  near_long[10000] = near_long[10000] == 'x' ? 'y' : 'x';
  const std::string prefix = "P" + letters(2000, 2);

  std::vector<std::string> many = {"Qqqqqqqqqqqq"};  // no suggestion: no corrected query to make
  for (const std::string& label : numbered("Label", 2000, 20000)) many.push_back(label);

  std::vector<Row> rows;
  rows.push_back({"a 20 KB label one letter off", schema_of({long_label, "Person"}), {near_long},
                  1, kBandWidth * (long_label.size() + 1), 1});
  rows.push_back({"1,000 labels of 2 KB sharing a prefix",
                  schema_of(numbered(prefix, 10000, 1000)), {prefix + "1052x"}, 1,
                  kBandWidth * (prefix.size() + 1000 * 6), 1});
  rows.push_back({"20,000 unknown labels, 2,000 labels", schema_of(numbered("Label", 0, 2000)),
                  many, many.size(), std::nullopt, 97});
  rows.push_back({"one unknown label 100,000 times", schema_of(numbered("Label", 0, 1000)),
                  std::vector<std::string>(100000, "Labelxyz"), 1, std::nullopt, 10000});
  rows.push_back({"100 unknown labels, 100,000 labels", schema_of(numbered("Label", 0, 100000)),
                  numbered("Lebal", 100000, 100, 7919), 100, std::nullopt, 10});

  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::string query = "MATCH (n";
    for (const std::string& label : row.labels) query += ":" + label;
    query += ") RETURN n";
    const std::vector<std::string_view> candidates = row.schema.node_labels();
    const Morvane morvane(row.schema);

    SuggestStats stats;
    const PyValidationResult result = morvane.validate(query, &stats);
    ASSERT_EQ(result.diagnostics.size(), row.labels.size());
    EXPECT_EQ(stats.searches, row.searches);
    if (row.max_cells) {
      EXPECT_LE(stats.cells, *row.max_cells);
    }
    for (std::size_t i = 0; i < row.labels.size(); i += row.check_every) {
      std::optional<diagnostics::Suggestion> found = result.diagnostics[i].suggestion;
      // The texts are compared; the place of the name is the pipeline's concern.
      if (found) found->name_begin = found->name_end = 0;
      EXPECT_EQ(found, diagnostics::label_suggestion(row.labels[i], candidates)) << "label " << i;
    }
  }
}

}  // namespace
}  // namespace morvane::validator::testing
