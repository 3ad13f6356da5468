#include "builder_test_util.h"

#include <gtest/gtest.h>

#include <string>
#include <variant>

#include "parser/ast.h"
#include "parser/parse.h"

namespace morvane::parser::builder_test {

std::string tree(std::string_view query) {
  auto parsed = parse(query);
  if (!parsed) return "error: " + parsed.error().display();
  return ast::dump(parsed.value(), ast::DumpStyle::kCompact);
}

std::string expr_tree(std::string_view expr) {
  const std::string query = "RETURN " + std::string(expr);
  auto parsed = parse(query);
  if (!parsed) return "error: " + parsed.error().display();
  const ast::CypherQuery& q = parsed.value();
  const auto& regular = std::get<ast::RegularQuery>(q.root());
  const auto& part = std::get<ast::SinglePartQuery>(regular.single_query.variant);
  const ast::ReturnClause& ret = q[part.return_clause];
  const auto& items = std::get<ast::ReturnItems::Items>(ret.items.variant);
  return ast::dump_expr(q, q[items][0].expr, ast::DumpStyle::kCompact);
}

std::string pattern_tree(std::string_view pattern) {
  const std::string dumped = tree("MATCH " + std::string(pattern));
  constexpr std::string_view kPrefix = "Regular{SinglePart{Match{";
  constexpr std::string_view kSuffix = "}}}";
  if (!dumped.starts_with(kPrefix) || !dumped.ends_with(kSuffix)) return dumped;
  return dumped.substr(kPrefix.size(), dumped.size() - kPrefix.size() - kSuffix.size());
}

void expect_rows(std::span<const Row> rows, std::string (*render)(std::string_view)) {
  for (const Row& row : rows) {
    EXPECT_EQ(render(row.input), row.expected) << "input: " << row.input;
  }
}

}  // namespace morvane::parser::builder_test
