// Pair: one match of a grammar rule, as the recognizer's tape stores it.
#pragma once

#include <cstdint>

#include "parser/rule.h"

namespace morvane::parser {

// One match of a rule: its text is query[begin, end); its children are the pairs at indices
// [self + 1, next), read one after another by following their own `next`.
struct Pair {
  std::uint32_t begin;
  std::uint32_t end;
  std::uint32_t next;
  Rule rule;
};

}  // namespace morvane::parser
