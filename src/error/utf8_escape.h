// Query text as error texts echo it. A query from C++ or from the tool need not be valid UTF-8
// (a Python str always is), but every error text is: each byte that begins no well-formed
// UTF-8 sequence is written as \x{hex} with two lower-case digits, as schema::debug_quote
// writes it, and everything else is copied unchanged, so valid text reads exactly as written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace morvane {

// The width of an escaped byte, \x{hh}.
inline constexpr std::size_t kEscapedByteWidth = 6;

// The length (1 to 4) of the well-formed UTF-8 sequence that begins at text[at], or 0 when the
// byte there begins none: a continuation byte, C0, C1 or F5 to FF, a sequence cut short, an
// overlong form, a surrogate or a value above U+10FFFF. `at` is below text.size().
inline std::size_t utf8_sequence_length(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[at + k]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  std::size_t length;
  unsigned char low = 0x80;  // the range of the second byte, narrower after E0, ED, F0 and F4
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() - at < length || byte(1) < low || byte(1) > high) return 0;
  for (std::size_t k = 2; k < length; ++k) {
    if ((byte(k) & 0xC0) != 0x80) return 0;
  }
  return length;
}

// Appends `text` to `out`, each byte that begins no well-formed sequence as \x{hex}.
inline void append_escaping_invalid_utf8(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::size_t copied = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    std::uint64_t eight;  // ASCII eight bytes at a time
    if (text.size() - at >= sizeof eight &&
        (std::memcpy(&eight, text.data() + at, sizeof eight), (eight & 0x8080808080808080u) == 0)) {
      at += sizeof eight;
      continue;
    }
    const std::size_t length = utf8_sequence_length(text, at);
    if (length != 0) {
      at += length;
      continue;
    }
    const auto invalid = static_cast<unsigned char>(text[at]);
    out.append(text, copied, at - copied);
    out += "\\x{";
    out += kHex[invalid >> 4];
    out += kHex[invalid & 15];
    out += '}';
    copied = ++at;
  }
  out.append(text, copied);
}

inline std::string escape_invalid_utf8(std::string_view text) {
  std::string out;
  append_escaping_invalid_utf8(out, text);
  return out;
}

}  // namespace morvane
