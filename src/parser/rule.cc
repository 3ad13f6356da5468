#include "parser/rule.h"

#include <iterator>

namespace morvane::parser {
namespace {

// A rule's name is its enumerator's, less a trailing underscore (`namespace_`).
constexpr std::string_view name_of(std::string_view enumerator) {
  return enumerator.ends_with('_') ? enumerator.substr(0, enumerator.size() - 1) : enumerator;
}

constexpr std::string_view kRuleNames[] = {
#define MORVANE_RULE(name) name_of(#name),
#include "parser/rules.def"
};
static_assert(std::size(kRuleNames) == kRuleCount, "rules.def lists the grammar's 109 rules");

}  // namespace

std::string_view rule_name(Rule rule) { return kRuleNames[static_cast<std::size_t>(rule)]; }

}  // namespace morvane::parser
