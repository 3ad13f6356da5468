// Differential fuzz target for the fast matcher: on any bytes, its acceptance comes with the
// engine's exact tape (Recognizer::Mode::kEngine), its refusal only where the engine refuses,
// and the recognizer with the matcher in front (Mode::kFast) gives the engine's result, error
// included. Giving up is always allowed.
//
// recognizer.dict helps here too: fast_matcher_fuzzer -dict=recognizer.dict.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <vector>

#include "parser/fast_matcher.h"
#include "parser/recognizer.h"

namespace {

using morvane::parser::FastMatch;
using morvane::parser::Pair;
using morvane::parser::Recognizer;
using morvane::parser::Rule;

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "fast_matcher_fuzzer: %s\n", what);
  __builtin_trap();
}

bool same_pairs(const Pair* a, std::size_t a_size, const Pair* b, std::size_t b_size) {
  return std::equal(a, a + a_size, b, b + b_size, [](const Pair& x, const Pair& y) {
    return x.begin == y.begin && x.end == y.end && x.next == y.next && x.rule == y.rule;
  });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::vector<Pair> tape;
  std::string scratch;
  const FastMatch fast = morvane::parser::fast_match(
      input, tape, scratch, morvane::parser::StackBound::of_current_thread());
  Recognizer engine;
  const bool engine_ok = engine.parse(input, Rule::cypher, Recognizer::Mode::kEngine);
  if (fast.result == FastMatch::Result::kAccepted) {
    if (!engine_ok) fail("the matcher accepts what the engine refuses");
    if (!same_pairs(tape.data(), fast.tape_size, engine.pairs().data(), engine.pairs().size())) {
      fail("the matcher's pairs differ from the engine's");
    }
  } else if (fast.result == FastMatch::Result::kRefused && engine_ok) {
    fail("the matcher refuses what the engine accepts");
  }
  Recognizer front;
  const bool front_ok = front.parse(input, Rule::cypher, Recognizer::Mode::kFast);
  if (front_ok != engine_ok) fail("the modes disagree on acceptance");
  if (front_ok) {
    if (!same_pairs(front.pairs().data(), front.pairs().size(), engine.pairs().data(),
                    engine.pairs().size())) {
      fail("the modes disagree on the pairs");
    }
  } else if (front.error().display != engine.error().display ||
             front.error().kind != engine.error().kind) {
    fail("the modes disagree on the error");
  }
  return 0;
}
