// Helpers shared by the builder suites: parse a text and render its tree (or a part of it) in
// the compact canonical dump, and a table driver whose failures name the input row.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace morvane::parser::builder_test {

// The compact dump of the tree of `query`, or "error: " and the CypherError's display text.
std::string tree(std::string_view query);

// The compact dump of the expression `expr`, read as the only item of "RETURN <expr>".
std::string expr_tree(std::string_view expr);

// The compact dump of the pattern parts of "MATCH <pattern>".
std::string pattern_tree(std::string_view pattern);

struct Row {
  std::string_view input;
  std::string_view expected;
};

// Checks render(row.input) == row.expected for every row.
void expect_rows(std::span<const Row> rows, std::string (*render)(std::string_view));

}  // namespace morvane::parser::builder_test
