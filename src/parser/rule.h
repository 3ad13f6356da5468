// The grammar's rules, in grammar order (listed once, in rules.def). A rule's value orders
// expected-rule lists in syntax errors, and its name is the text those errors and the builder's
// messages show.
#pragma once

#include <cstdint>
#include <string_view>

namespace morvane::parser {

enum class Rule : std::uint8_t {
#define MORVANE_RULE(name) name,
#include "parser/rules.def"
};

// The grammar has 109 rules; rule.cc checks rules.def against this count.
inline constexpr int kRuleCount = 109;

// The rule's debug name ("EOI", "match_clause", ...). The view is static.
std::string_view rule_name(Rule rule);

}  // namespace morvane::parser
