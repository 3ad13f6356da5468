// Properties over the query corpus and over mutated copies of it: the fast and the exact mode
// give identical pairs and errors, successful tapes and errors are well formed, and parallel
// recognizers give the same results as one sequential recognizer.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "corpus.h"
#include "parser/recognizer.h"
#include "recognizer_test_util.h"

namespace morvane::parser {
namespace {

using recognizer_test::Outcome;
using recognizer_test::parse_checked;

std::vector<std::string> corpus() {
  std::vector<std::string> queries;
  EXPECT_TRUE(bench::load_corpus(MORVANE_CORPUS_PATH, queries)) << MORVANE_CORPUS_PATH;
  return queries;
}

// SplitMix64: a small seeded generator, so every run mutates the same way.
class Mutator {
 public:
  explicit Mutator(std::uint64_t seed) : state_(seed) {}

  std::string mutate(std::string query) {
    int edits = 1 + static_cast<int>(next() % 3);
    for (int i = 0; i < edits; ++i) {
      switch (next() % 4) {
        case 0: {  // delete up to eight characters
          std::size_t from = boundary(query);
          std::size_t to = from;
          for (std::uint64_t n = 1 + next() % 8; n > 0 && to < query.size(); --n) {
            to = step(query, to);
          }
          query.erase(from, to - from);
          break;
        }
        case 1:
        case 2: {  // insert a token of the grammar
          std::string_view token = kTokens[next() % std::size(kTokens)];
          query.insert(boundary(query), token);
          break;
        }
        default:  // truncate
          query.resize(boundary(query));
      }
    }
    return query;
  }

 private:
  static constexpr std::string_view kTokens[] = {
      "(", ")", "[", "]", "{", "}", ",", ".", "..", ":", "|", "-", "->", "<-", "--", "*",
      "=", "+=", "<>", "=~", "^", "%", "$p", " ", "\n", "\t", "/*", "*/", "//", "'", "\"",
      "`", "MATCH ", " RETURN ", " WITH ", " WHERE ", " AS ", " AND ", " OR ", " NOT ",
      " IS NULL", " IN ", " UNION ", " CALL { ", " }", " ORDER BY ", " SKIP ", " LIMIT ",
      " CASE ", " WHEN ", " THEN ", " END", " count(*)", " EXISTS { ", " SET n.x = 1",
      " DELETE ", "n", "x1", "0x", "1.", "1", "'s'", "\u00e9", "\r\n", ";", "DISTINCT ",
  };

  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }

  static std::size_t step(const std::string& text, std::size_t at) {
    do ++at;
    while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80);
    return at;
  }

  // A random character boundary of `text`, its end included.
  std::size_t boundary(const std::string& text) {
    std::size_t at = text.empty() ? 0 : next() % (text.size() + 1);
    while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) ++at;
    return at;
  }

  std::uint64_t state_;
};

TEST(RecognizerCorpus, IsLargeAndMostlyValid) {
  std::vector<std::string> queries = corpus();
  EXPECT_GE(queries.size(), 300u);
  std::size_t valid = 0;
  for (const std::string& query : queries) valid += parse_checked(query).ok;
  EXPECT_GE(valid * 2, queries.size()) << valid << " valid of " << queries.size();
  EXPECT_LT(valid, queries.size()) << "the corpus has no invalid query";
}

TEST(RecognizerCorpus, ModesAgreeOnMutatedQueries) {
  std::vector<std::string> queries = corpus();
  Mutator mutator(20260101);
  std::size_t accepted = 0;
  std::size_t total = 0;
  for (const std::string& query : queries) {
    for (int copy = 0; copy < 12; ++copy) {
      accepted += parse_checked(mutator.mutate(query)).ok;
      ++total;
    }
  }
  // The mutations must exercise both outcomes.
  EXPECT_GT(accepted, total / 20);
  EXPECT_LT(accepted, total - total / 20);
}

TEST(RecognizerCorpus, ParallelRecognizersMatchSequentialResults) {
  std::vector<std::string> queries = corpus();
  std::vector<std::string> expected;
  Recognizer sequential;
  auto summary = [](Recognizer& recognizer, const std::string& query) {
    if (!recognizer.parse(query)) return recognizer.error().display;
    std::string out;
    for (const Pair& pair : recognizer.pairs()) {
      out += std::to_string(static_cast<int>(pair.rule)) + ":" + std::to_string(pair.begin) +
             "-" + std::to_string(pair.end) + "/" + std::to_string(pair.next) + " ";
    }
    return out;
  };
  for (const std::string& query : queries) expected.push_back(summary(sequential, query));

  constexpr int kThreads = 4;
  std::vector<std::vector<std::string>> got(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      Recognizer recognizer;
      // Each thread walks the corpus from a different start so that different queries run
      // at the same time.
      got[t].resize(queries.size());
      for (std::size_t k = 0; k < queries.size(); ++k) {
        std::size_t i = (k + t * queries.size() / kThreads) % queries.size();
        got[t][i] = summary(recognizer, queries[i]);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) {
    for (std::size_t i = 0; i < queries.size(); ++i) {
      EXPECT_EQ(got[t][i], expected[i]) << "thread " << t << ", query: " << queries[i];
    }
  }
}

}  // namespace
}  // namespace morvane::parser
