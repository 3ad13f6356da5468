// Validation throughput on one core: Morvane::validate (parse, semantic walk, result) against
// a schema of realistic size (20 labels and 30 relationship types with 10 properties each),
// beside the parse alone and the semantic walk alone on the same texts. Two inputs: the query
// corpus (corpus/queries.txt, valid and invalid texts as they come) and a fixed set of
// typical 100-200-byte queries written against the schema. Beside them, the auto-correction of
// one query with very many fixes.
//
// Counters: "per_query" is the time of one query, items_per_second the queries per second.
#include <benchmark/benchmark.h>

#include <cctype>
#include <string>
#include <string_view>
#include <vector>

#include "parser/parse.h"
#include "per_query.h"
#include "schema/schema.h"
#include "validator/autocorrect.h"
#include "validator/morvane.h"
#include "validator/semantic.h"
#include "validator/suggestion_index.h"

namespace {

using morvane::schema::Schema;
using morvane::validator::Morvane;
using morvane::validator::SuggestionIndex;
using morvane::validator::semantic::SemanticValidator;

constexpr const char* kLabels[20] = {
    "Person",   "Movie",   "Company", "Product", "Order",   "Review",  "Tag",
    "City",     "Country", "Account", "Device",  "Event",   "Genre",   "Studio",
    "Supplier", "Invoice", "Ticket",  "Project", "Team",    "Document"};
struct TypeRow {
  const char* type;
  const char* source;
  const char* target;
};
constexpr TypeRow kTypes[30] = {
    {"ACTED_IN", "Person", "Movie"},        {"DIRECTED", "Person", "Movie"},
    {"KNOWS", "Person", "Person"},          {"WORKS_AT", "Person", "Company"},
    {"PLACED", "Account", "Order"},         {"INCLUDES", "Order", "Product"},
    {"REVIEWED", "Person", "Review"},       {"TAGGED", "Document", "Tag"},
    {"LIVES_IN", "Person", "City"},         {"LOCATED_IN", "City", "Country"},
    {"OWNS", "Account", "Device"},          {"USES", "Person", "Device"},
    {"ATTENDED", "Person", "Event"},        {"IN_GENRE", "Movie", "Genre"},
    {"PRODUCED", "Studio", "Movie"},        {"SUPPLIES", "Supplier", "Product"},
    {"BILLED_TO", "Invoice", "Account"},    {"OPENED", "Account", "Ticket"},
    {"ASSIGNED", "Ticket", "Person"},       {"MEMBER_OF", "Person", "Team"},
    {"WROTE", "Person", "Document"},        {"FOLLOWS", "Account", "Account"},
    {"PURCHASED", "Account", "Product"},    {"RATED", "Person", "Movie"},
    {"MANAGES", "Person", "Project"},       {"REPORTS_TO", "Person", "Person"},
    {"SHIPPED_TO", "Order", "City"},        {"LINKED_TO", "Document", "Document"},
    {"MENTIONS", "Review", "Product"},      {"BELONGS_TO", "Project", "Team"},
};
constexpr const char* kProperties[10] = {"id",    "name",   "title",      "age",  "year",
                                         "score", "status", "created_at", "role", "since"};

Schema realistic_schema() {
  Schema schema;
  for (const char* label : kLabels) {
    for (const char* property : kProperties) schema.nodes[label].insert(property);
  }
  for (const TypeRow& row : kTypes) {
    morvane::schema::Relationship& relationship = schema.relationships[row.type];
    relationship.source = row.source;
    relationship.target = row.target;
    for (const char* property : kProperties) relationship.properties.insert(property);
  }
  return schema;
}

// Valid against the schema, 100 to 200 bytes each.
const std::vector<std::string>& typical_queries() {
  static const std::vector<std::string> queries = {
      "MATCH (p:Person)-[r:ACTED_IN]->(m:Movie) WHERE m.year > 2000 AND p.age < 40 "
      "RETURN p.name, m.title, r.role ORDER BY m.year DESC LIMIT 10",
      "MATCH (a:Person {name: $name})-[:KNOWS]->(b:Person) WITH b, count(*) AS c "
      "WHERE c > 1 RETURN b.name AS friend, c ORDER BY c DESC",
      "MATCH (c:Company)<-[w:WORKS_AT]-(p:Person) WHERE w.since >= 2010 "
      "RETURN c.name, collect(p.name) AS staff, avg(p.age) AS mean_age",
      "MATCH (o:Order)-[:INCLUDES]->(x:Product) WHERE o.status = 'open' "
      "RETURN o.id, sum(x.score) AS total, size(collect(x)) AS items SKIP 20 LIMIT 20",
      "OPTIONAL MATCH (p:Person)-[:REVIEWED]->(r:Review) WHERE r.score >= 4 "
      "RETURN p.name, CASE WHEN r IS NULL THEN 0 ELSE r.score END AS score",
      "MATCH (p:Person) WHERE p.name STARTS WITH 'A' UNWIND [1, 2, 3] AS k "
      "RETURN p.name, k, toUpper(p.name) AS shout, coalesce(p.title, 'none')",
      "MERGE (p:Person {id: $id}) ON CREATE SET p.created_at = timestamp() "
      "SET p.name = $name, p.status = 'active' RETURN p",
      "MATCH (t:Tag)<-[:TAGGED]-(d:Document) WITH t, count(d) AS uses WHERE uses > 5 "
      "RETURN t.name, uses ORDER BY uses DESC LIMIT 25",
  };
  return queries;
}

// One node with every label of the schema misspelt in every way one edit allows (a letter
// dropped, changed, or added), and a Person whose every property is read misspelt likewise:
// about 500 distinct fixes in a 4 KB query, each error with a suggestion.
const std::string& many_fixes_query() {
  static const std::string query = [] {
    auto misspellings = [](std::string_view name) {
      std::vector<std::string> out;
      for (std::size_t i = 0; i < name.size(); ++i) {
        std::string dropped(name);
        dropped.erase(i, 1);
        std::string changed(name);
        changed[i] = changed[i] == 'q' ? 'z' : 'q';
        std::string added(name);
        added.insert(i, 1, 'q');
        for (std::string* variant : {&dropped, &changed, &added}) {
          if (!variant->empty() && (*variant)[0] != '_' && !std::isdigit((*variant)[0])) {
            out.push_back(std::move(*variant));
          }
        }
      }
      return out;
    };
    std::string text = "MATCH (n";
    for (const char* label : kLabels) {
      for (const std::string& variant : misspellings(label)) text += ":" + variant;
    }
    text += "), (p:Person) RETURN n";
    for (const char* property : kProperties) {
      for (const std::string& variant : misspellings(property)) text += ", p." + variant;
    }
    return text;
  }();
  return query;
}

const std::vector<std::string>& corpus() {
  static const std::vector<std::string> queries =
      morvane::bench::read_corpus_or_warn(MORVANE_CORPUS_PATH);
  return queries;
}

void report(benchmark::State& state, const std::vector<std::string>& queries) {
  std::size_t bytes = 0;
  for (const std::string& query : queries) bytes += query.size();
  morvane::bench::set_per_query_counters(state, queries.size(), bytes);
}

// With one recognizer kept from query to query, as Morvane.validate and the batch workers do.
void validate_all(benchmark::State& state, const std::vector<std::string>& queries) {
  const Morvane morvane(realistic_schema());
  morvane::parser::Recognizer recognizer;
  for (auto _ : state) {
    for (const std::string& query : queries) {
      auto result = morvane.validate(query, recognizer);
      benchmark::DoNotOptimize(result);
    }
  }
  report(state, queries);
}

void parse_all(benchmark::State& state, const std::vector<std::string>& queries) {
  morvane::parser::Recognizer recognizer;
  for (auto _ : state) {
    for (const std::string& query : queries) {
      auto tree = morvane::parser::parse_with_detail(query, recognizer);
      benchmark::DoNotOptimize(tree);
    }
  }
  report(state, queries);
}

// The semantic walk alone, over trees parsed beforehand.
void walk_all(benchmark::State& state, const std::vector<std::string>& queries) {
  const Schema schema = realistic_schema();
  const SuggestionIndex suggestions(schema);
  std::vector<morvane::parser::ast::CypherQuery> trees;
  for (const std::string& query : queries) {
    auto tree = morvane::parser::parse_with_detail(query);
    if (tree) trees.push_back(std::move(tree).value());
  }
  for (auto _ : state) {
    for (const morvane::parser::ast::CypherQuery& tree : trees) {
      SemanticValidator validator(schema, suggestions, tree);
      validator.validate();
      benchmark::DoNotOptimize(validator.diagnostics().data());
    }
  }
  report(state, queries);
}

// The auto-correction alone, from the findings of many_fixes_query().
void BM_AutoCorrectManyFixes(benchmark::State& state) {
  const Morvane morvane(realistic_schema());
  const std::string& query = many_fixes_query();
  const morvane::validator::PyValidationResult result = morvane.validate(query);
  if (!result.fixed_query) state.SkipWithError("the query has an error without a fix");
  for (auto _ : state) {
    auto fixed = morvane::validator::auto_correct(query, result.diagnostics);
    benchmark::DoNotOptimize(fixed);
  }
  state.counters["fixes"] = static_cast<double>(result.error_count());
  report(state, {query});
}

void BM_ValidateManyFixes(benchmark::State& state) { validate_all(state, {many_fixes_query()}); }
void BM_ValidateTypical(benchmark::State& state) { validate_all(state, typical_queries()); }
void BM_WalkTypical(benchmark::State& state) { walk_all(state, typical_queries()); }
void BM_ParseTypical(benchmark::State& state) { parse_all(state, typical_queries()); }
void BM_ValidateCorpus(benchmark::State& state) { validate_all(state, corpus()); }
void BM_ParseCorpus(benchmark::State& state) { parse_all(state, corpus()); }

BENCHMARK(BM_ValidateTypical);
BENCHMARK(BM_ParseTypical);
BENCHMARK(BM_WalkTypical);
BENCHMARK(BM_ValidateCorpus);
BENCHMARK(BM_ParseCorpus);
BENCHMARK(BM_AutoCorrectManyFixes);
BENCHMARK(BM_ValidateManyFixes);

}  // namespace

BENCHMARK_MAIN();
