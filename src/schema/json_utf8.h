// UTF-8 decoding for the schema's JSON form: the reader checks with it that every name it
// decodes is valid UTF-8, and the error wording steps through a quoted text with it.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace morvane::schema {

// The next code point of `text` at `at`, advancing `at`; nothing (and `at` past one byte) for a
// byte that does not start a well-formed UTF-8 sequence (overlong forms, surrogates and values
// above U+10FFFF are ill-formed). `at` is below text.size().
inline std::optional<char32_t> next_code_point(std::string_view text, std::size_t& at) {
  unsigned char lead = static_cast<unsigned char>(text[at]);
  std::size_t length;
  char32_t cp;
  char32_t min;
  if (lead < 0x80) {
    ++at;
    return lead;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, cp = lead & 0x1F, min = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, cp = lead & 0x0F, min = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, cp = lead & 0x07, min = 0x10000;
  } else {
    ++at;
    return std::nullopt;
  }
  if (text.size() - at < length) {
    ++at;
    return std::nullopt;
  }
  for (std::size_t k = 1; k < length; ++k) {
    unsigned char next = static_cast<unsigned char>(text[at + k]);
    if ((next & 0xC0) != 0x80) {
      ++at;
      return std::nullopt;
    }
    cp = (cp << 6) | (next & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++at;
    return std::nullopt;
  }
  at += length;
  return cp;
}

}  // namespace morvane::schema
