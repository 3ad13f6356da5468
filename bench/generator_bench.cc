// Generated queries per second for each query type, over two schemas: the small movie schema
// (two labels, one relationship type) and a wider one (eight labels with up to six properties,
// six relationship types). Each iteration is one generate() call by name, as callers make it.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <string>

#include "generator/generator.h"

namespace {

using morvane::generator::CypherGenerator;
using morvane::generator::kQueryTypeNames;
using morvane::generator::Rng;
using morvane::schema::Schema;

Schema movie_schema() {
  Schema s;
  s.nodes["Person"] = {"name", "age"};
  s.nodes["Movie"] = {"title", "year"};
  s.relationships["ACTED_IN"] = {"Person", "Movie", {"role"}};
  return s;
}

Schema wide_schema() {
  Schema s;
  s.nodes["Person"] = {"name", "age", "email", "born", "city", "nickname"};
  s.nodes["Company"] = {"name", "founded", "sector"};
  s.nodes["Product"] = {"sku", "title", "price", "weight"};
  s.nodes["Order"] = {"id", "placed_at", "total"};
  s.nodes["Review"] = {"stars", "text"};
  s.nodes["Tag"] = {"label"};
  s.nodes["Warehouse"] = {"code", "region"};
  s.nodes["Supplier"] = {"name", "country", "rating", "contact", "since"};
  s.relationships["WORKS_AT"] = {"Person", "Company", {"since"}};
  s.relationships["PLACED"] = {"Person", "Order", {}};
  s.relationships["CONTAINS"] = {"Order", "Product", {"quantity"}};
  s.relationships["REVIEWED"] = {"Person", "Review", {}};
  s.relationships["STOCKED_IN"] = {"Product", "Warehouse", {"count"}};
  s.relationships["SUPPLIES"] = {"Supplier", "Product", {"price", "lead_time"}};
  return s;
}

void run(benchmark::State& state, const Schema& schema) {
  const std::string_view type = kQueryTypeNames[static_cast<std::size_t>(state.range(0))];
  state.SetLabel(std::string(type));
  CypherGenerator gen(schema, Rng::seed_from_u64(42));
  std::size_t bytes = 0;
  for (auto _ : state) {
    auto query = gen.generate(type);
    bytes += query->size();
    benchmark::DoNotOptimize(query);
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}

void BM_GenerateMovieSchema(benchmark::State& state) { run(state, movie_schema()); }
void BM_GenerateWideSchema(benchmark::State& state) { run(state, wide_schema()); }

BENCHMARK(BM_GenerateMovieSchema)->DenseRange(0, kQueryTypeNames.size() - 1);
BENCHMARK(BM_GenerateWideSchema)->DenseRange(0, kQueryTypeNames.size() - 1);

}  // namespace

BENCHMARK_MAIN();
