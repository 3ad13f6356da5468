// Recognizer throughput over the query corpus, split by outcome: valid queries (the pair tree is
// produced) and invalid ones (the syntax error and its display are built), against a baseline
// that only tokenizes the same texts once (whitespace, comments, names, strings, numbers,
// punctuation). For invalid queries of the same size as the valid ones, each valid query is also
// run broken near its end (its last non-blank ASCII byte replaced by "!"), which makes the
// recognizer do all the work of the valid query before it fails. After the run it prints the
// ratios the recognizer is judged by: recognizer time over tokenizer time, invalid over valid
// time per byte, and the engine alone (fast matcher off) over the default mode. With
// --benchmark_repetitions the ratios use the medians.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "corpus.h"
#include "parser/recognizer.h"

namespace {

using morvane::parser::Recognizer;
using morvane::parser::Rule;

struct QuerySet {
  std::vector<std::string> queries;
  std::int64_t bytes = 0;
};

bool is_name_start(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}
bool is_name_part(unsigned char c) { return is_name_start(c) || (c >= '0' && c <= '9'); }
bool is_digit(unsigned char c) { return c >= '0' && c <= '9'; }

// One pass over the text, counting tokens: the least work a recognizer of the language must do.
std::size_t tokenize(std::string_view text) {
  const char* p = text.data();
  const char* end = p + text.size();
  std::size_t tokens = 0;
  while (p < end) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      ++p;
      continue;
    }
    ++tokens;
    if (c == '/' && p + 1 < end && p[1] == '/') {
      const void* nl = std::memchr(p, '\n', end - p);
      p = nl ? static_cast<const char*>(nl) + 1 : end;
    } else if (c == '/' && p + 1 < end && p[1] == '*') {
      std::string_view rest(p + 2, end - p - 2);
      std::size_t close = rest.find("*/");
      p = close == std::string_view::npos ? p + 1 : p + 2 + close + 2;
    } else if (c == '\'' || c == '"' || c == '`') {
      const void* close = std::memchr(p + 1, c, end - p - 1);
      p = close ? static_cast<const char*>(close) + 1 : p + 1;
    } else if (is_name_start(c) || c == '$') {
      ++p;
      while (p < end && is_name_part(static_cast<unsigned char>(*p))) ++p;
    } else if (is_digit(c)) {
      ++p;
      while (p < end && (is_name_part(static_cast<unsigned char>(*p)) || *p == '.')) ++p;
    } else if (c >= 0x80) {
      ++p;
      while (p < end && (static_cast<unsigned char>(*p) & 0xC0) == 0x80) ++p;
    } else {
      ++p;
    }
  }
  return tokens;
}

void recognize(benchmark::State& state, const QuerySet& set, Recognizer::Mode mode) {
  Recognizer recognizer;
  for (auto _ : state) {
    for (const std::string& query : set.queries) {
      bool ok = recognizer.parse(query, Rule::cypher, mode);
      benchmark::DoNotOptimize(ok);
      benchmark::DoNotOptimize(ok ? recognizer.pairs().size() : recognizer.error().display.size());
    }
  }
  state.SetBytesProcessed(state.iterations() * set.bytes);
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(set.queries.size()));
}

void tokenize_all(benchmark::State& state, const QuerySet& set) {
  for (auto _ : state) {
    for (const std::string& query : set.queries) benchmark::DoNotOptimize(tokenize(query));
  }
  state.SetBytesProcessed(state.iterations() * set.bytes);
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(set.queries.size()));
}

// Prints as the console reporter does, and keeps the time per iteration of each benchmark:
// the median when repetitions are asked for, else the single run.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  explicit RatioReporter(OutputOptions options) : ConsoleReporter(options) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
      bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (single || median) times_[run.run_name.function_name] = run.GetAdjustedRealTime();
    }
  }
  const std::map<std::string, double>& times() const { return times_; }

 private:
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  std::vector<std::string> corpus;
  if (!morvane::bench::load_corpus(MORVANE_CORPUS_PATH, corpus)) {
    std::fprintf(stderr, "cannot read the corpus %s\n", MORVANE_CORPUS_PATH);
    return 1;
  }
  QuerySet valid;
  QuerySet invalid;
  Recognizer classifier;
  for (std::string& query : corpus) {
    QuerySet& set = classifier.parse(query) ? valid : invalid;
    set.bytes += static_cast<std::int64_t>(query.size());
    set.queries.push_back(std::move(query));
  }
  // The valid queries broken late, where they stay the same size and fail.
  QuerySet broken;
  for (const std::string& query : valid.queries) {
    std::size_t at = query.find_last_not_of(" \t\r\n");
    if (at == std::string::npos || static_cast<unsigned char>(query[at]) >= 0x80) continue;
    std::string copy = query;
    copy[at] = '!';
    if (classifier.parse(copy)) continue;
    broken.bytes += static_cast<std::int64_t>(copy.size());
    broken.queries.push_back(std::move(copy));
  }
  std::printf("corpus: %zu valid queries (%lld bytes), %zu invalid (%lld bytes)\n",
              valid.queries.size(), static_cast<long long>(valid.bytes), invalid.queries.size(),
              static_cast<long long>(invalid.bytes));
  std::printf("broken near the end: %zu of the valid queries (%lld bytes)\n",
              broken.queries.size(), static_cast<long long>(broken.bytes));

  benchmark::RegisterBenchmark("recognize_valid", [&](benchmark::State& state) {
    recognize(state, valid, Recognizer::Mode::kFast);
  });
  benchmark::RegisterBenchmark("recognize_invalid", [&](benchmark::State& state) {
    recognize(state, invalid, Recognizer::Mode::kFast);
  });
  benchmark::RegisterBenchmark("recognize_valid_broken_late", [&](benchmark::State& state) {
    recognize(state, broken, Recognizer::Mode::kFast);
  });
  // The same three sets with the fast matcher off: the engine alone.
  benchmark::RegisterBenchmark("recognize_valid_engine", [&](benchmark::State& state) {
    recognize(state, valid, Recognizer::Mode::kEngine);
  });
  benchmark::RegisterBenchmark("recognize_invalid_engine", [&](benchmark::State& state) {
    recognize(state, invalid, Recognizer::Mode::kEngine);
  });
  benchmark::RegisterBenchmark("recognize_valid_broken_late_engine", [&](benchmark::State& state) {
    recognize(state, broken, Recognizer::Mode::kEngine);
  });
  benchmark::RegisterBenchmark("recognize_valid_exact_mode", [&](benchmark::State& state) {
    recognize(state, valid, Recognizer::Mode::kExact);
  });
  benchmark::RegisterBenchmark("tokenize_valid",
                               [&](benchmark::State& state) { tokenize_all(state, valid); });
  benchmark::RegisterBenchmark("tokenize_invalid",
                               [&](benchmark::State& state) { tokenize_all(state, invalid); });

  RatioReporter reporter(isatty(STDOUT_FILENO) ? benchmark::ConsoleReporter::OO_ColorTabular
                                                : benchmark::ConsoleReporter::OO_Tabular);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  const auto& t = reporter.times();
  auto ratio = [&](const char* label, const char* a, double a_bytes, const char* b,
                   double b_bytes) {
    auto x = t.find(a);
    auto y = t.find(b);
    if (x == t.end() || y == t.end()) return;
    std::printf("%-48s %.2f\n", label, (x->second / a_bytes) / (y->second / b_bytes));
  };
  double vb = static_cast<double>(valid.bytes);
  double ib = static_cast<double>(invalid.bytes);
  double bb = static_cast<double>(broken.bytes);
  ratio("recognizer / tokenizer time, valid queries:", "recognize_valid", vb, "tokenize_valid", vb);
  ratio("recognizer / tokenizer time, invalid queries:", "recognize_invalid", ib,
        "tokenize_invalid", ib);
  ratio("invalid / valid recognizer time per byte:", "recognize_invalid", ib, "recognize_valid",
        vb);
  ratio("broken-late / valid time per byte (same size):", "recognize_valid_broken_late", bb,
        "recognize_valid", vb);
  ratio("exact / fast mode time, valid queries:", "recognize_valid_exact_mode", vb,
        "recognize_valid", vb);
  ratio("engine alone / fast mode time, valid queries:", "recognize_valid_engine", vb,
        "recognize_valid", vb);
  ratio("engine alone / fast mode time, invalid queries:", "recognize_invalid_engine", ib,
        "recognize_invalid", ib);
  ratio("engine alone / fast mode time, broken late:", "recognize_valid_broken_late_engine", bb,
        "recognize_valid_broken_late", bb);
  return 0;
}
