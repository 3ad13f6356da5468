// Building the syntax error report once a match has failed: line and column in characters, the
// shown line, the marker and the six-line display. A byte that begins no well-formed UTF-8
// sequence counts as one character and is shown as \x{hex} (see error/utf8_escape.h); the
// marker stands under it as shown.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "parser/recognizer.h"

namespace morvane::parser {

// Fills `error` (every field; its buffers are reused, so a recognizer that keeps one error
// allocates nothing here once warm). `expected` is the raw failure record (any order,
// duplicates allowed); it is sorted and deduplicated here. For the limit kinds it is ignored.
void make_syntax_error(std::string_view input, std::uint32_t offset, SyntaxError::Kind kind,
                       std::span<const Rule> expected, SyntaxError& error);

}  // namespace morvane::parser
