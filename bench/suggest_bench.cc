// closest_match over 1,000 candidates, the size of a large schema's label or property list.
// Reports the time per candidate ("per_candidate"). Candidate sets:
//   similar: same length and prefix as the target, so every distance runs to the end;
//   mixed:   names of 3 to 16 letters, most cut off by the length filter or an early row;
//   unicode: mixed names with accented and Greek letters, lower-cased through ICU.
//
// Hostile rows, where an unbounded distance or a search per name and per candidate costs
// seconds:
//   LongNearMiss/N:      closest_match of an N-byte name one letter off an N-byte candidate;
//   ManyUnknownLabels/N: Morvane::validate of one node with N unknown labels, each a few edits
//                        from the labels of a 1,000-label schema ("per_name");
//   FewUnknownLabels:    Morvane::validate of one node with 100 unknown labels against a schema
//                        of 550,000 labels ("per_name").
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "diagnostics/suggest.h"
#include "schema/schema.h"
#include "validator/morvane.h"

namespace {

constexpr int kCandidates = 1000;

// A fixed pseudo-random sequence so every run measures the same names.
class Letters {
 public:
  std::uint32_t next(std::uint32_t bound) {
    state_ = state_ * 6364136223846793005u + 1442695040888963407u;
    return static_cast<std::uint32_t>(state_ >> 33) % bound;
  }

 private:
  std::uint64_t state_ = 0x5eed;
};

std::vector<std::string> similar_names() {
  std::vector<std::string> names;
  for (int i = 0; i < kCandidates; ++i) names.push_back("Property" + std::to_string(1000 + i));
  return names;
}

std::vector<std::string> mixed_names(bool unicode) {
  static constexpr std::string_view kExtra[] = {"\xc3\xa9", "\xc3\x9c", "\xce\xa3", "\xc3\x9f"};
  Letters letters;
  std::vector<std::string> names;
  for (int i = 0; i < kCandidates; ++i) {
    std::string name;
    std::uint32_t length = 3 + letters.next(14);
    for (std::uint32_t k = 0; k < length; ++k) {
      if (unicode && letters.next(4) == 0) {
        name += kExtra[letters.next(4)];
      } else {
        name += static_cast<char>((k == 0 ? 'A' : 'a') + letters.next(26));
      }
    }
    names.push_back(name);
  }
  return names;
}

void run(benchmark::State& state, std::string_view target, const std::vector<std::string>& names) {
  for (auto _ : state) {
    auto best = morvane::diagnostics::closest_match(target, names);
    benchmark::DoNotOptimize(best);
  }
  state.counters["per_candidate"] = benchmark::Counter(
      kCandidates, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_ClosestMatchSimilar(benchmark::State& state) {
  const auto names = similar_names();
  run(state, "propertyX999", names);
}
BENCHMARK(BM_ClosestMatchSimilar);

void BM_ClosestMatchMixed(benchmark::State& state) {
  const auto names = mixed_names(false);
  run(state, "Persn", names);
}
BENCHMARK(BM_ClosestMatchMixed);

void BM_ClosestMatchUnicode(benchmark::State& state) {
  const auto names = mixed_names(true);
  run(state, "Caf\xc3\xa9", names);
}
BENCHMARK(BM_ClosestMatchUnicode);

void BM_ClosestMatchLongNearMiss(benchmark::State& state) {
  const auto length = static_cast<std::size_t>(state.range(0));
  Letters letters;
  std::string name;
  for (std::size_t i = 0; i < length; ++i) name += static_cast<char>('a' + letters.next(26));
  std::string target = name;
  target[length / 2] = target[length / 2] == 'x' ? 'y' : 'x';
  const std::vector<std::string> names = {"Person", name};
  for (auto _ : state) {
    auto best = morvane::diagnostics::closest_match(target, names);
    benchmark::DoNotOptimize(best);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * length));
}
BENCHMARK(BM_ClosestMatchLongNearMiss)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// A Morvane whose schema has the labels `stem`0 .. `stem`(count - 1).
morvane::validator::Morvane numbered_labels(std::string_view stem, int count) {
  morvane::schema::Schema schema;
  for (int i = 0; i < count; ++i) schema.nodes[std::string(stem) + std::to_string(i)];
  return morvane::validator::Morvane(std::move(schema));
}

// One node with `labels` after a label that has no suggestion, so that no corrected query is
// made and the time is the checks' and the suggestions'.
std::string node_query(const std::vector<std::string>& labels) {
  std::string query = "MATCH (n:Qqqqqqqqqqqq";
  for (const std::string& label : labels) query += ":" + label;
  return query + ") RETURN n";
}

void run_validate(benchmark::State& state, const morvane::validator::Morvane& morvane,
                  const std::vector<std::string>& labels) {
  const std::string query = node_query(labels);
  morvane::parser::Recognizer recognizer;
  for (auto _ : state) {
    auto result = morvane.validate(query, recognizer);
    benchmark::DoNotOptimize(result);
  }
  state.counters["per_name"] = benchmark::Counter(
      static_cast<double>(labels.size()),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_ValidateManyUnknownLabels(benchmark::State& state) {
  const auto morvane = numbered_labels("Label", 1000);
  std::vector<std::string> labels;
  for (int i = 0; i < state.range(0); ++i) labels.push_back("Label" + std::to_string(1000 + i));
  run_validate(state, morvane, labels);
}
BENCHMARK(BM_ValidateManyUnknownLabels)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_ValidateFewUnknownLabels(benchmark::State& state) {
  static const auto morvane = numbered_labels("Label", 550000);
  std::vector<std::string> labels;
  for (int i = 0; i < 100; ++i) labels.push_back("Lebal" + std::to_string(550000 + i * 7919));
  run_validate(state, morvane, labels);
}
BENCHMARK(BM_ValidateFewUnknownLabels)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
