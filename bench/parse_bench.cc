// Full parse (recognize + build) per query, with a fresh Recognizer per call and with one
// reused, beside its two halves on the same texts: recognition alone with one reused
// Recognizer, and building alone from tapes recognized once.
// Two inputs: the accepted queries of the query corpus (corpus/queries.txt) and a fixed
// set of typical 100-200-byte queries.
//
// Counters: "per_query" is the time of one query, bytes_per_second the query text consumed.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "parser/builder.h"
#include "parser/parse.h"
#include "parser/recognizer.h"
#include "per_query.h"

namespace {

using morvane::parser::Pair;
using morvane::parser::Recognizer;

struct Inputs {
  std::vector<std::string> queries;  // all accepted by the recognizer
  std::vector<std::vector<Pair>> tapes;
  std::size_t bytes = 0;
};

Inputs accepted(const std::vector<std::string>& queries) {
  Inputs inputs;
  Recognizer recognizer;
  for (const std::string& query : queries) {
    if (!recognizer.parse(query)) continue;
    inputs.queries.push_back(query);
    inputs.tapes.emplace_back(recognizer.pairs().begin(), recognizer.pairs().end());
    inputs.bytes += query.size();
  }
  return inputs;
}

const Inputs& corpus() {
  static const Inputs inputs =
      accepted(morvane::bench::read_corpus_or_warn(MORVANE_CORPUS_PATH));
  return inputs;
}

const Inputs& typical() {
  static const Inputs inputs = accepted({
      "MATCH (p:Person)-[r:ACTED_IN]->(m:Movie) WHERE m.year > 2000 AND p.age < 40 "
      "RETURN p.name, m.title, r.role ORDER BY m.year DESC LIMIT 10",
      "MATCH (a:Person {name: $name})-[:KNOWS]->(b:Person) WITH b, count(*) AS c "
      "WHERE c > 1 RETURN b.name AS friend, c ORDER BY c DESC",
      "MATCH (c:Company)<-[w:WORKS_AT]-(p:Person) WHERE w.since >= 2010 "
      "RETURN c.name, collect(p.name) AS staff, avg(p.age) AS mean_age",
      "MERGE (u:User {id: $id}) ON CREATE SET u.created = timestamp(), u.visits = 1 "
      "ON MATCH SET u.visits = u.visits + 1 RETURN u",
      "UNWIND $rows AS row MATCH (a:Account {id: row.from}), (b:Account {id: row.to}) "
      "CREATE (a)-[:SENT {amount: row.amount}]->(b)",
      "MATCH (n:Tag) WHERE n.name STARTS WITH 'db' OR n.name CONTAINS 'graph' "
      "RETURN n.name, size([x IN n.aliases WHERE x <> n.name]) AS others",
      "MATCH p = shortestPath((a:City {name: 'Oslo'})-[:ROAD*..8]-(b:City {name: 'Rome'})) "
      "RETURN [n IN nodes(p) | n.name] AS route, length(p)",
      "MATCH (m:Movie) RETURN m.title, CASE WHEN m.score > 8 THEN 'great' WHEN m.score > 5 "
      "THEN 'fine' ELSE 'poor' END AS verdict",
  });
  return inputs;
}

void finish(benchmark::State& state, const Inputs& inputs) {
  morvane::bench::set_per_query_counters(state, inputs.queries.size(), inputs.bytes);
}

void recognize(benchmark::State& state, const Inputs& inputs) {
  Recognizer recognizer;
  for (auto _ : state) {
    for (const std::string& query : inputs.queries) {
      benchmark::DoNotOptimize(recognizer.parse(query));
    }
  }
  finish(state, inputs);
}

void build(benchmark::State& state, const Inputs& inputs) {
  for (auto _ : state) {
    for (std::size_t i = 0; i < inputs.queries.size(); ++i) {
      auto tree = morvane::parser::builder::build_query(inputs.queries[i], inputs.tapes[i], 0);
      benchmark::DoNotOptimize(tree);
    }
  }
  finish(state, inputs);
}

void parse(benchmark::State& state, const Inputs& inputs) {
  for (auto _ : state) {
    for (const std::string& query : inputs.queries) {
      auto tree = morvane::parser::parse(query);
      benchmark::DoNotOptimize(tree);
    }
  }
  finish(state, inputs);
}

// Full parse with one Recognizer reused across queries, as a batch worker would.
void parse_reused(benchmark::State& state, const Inputs& inputs) {
  Recognizer recognizer;
  for (auto _ : state) {
    for (const std::string& query : inputs.queries) {
      auto tree = morvane::parser::parse(query, recognizer);
      benchmark::DoNotOptimize(tree);
    }
  }
  finish(state, inputs);
}

void BM_RecognizeCorpus(benchmark::State& state) { recognize(state, corpus()); }
void BM_BuildCorpus(benchmark::State& state) { build(state, corpus()); }
void BM_ParseCorpus(benchmark::State& state) { parse(state, corpus()); }
void BM_ParseReusedCorpus(benchmark::State& state) { parse_reused(state, corpus()); }
void BM_RecognizeTypical(benchmark::State& state) { recognize(state, typical()); }
void BM_BuildTypical(benchmark::State& state) { build(state, typical()); }
void BM_ParseTypical(benchmark::State& state) { parse(state, typical()); }
void BM_ParseReusedTypical(benchmark::State& state) { parse_reused(state, typical()); }

BENCHMARK(BM_RecognizeCorpus);
BENCHMARK(BM_BuildCorpus);
BENCHMARK(BM_ParseCorpus);
BENCHMARK(BM_ParseReusedCorpus);
BENCHMARK(BM_RecognizeTypical);
BENCHMARK(BM_BuildTypical);
BENCHMARK(BM_ParseTypical);
BENCHMARK(BM_ParseReusedTypical);

}  // namespace

BENCHMARK_MAIN();
