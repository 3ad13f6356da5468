// The fast matcher against the engine on the query corpus, on seeded mutations of it, and on
// queries drawn from the grammar: accepted only with the engine's tape, refused only where the
// engine refuses. Prints how often it gives up.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "corpus.h"
#include "fast_matcher_test_util.h"
#include "parser/fast_matcher.h"
#include "parser/recognizer.h"

namespace morvane::parser {
namespace {

using fast_matcher_test::check_against_engine;
using fast_matcher_test::QueryGenerator;
using Result = FastMatch::Result;

std::vector<std::string> corpus() {
  std::vector<std::string> queries;
  EXPECT_TRUE(bench::load_corpus(MORVANE_CORPUS_PATH, queries)) << MORVANE_CORPUS_PATH;
  return queries;
}

struct Tally {
  std::size_t accepted = 0;
  std::size_t refused = 0;
  std::size_t gave_up = 0;
  void add(Result result) {
    accepted += result == Result::kAccepted;
    refused += result == Result::kRefused;
    gave_up += result == Result::kGaveUp;
  }
  std::size_t total() const { return accepted + refused + gave_up; }
  void print(const char* what) const {
    std::printf("%s: %zu accepted, %zu refused, %zu given up of %zu\n", what, accepted, refused,
                gave_up, total());
  }
};

TEST(FastMatcherCorpus, DecidesTheCorpusAsTheEngineDoes) {
  Tally tally;
  for (const std::string& query : corpus()) tally.add(check_against_engine(query));
  tally.print("corpus");
  // The corpus is the workload the matcher is for: it decides nearly all of it.
  EXPECT_LE(tally.gave_up * 50, tally.total());
}

// SplitMix64-driven edits: cut a span, insert a token of the grammar, repeat a span, flip the
// case of a letter, or truncate.
class Mutator {
 public:
  explicit Mutator(std::uint64_t seed) : state_(seed) {}

  std::string mutate(std::string query) {
    const int edits = 1 + static_cast<int>(next() % 3);
    for (int i = 0; i < edits && !query.empty(); ++i) {
      const std::size_t at = next() % (query.size() + 1);
      const std::size_t length = 1 + next() % 8;
      switch (next() % 5) {
        case 0: query.erase(at, length); break;
        case 1: query.insert(at, kTokens[next() % std::size(kTokens)]); break;
        case 2: query.insert(at, query.substr(at, length)); break;
        case 3:
          if (at < query.size()) query[at] = static_cast<char>(query[at] ^ 0x20);
          break;
        default: query.resize(at);
      }
    }
    return query;
  }

 private:
  static constexpr std::string_view kTokens[] = {
      "(", ")", "[", "]", "{", "}", ",", ".", "..", ":", "|", "-", "->", "<-", "--", "*", "=",
      "+=", "<>", "=~", "^", "%", "$p", " ", "\n", "/*", "*/", "//", "'", "\"", "`", "1.",
      "0x", " AND ", " OR ", " XOR ", " NOT ", " IS NULL", " IN ", " STARTS WITH ", " AS ",
      " WITH ", " RETURN ", " MATCH ", " UNION ", " CASE ", " WHEN ", " THEN ", " END ",
      "count(*)", " COUNT { ", " EXISTS { ", " CALL { ", " } ", " FOREACH (x IN xs | ",
      " reduce(", "shortestPath(", "[x IN ", " WHERE ", " ORDER BY ", " DESC", ";", "\u00e9",
  };

  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }

  std::uint64_t state_;
};

TEST(FastMatcherCorpus, DecidesMutatedQueriesAsTheEngineDoes) {
  Mutator mutator(20260311);
  Tally tally;
  for (const std::string& query : corpus()) {
    for (int copy = 0; copy < 16; ++copy) tally.add(check_against_engine(mutator.mutate(query)));
  }
  tally.print("mutated corpus");
  // Both answers are exercised, and the matcher decides most of them itself.
  EXPECT_GT(tally.accepted, tally.total() / 10);
  EXPECT_GT(tally.refused, tally.total() / 10);
  EXPECT_LE(tally.gave_up * 10, tally.total());
}

TEST(FastMatcherCorpus, DecidesGeneratedQueriesAsTheEngineDoes) {
  QueryGenerator generator(7);
  Tally tally;
  std::set<Rule> seen;
  Recognizer engine;
  for (int i = 0; i < 4000; ++i) {
    const std::string query = generator.next_query();
    tally.add(check_against_engine(query));
    if (engine.parse(query, Rule::cypher, Recognizer::Mode::kEngine)) {
      for (const Pair& pair : engine.pairs()) seen.insert(pair.rule);
    }
  }
  tally.print("generated");
  EXPECT_GT(tally.accepted, tally.total() / 2);
  EXPECT_GT(tally.refused, 0u);
  EXPECT_LE(tally.gave_up * 5, tally.total());
  // Every rule that can make a pair appears in some accepted query's tree.
  for (int r = 0; r < kRuleCount; ++r) {
    const Rule rule = static_cast<Rule>(r);
    const bool never_a_pair = rule == Rule::WHITESPACE || rule == Rule::COMMENT ||
                              rule == Rule::standalone_call || rule == Rule::identifier ||
                              rule == Rule::backtick_identifier || rule == Rule::namespace_ ||
                              rule == Rule::keyword;
    if (!never_a_pair) {
      EXPECT_TRUE(seen.count(rule)) << "never drawn: " << rule_name(rule);
    }
  }
}

}  // namespace
}  // namespace morvane::parser
