// The query corpus shared by the benchmarks and the tests.
//
// File format (corpus/queries.txt): queries one after another, each ended by a line that
// holds exactly ";;;;" (the last one may instead end with the file). A query is the text of its
// lines joined by "\n", so a query that ends with a line break is written with an empty line
// before its separator; every other byte, "\r" and tabs included, is kept as written. Empty
// queries are skipped. The file does not say which queries are valid: the recognizer decides.
//
// The build passes the file's path as MORVANE_CORPUS_PATH.
#pragma once

#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace morvane::bench {

inline constexpr std::string_view kCorpusSeparator = ";;;;";

// Reads the corpus at `path` into `queries` (appending). Returns false when the file cannot be
// read; `queries` is then unchanged.
inline bool load_corpus(const char* path, std::vector<std::string>& queries) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (file.bad()) return false;
  std::string query;
  bool has_lines = false;
  auto flush = [&] {
    if (!query.empty()) queries.push_back(query);
    query.clear();
    has_lines = false;
  };
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + at, end - at);
    if (line == kCorpusSeparator) {
      flush();
    } else {
      if (has_lines) query += '\n';
      query += line;
      has_lines = true;
    }
    at = end + 1;
  }
  flush();
  return true;
}

}  // namespace morvane::bench
