// What the per-query benchmarks (parse_bench, validate_bench) share: their counters and the
// reading of the query corpus.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "corpus.h"

namespace morvane::bench {

// items_per_second and bytes_per_second for one pass over `queries` texts of `bytes` bytes in
// all, and "per_query", the time of one query.
inline void set_per_query_counters(benchmark::State& state, std::size_t queries,
                                   std::size_t bytes) {
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(queries));
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes));
  state.counters["per_query"] = benchmark::Counter(
      static_cast<double>(queries),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The corpus at `path`; empty, after a note on stderr, when the file cannot be read.
inline std::vector<std::string> read_corpus_or_warn(const char* path) {
  std::vector<std::string> queries;
  if (!load_corpus(path, queries)) std::fprintf(stderr, "cannot read the corpus at %s\n", path);
  return queries;
}

}  // namespace morvane::bench
