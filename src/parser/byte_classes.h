// The ASCII byte classes of the grammar (ASCII_DIGIT, ASCII_ALPHA, ...) as 256-entry tables:
// the engine's Class rules and the fast matcher read the same ones.
#pragma once

#include <array>

namespace morvane::parser {

using ByteTable = std::array<bool, 256>;

template <char Lo, char Hi>
constexpr ByteTable range_table() {
  ByteTable t{};
  for (int c = static_cast<unsigned char>(Lo); c <= static_cast<unsigned char>(Hi); ++c) {
    t[c] = true;
  }
  return t;
}
constexpr ByteTable union_table(ByteTable a, ByteTable b) {
  for (int c = 0; c < 256; ++c) a[c] = a[c] || b[c];
  return a;
}

inline constexpr ByteTable kDigit = range_table<'0', '9'>();
inline constexpr ByteTable kOctal = range_table<'0', '7'>();
inline constexpr ByteTable kAlpha = union_table(range_table<'a', 'z'>(), range_table<'A', 'Z'>());
inline constexpr ByteTable kAlphanumeric = union_table(kAlpha, kDigit);
inline constexpr ByteTable kHexDigit =
    union_table(kDigit, union_table(range_table<'a', 'f'>(), range_table<'A', 'F'>()));

}  // namespace morvane::parser
