// The grammar's implicit skip, WHITESPACE* ~ (COMMENT ~ WHITESPACE*)*: what may stand between
// the elements of a rule outside atomic rules. The recognizer runs it as it matches; the builder
// runs it again over pair texts to find what the pairs do not carry (an optional keyword, an
// operator).
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace morvane::parser {

// The bytes of WHITESPACE: blank, tab, CR and LF. The grammar's WHITESPACE rule, the engine's
// and the fast matcher's skip and skip_implicit() below all read this one table.
inline constexpr std::array<bool, 256> kSkipWhitespace = [] {
  std::array<bool, 256> table{};
  for (const unsigned char c : {' ', '\t', '\r', '\n'}) table[c] = true;
  return table;
}();

// The bytes the skip can pass over first: WHITESPACE and the "/" that opens a comment.
inline constexpr std::array<bool, 256> kSkipStart = [] {
  std::array<bool, 256> table = kSkipWhitespace;
  table['/'] = true;
  return table;
}();

// The offset in `text` past what the skip passes over from `at`: blanks, tabs, CR and LF, "//"
// to the end of the line (line feed included) and "/*" to the first "*/". A "/*" without a
// closing "*/" is no comment: the skip stops there.
inline std::size_t skip_implicit(std::string_view text, std::size_t at) {
  for (;;) {
    while (at < text.size() && kSkipWhitespace[static_cast<unsigned char>(text[at])]) ++at;
    if (at + 1 >= text.size() || text[at] != '/') return at;
    if (text[at + 1] == '/') {
      const std::size_t eol = text.find('\n', at + 2);
      at = eol == std::string_view::npos ? text.size() : eol + 1;
    } else if (text[at + 1] == '*') {
      const std::size_t close = text.find("*/", at + 2);
      if (close == std::string_view::npos) return at;
      at = close + 2;
    } else {
      return at;
    }
  }
}

}  // namespace morvane::parser
