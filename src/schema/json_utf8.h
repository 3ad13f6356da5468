// UTF-8 decoding for the schema's JSON form: the reader checks with it that every name it
// decodes is valid UTF-8, and the error wording steps through a quoted text with it. What is
// well-formed is decided by utf8_sequence_length, as for every other text the module checks.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "error/utf8_escape.h"

namespace morvane::schema {

// The next code point of `text` at `at`, advancing `at`; nothing (and `at` past one byte) for a
// byte that does not start a well-formed UTF-8 sequence. `at` is below text.size().
inline std::optional<char32_t> next_code_point(std::string_view text, std::size_t& at) {
  static constexpr unsigned char kLeadBits[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
  const std::size_t length = utf8_sequence_length(text, at);
  if (length == 0) {
    ++at;
    return std::nullopt;
  }
  char32_t cp = static_cast<unsigned char>(text[at]) & kLeadBits[length];
  for (std::size_t k = 1; k < length; ++k) {
    cp = (cp << 6) | (static_cast<unsigned char>(text[at + k]) & 0x3F);
  }
  at += length;
  return cp;
}

}  // namespace morvane::schema
