// The parse entry points: their failure table, agreement between parse and parse_with_detail,
// trees that own their texts (copied deeply, moved, outliving the query), deep and long queries
// on a 2 MiB thread stack, and the corpus property (accepted text always builds).
#include <gtest/gtest.h>
#include <pthread.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "corpus.h"
#include "parser/ast.h"
#include "parser/parse.h"
#include "parser/recognizer.h"

namespace morvane::parser {
namespace {

using ast::DumpStyle;

std::string compact(const ast::CypherQuery& query) { return ast::dump(query, DumpStyle::kCompact); }

TEST(Parse, AcceptedQueryFromBothEntryPoints) {
  constexpr std::string_view kQuery = "MATCH (n:Person) RETURN n";
  constexpr std::string_view kTree =
      "Regular{SinglePart{Match{Path{Node n:Person}}, Return{Item{Variable n}}}}";
  auto parsed = parse(kQuery);
  ASSERT_TRUE(parsed.ok());
  EXPECT_EQ(compact(parsed.value()), kTree);
  auto detailed = parse_with_detail(kQuery);
  ASSERT_TRUE(detailed.ok());
  EXPECT_EQ(compact(detailed.value()), kTree);
}

// A syntax error: parse gives CypherError::Parse holding the recognizer's display text, and
// parse_with_detail the same text with the error's line and column.
TEST(Parse, SyntaxErrors) {
  struct Row {
    std::string_view query;
    std::uint32_t line;
    std::uint32_t column;
  };
  const Row rows[] = {
      {"", 1, 1},
      {"RETURN 1 +", 1, 11},
      {"RETURN 'é', ", 1, 13},
      {"MATCH (n)\r\nRETURN n +", 2, 11},
      {"MATCH (end) RETURN end", 1, 8},
      {"RETURN 1; RETURN 2", 1, 11},
  };
  for (const Row& row : rows) {
    Recognizer recognizer;
    ASSERT_FALSE(recognizer.parse(row.query)) << row.query;
    const std::string display = recognizer.error().display;

    auto parsed = parse(row.query);
    ASSERT_FALSE(parsed.ok()) << row.query;
    EXPECT_EQ(parsed.error().kind(), CypherError::Kind::Parse) << row.query;
    EXPECT_EQ(parsed.error().message(), display) << row.query;
    EXPECT_EQ(parsed.error().display(), "Parse error: " + display) << row.query;

    auto detailed = parse_with_detail(row.query);
    ASSERT_FALSE(detailed.ok()) << row.query;
    EXPECT_EQ(detailed.error().message, display) << row.query;
    EXPECT_EQ(detailed.error().position,
              (ParseErrorDetail::Position{row.line, row.column}))
        << row.query;
  }
}

TEST(Parse, BlankTextFails) {
  for (std::string_view query : {"   ", "\n\t", "// only a comment", "/* c */"}) {
    EXPECT_FALSE(parse(query).ok()) << query;
    auto detailed = parse_with_detail(query);
    ASSERT_FALSE(detailed.ok()) << query;
    EXPECT_TRUE(detailed.error().position.has_value()) << query;
  }
}

TEST(Parse, TreeOwnsItsTexts) {
  std::string query = "MATCH (`a b`:Person {name: 'Ann'}) RETURN `a b`.name AS n";
  auto parsed = parse(query);
  ASSERT_TRUE(parsed.ok());
  const std::string before = compact(parsed.value());
  query.assign(query.size(), '#');
  query.shrink_to_fit();
  EXPECT_EQ(compact(parsed.value()), before);
  EXPECT_EQ(before,
            "Regular{SinglePart{Match{Path{Node `a b`:Person{Properties{Key name{String "
            "\"Ann\"}}}}}, Return{Item AS n{PropertyAccess name{Variable `a b`}}}}}");
}

TEST(Parse, TreesCopyDeeplyAndMove) {
  std::vector<std::string> dumps;
  std::vector<ast::CypherQuery> copies;
  {
    auto parsed = parse("MATCH (a)-[r:R*1..2]->(b) WHERE a.x IN [1, 2] RETURN count(*) AS c");
    ASSERT_TRUE(parsed.ok());
    ast::CypherQuery original = std::move(parsed).value();
    dumps.push_back(compact(original));
    ast::CypherQuery copy = original;
    copies.push_back(copy);
    ast::CypherQuery moved = std::move(original);
    copies.push_back(std::move(moved));
    copy = copies.front();
    copies.push_back(copy);
  }
  for (const ast::CypherQuery& copy : copies) EXPECT_EQ(compact(copy), dumps.front());
}

// Runs `body` on a thread with a 2 MiB stack, as batch workers have.
template <class Body>
void on_small_stack(Body body) {
  pthread_attr_t attr;
  ASSERT_EQ(pthread_attr_init(&attr), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attr, 2u << 20), 0);
  pthread_t thread;
  auto run = [](void* arg) -> void* {
    (*static_cast<Body*>(arg))();
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attr, run, &body), 0);
  ASSERT_EQ(pthread_join(thread, nullptr), 0);
  pthread_attr_destroy(&attr);
}

SyntaxError::Kind failure(std::string_view query, bool& accepted) {
  Recognizer recognizer;
  accepted = recognizer.parse(query);
  return recognizer.error().kind;
}

// The deepest nesting of `open`...`close` around `inner` that the recognizer accepts, right
// below its depth limit; empty (with a test failure) when the nesting fails otherwise.
std::string deepest(std::string_view prefix, std::string_view open, std::string_view inner,
                    std::string_view close, std::string_view suffix = "") {
  auto nest = [&](std::size_t n) {
    std::string q(prefix);
    for (std::size_t i = 0; i < n; ++i) q += open;
    q += inner;
    for (std::size_t i = 0; i < n; ++i) q += close;
    q += suffix;
    return q;
  };
  bool accepted = false;
  std::size_t low = 1;  // accepted
  std::size_t high = 2;
  while (true) {
    const SyntaxError::Kind kind = failure(nest(high), accepted);
    if (!accepted) {
      if (kind == SyntaxError::Kind::kTooDeep) break;
      ADD_FAILURE() << "fails before the depth limit: " << nest(1);
      return "";
    }
    low = high;
    high *= 2;
  }
  while (high - low > 1) {
    const std::size_t mid = (low + high) / 2;
    failure(nest(mid), accepted);
    (accepted ? low : high) = mid;
  }
  return nest(low);
}

TEST(Parse, NestingAtTheDepthLimitBuildsOnASmallStack) {
  const std::vector<std::string> queries = {
      deepest("RETURN ", "(", "1", ")"),
      deepest("RETURN ", "[", "1", "]"),
      deepest("RETURN ", "-(", "x", ")"),
      deepest("RETURN ", "{a: ", "1", "}"),
      deepest("RETURN ", "f(", "", ")"),
      deepest("RETURN ", "[x IN ", "xs", " | x]"),
      deepest("RETURN ", "CASE WHEN ", "a", " THEN 1 END"),
      deepest("RETURN ", "COUNT { RETURN ", "1", " }"),
      deepest("", "CALL { ", "RETURN 1", " }"),
      deepest("MATCH (n) ", "FOREACH (x IN [] | ", "DELETE x", ")"),
      deepest("RETURN ", "[(a)-->(b) | ", "b", "]"),
      deepest("MATCH ", "({k: ", "1", "})"),
  };
  for (const std::string& query : queries) {
    if (query.empty()) continue;
    on_small_stack([&] {
      auto parsed = parse(query);
      ASSERT_TRUE(parsed.ok()) << query.substr(0, 80);
      EXPECT_FALSE(compact(parsed.value()).empty());
    });
  }
}

// Chains at one level fold into expressions as deep as they are long; building and dumping
// them needs no stack in proportion.
TEST(Parse, LongChainsBuildAndDumpOnASmallStack) {
  constexpr int kLength = 100000;
  std::string sum = "RETURN 1";
  std::string nots = "RETURN ";
  std::string lookups = "RETURN n";
  for (int i = 0; i < kLength; ++i) {
    sum += " + 1";
    nots += "NOT ";
    lookups += ".k";
  }
  nots += "x";
  for (const std::string& query : {sum, nots, lookups}) {
    on_small_stack([&] {
      auto parsed = parse(query);
      ASSERT_TRUE(parsed.ok()) << query.substr(0, 80);
      const std::string lines = ast::dump(parsed.value(), DumpStyle::kLines);
      EXPECT_GT(lines.size(), static_cast<std::size_t>(kLength)) << query.substr(0, 80);
    });
  }
}

// No guard message arises from text the grammar accepts.
TEST(Parse, EveryAcceptedCorpusQueryBuilds) {
  std::vector<std::string> queries;
  ASSERT_TRUE(bench::load_corpus(MORVANE_CORPUS_PATH, queries)) << MORVANE_CORPUS_PATH;
  int accepted = 0;
  for (const std::string& query : queries) {
    Recognizer recognizer;
    if (!recognizer.parse(query)) continue;
    ++accepted;
    auto parsed = parse(query);
    EXPECT_TRUE(parsed.ok()) << query << "\n" << (parsed.ok() ? "" : parsed.error().display());
    auto detailed = parse_with_detail(query);
    EXPECT_TRUE(detailed.ok()) << query;
  }
  EXPECT_GT(accepted, 0);
}

// A recognizer reused across queries, accepted and refused ones in turn, gives what a fresh one
// gives.
TEST(Parse, ReusedRecognizerGivesTheSameResults) {
  std::vector<std::string> queries;
  ASSERT_TRUE(bench::load_corpus(MORVANE_CORPUS_PATH, queries)) << MORVANE_CORPUS_PATH;
  Recognizer reused;
  for (const std::string& query : queries) {
    auto fresh = parse_with_detail(query);
    auto again = parse_with_detail(query, reused);
    ASSERT_EQ(fresh.ok(), again.ok()) << query;
    if (fresh.ok()) {
      EXPECT_EQ(compact(fresh.value()), compact(again.value())) << query;
    } else {
      EXPECT_EQ(fresh.error().message, again.error().message) << query;
      EXPECT_EQ(fresh.error().position, again.error().position) << query;
    }
    auto plain = parse(query, reused);
    EXPECT_EQ(plain.ok(), fresh.ok()) << query;
  }
}

}  // namespace
}  // namespace morvane::parser
