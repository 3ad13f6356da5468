// The native cost of the schema work behind the module's Schema methods: writing and reading the
// JSON form, and the three renderings. The schema is the one bench/python_bench.py builds, so
// the two sets of figures can be set side by side: 20 labels ("Person", "Label01" ...
// "Label19") with "property0" ... "property9" each, and 30 relationship types ("TYPE_00" ...
// "TYPE_29"), type i going from label i mod 20 to label (7i + 3) mod 20, with "note", "since"
// and "weight" each.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

#include "bindings/schema_render.h"
#include "schema/schema.h"
#include "schema/schema_json.h"

namespace {

using morvane::schema::Schema;

constexpr int kLabels = 20;
constexpr int kTypes = 30;

std::array<std::string, kLabels> label_names() {
  std::array<std::string, kLabels> names;
  names[0] = "Person";
  for (int i = 1; i < kLabels; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "Label%02d", i);
    names[i] = name;
  }
  return names;
}

Schema bench_schema() {
  const auto labels = label_names();
  Schema s;
  for (const std::string& label : labels) {
    auto& properties = s.nodes[label];
    for (int j = 0; j < 10; ++j) properties.insert("property" + std::to_string(j));
  }
  for (int i = 0; i < kTypes; ++i) {
    char type[16];
    std::snprintf(type, sizeof type, "TYPE_%02d", i);
    s.relationships[type] = {labels[i % kLabels], labels[(7 * i + 3) % kLabels],
                             {"since", "weight", "note"}};
  }
  return s;
}

// One call of `render` per iteration; bytes_per_second counts the text it returns.
template <class F>
void run_text(benchmark::State& state, F render) {
  const Schema schema = bench_schema();
  std::size_t bytes = 0;
  for (auto _ : state) {
    std::string text = render(schema);
    bytes = text.size();
    benchmark::DoNotOptimize(text);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes));
}

void BM_Serialize(benchmark::State& state) { run_text(state, morvane::schema::serialize); }
void BM_ToPrompt(benchmark::State& state) { run_text(state, morvane::bindings::to_prompt); }
void BM_ToMarkdown(benchmark::State& state) { run_text(state, morvane::bindings::to_markdown); }
void BM_ToCypherContext(benchmark::State& state) {
  run_text(state, morvane::bindings::to_cypher_context);
}

void BM_Deserialize(benchmark::State& state) {
  const std::string json = morvane::schema::serialize(bench_schema());
  for (auto _ : state) {
    auto schema = morvane::schema::deserialize(json);
    if (!schema) {
      state.SkipWithError("the written JSON does not read back");
      return;
    }
    benchmark::DoNotOptimize(schema);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(json.size()));
}

BENCHMARK(BM_Serialize);
BENCHMARK(BM_Deserialize);
BENCHMARK(BM_ToPrompt);
BENCHMARK(BM_ToMarkdown);
BENCHMARK(BM_ToCypherContext);

}  // namespace

BENCHMARK_MAIN();
