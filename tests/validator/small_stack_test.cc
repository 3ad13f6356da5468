// On a thread whose stack is too small for a query's nesting, each stage that recurses over it
// (recognizer, builder, semantic walk) stops with the nesting error where its stack bound was
// met, rather than overflowing. The tape and the tree are made on the test's own thread, which
// has room, so that each later stage meets the bound itself.
#include <gtest/gtest.h>
#include <pthread.h>

#include <functional>
#include <string>

#include "parser/builder.h"
#include "parser/parse.h"
#include "parser/recognizer.h"
#include "parser/stack_bound.h"
#include "validate_test_util.h"
#include "validator/semantic.h"
#include "validator/suggestion_index.h"

namespace morvane::validator::testing {
namespace {

// Runs `body` on a new thread with a stack of `size` bytes and waits for it.
void run_on_stack(std::size_t size, const std::function<void()>& body) {
  pthread_attr_t attributes;
  ASSERT_EQ(pthread_attr_init(&attributes), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attributes, size), 0);
  pthread_t thread;
  auto start = [](void* argument) -> void* {
    (*static_cast<const std::function<void()>*>(argument))();
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attributes, start, const_cast<std::function<void()>*>(&body)),
            0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attributes);
}

// Some room above the reserve, far less than any stage needs for 400 nested FOREACH clauses.
constexpr std::size_t kSmallStack = parser::kStackReserve + (std::size_t{32} << 10);

std::string nested_foreach(int levels) {
  std::string query = "MATCH (n) ";
  for (int i = 0; i < levels; ++i) query += "FOREACH (x IN [1] | ";
  query += "SET n.a = 1";
  query.append(static_cast<std::size_t>(levels), ')');
  return query;
}

constexpr const char* kNestingError = "query nested deeper than 1000 levels";

TEST(SmallStack, EachStageEndsInTheNestingError) {
  const std::string query = nested_foreach(400);
  parser::Recognizer roomy;
  ASSERT_TRUE(roomy.parse(query)) << roomy.error().display;

  run_on_stack(kSmallStack, [&] {
    parser::Recognizer recognizer;
    EXPECT_FALSE(recognizer.parse(query));
    EXPECT_EQ(recognizer.error().kind, parser::SyntaxError::Kind::kTooDeep);
    EXPECT_NE(recognizer.error().display.find(kNestingError), std::string::npos);
  });

  run_on_stack(kSmallStack, [&] {
    parser::builder::Builder builder(query, roomy.pairs());
    EXPECT_FALSE(builder.build_query(0));
    const parser::SyntaxError* deep = builder.too_deep();
    ASSERT_NE(deep, nullptr);
    // Placed where a FOREACH's list or body begins, past the first few levels.
    EXPECT_EQ(deep->line, 1u);
    EXPECT_GT(deep->column, 100u);
    EXPECT_NE(deep->display.find(kNestingError), std::string::npos);
    EXPECT_EQ(builder.take_error().display(), "Parse error: " + deep->display);
  });

  auto tree = parser::parse(query);
  ASSERT_TRUE(tree.ok());
  const schema::Schema schema = schema_from_json(kEmptySchema);
  const SuggestionIndex suggestions(schema);
  run_on_stack(kSmallStack, [&] {
    semantic::SemanticValidator validator(schema, suggestions, tree.value());
    validator.validate();
    ASSERT_TRUE(validator.too_deep_at().has_value());
    EXPECT_EQ(query.compare(*validator.too_deep_at(), 3, "[1]"), 0);
  });
  semantic::SemanticValidator roomy_validator(schema, suggestions, tree.value());
  roomy_validator.validate();
  EXPECT_FALSE(roomy_validator.too_deep_at().has_value());
}

}  // namespace
}  // namespace morvane::validator::testing
