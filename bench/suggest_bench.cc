// closest_match over 1,000 candidates, the size of a large schema's label or property list.
// Reports the time per candidate ("per_candidate"). Candidate sets:
//   similar: same length and prefix as the target, so every distance runs to the end;
//   mixed:   names of 3 to 16 letters, most cut off by the length filter or an early row;
//   unicode: mixed names with accented and Greek letters, lower-cased through ICU.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "diagnostics/suggest.h"

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

}  // namespace

BENCHMARK_MAIN();
