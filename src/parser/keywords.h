// The words of the grammar's `keyword` rule, in the order it tries them. It commits to the first
// word whose letters match, so a word that an earlier word begins (ASC after AS) is never
// reserved. The grammar and the fast matcher both read this one list.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace morvane::parser {

inline constexpr std::array<std::string_view, 56> kKeywordWords = {
    "ALL",      "AND",    "ANY",     "AS",       "ASC",      "ASCENDING", "BY",     "CALL",
    "CASE",     "CONTAINS", "COUNT", "CREATE",   "DELETE",   "DESC",      "DESCENDING",
    "DETACH",   "DISTINCT", "DO",    "DROP",     "ELSE",     "END",       "ENDS",   "EXISTS",
    "FALSE",    "FOREACH", "FOR",    "FROM",     "IN",       "IS",        "LIMIT",  "MATCH",
    "MERGE",    "NEW",    "NONE",    "NOT",      "NULL",     "ON",        "OPTIONAL", "OR",
    "ORDER",    "REDUCE", "REMOVE",  "RETURN",   "SET",      "SINGLE",    "SKIP",   "STARTS",
    "THEN",     "TRUE",   "UNION",   "UNWIND",   "WHEN",     "WHERE",     "WITH",   "XOR",
    "YIELD"};

// The keywords grouped by first letter, each group in list order, so a lookup tries only the
// words that can match.
struct KeywordIndex {
  std::array<std::uint8_t, 27> start{};  // group of letter i: order[start[i], start[i + 1])
  std::array<std::uint8_t, kKeywordWords.size()> order{};
};
constexpr KeywordIndex make_keyword_index() {
  KeywordIndex index;
  std::size_t n = 0;
  for (int letter = 0; letter < 26; ++letter) {
    index.start[letter] = static_cast<std::uint8_t>(n);
    for (std::size_t k = 0; k < kKeywordWords.size(); ++k) {
      if (kKeywordWords[k][0] == 'A' + letter) index.order[n++] = static_cast<std::uint8_t>(k);
    }
  }
  index.start[26] = static_cast<std::uint8_t>(n);
  return index;
}
inline constexpr KeywordIndex kKeywordIndex = make_keyword_index();
static_assert(kKeywordIndex.start[26] == kKeywordWords.size(), "every keyword starts with A-Z");

}  // namespace morvane::parser
