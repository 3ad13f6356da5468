// A predictive matcher for the rule `cypher`, run in front of the recognizer engine: the same
// grammar written as one hand-made function per rule over the bytes, with ordered choices pruned
// by the next byte or word, the clause list of a query matched once, and the operator chain of an
// expression matched in one loop. It writes the engine's tape format directly.
//
// Contract, against the engine's own run (Recognizer::Mode::kEngine):
// - kAccepted: the engine accepts the input, with exactly the pairs the matcher wrote;
// - kRefused: the engine refuses the input (its recording run then builds the error);
// - kGaveUp: the matcher met a construct it leaves to the engine (REDUCE) or came near one of
//   its limits, and says nothing; the engine decides.
// The matcher gives up well before the engine's depth and work limits (kMaxFastNesting, and a
// work budget a small multiple of the input size), so it never accepts a text that the engine
// refuses for either, and its recursion for a text is shallower than the engine's.
//
// The tape is the caller's vector, grown as needed and never shrunk (as the engine keeps it);
// pairs hold offsets into `input`, which must outlive them. Nothing survives a call, so any
// number of calls may run at once on different tapes and scratch strings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "parser/pair.h"
#include "parser/stack_bound.h"

namespace morvane::parser {

// How deeply the matcher lets expressions, subqueries and FOREACH clauses nest before it gives
// up. Between two such levels the engine nests at most about 25 rule calls (a map value inside
// a node pattern inside a pattern comprehension is the longest way round), and at most 30
// below the last one, so on any text the matcher decides the engine stays under
// 25 * 24 + 30 = 630 of its kMaxRuleDepth = 1000.
inline constexpr std::uint32_t kMaxFastNesting = 24;

struct FastMatch {
  enum class Result : std::uint8_t { kAccepted, kRefused, kGaveUp };
  Result result;
  std::uint32_t tape_size;  // pairs in use at the front of the tape; 0 unless kAccepted
};

// The zero bytes after its copy of the input that the matcher may read. It looks at most a few
// bytes beyond a position it has checked, so its byte reads need no bounds test.
inline constexpr std::size_t kFastPadding = 16;

// Matches `input` from Rule::cypher, writing pairs to `tape` from index 0. `scratch` holds a
// copy of the input and kFastPadding zero bytes while the matcher runs; keep it between calls
// to reuse its room. The matcher gives up where `stack` is reached.
FastMatch fast_match(std::string_view input, std::vector<Pair>& tape, std::string& scratch,
                     StackBound stack);

}  // namespace morvane::parser
