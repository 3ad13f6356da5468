// Entry into the grammar's rules (grammar.cc).
#pragma once

#include "parser/engine.h"
#include "parser/rule.h"

namespace morvane::parser::grammar {

// Matches rule `start` at the state's position.
bool match(Rule start, engine::State& s);

}  // namespace morvane::parser::grammar
