#include "parser/builder_text.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <system_error>

#include <unicode/locid.h>
#include <unicode/unistr.h>

#include "parser/skip.h"

namespace morvane::parser::builder {

namespace {

char ascii_upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool is_white_space(char32_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
         c == 0x205F || c == 0x3000;
}

// The code point that starts at text[at] and its length in bytes. Texts are valid UTF-8.
char32_t decode(std::string_view text, std::size_t at, std::size_t& length) {
  const auto lead = static_cast<unsigned char>(text[at]);
  length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  if (at + length > text.size()) length = text.size() - at;
  char32_t c = length == 1 ? lead : lead & (0x3F >> (length - 1));
  for (std::size_t i = 1; i < length; ++i) {
    c = (c << 6) | (static_cast<unsigned char>(text[at + i]) & 0x3F);
  }
  return c;
}

// Digits of `text` in `radix`, all of them, within the signed 64-bit range.
std::optional<std::int64_t> read_digits(std::string_view text, unsigned radix, bool negative) {
  if (text.empty()) return std::nullopt;
  const std::uint64_t limit =
      static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + (negative ? 1 : 0);
  std::uint64_t value = 0;
  for (char c : text) {
    unsigned digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<unsigned>(c - '0');
    } else if (c >= 'a' && c <= 'z') {
      digit = static_cast<unsigned>(c - 'a') + 10;
    } else if (c >= 'A' && c <= 'Z') {
      digit = static_cast<unsigned>(c - 'A') + 10;
    } else {
      return std::nullopt;
    }
    if (digit >= radix) return std::nullopt;
    if (value > (limit - digit) / radix) return std::nullopt;
    value = value * radix + digit;
  }
  if (negative) return static_cast<std::int64_t>(0 - value);
  return static_cast<std::int64_t>(value);
}

// One bound of a range: optional sign, then decimal digits, after trimming.
std::optional<std::int64_t> read_bound(std::string_view piece) {
  piece = trim_white_space(piece);
  bool negative = false;
  if (!piece.empty() && (piece[0] == '+' || piece[0] == '-')) {
    negative = piece[0] == '-';
    piece.remove_prefix(1);
  }
  for (char c : piece) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  return read_digits(piece, 10, negative);
}

// Whether a float text that from_chars found out of range is too large (true) or too small.
bool float_overflows(std::string_view text) {
  std::int64_t magnitude = 0;  // the decimal exponent of the leading nonzero digit, roughly
  std::size_t i = 0;
  bool seen_nonzero = false;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (text[i] != '0') seen_nonzero = true;
    if (seen_nonzero) ++magnitude;
  }
  if (i < text.size() && text[i] == '.') {
    for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
      if (text[i] != '0') seen_nonzero = true;
      if (!seen_nonzero) --magnitude;
    }
  }
  std::int64_t exponent = 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
      if (exponent < 1'000'000'000) exponent = exponent * 10 + (text[i] - '0');
    }
    if (negative) exponent = -exponent;
  }
  return magnitude + exponent > 0;
}

}  // namespace

bool starts_with_ascii_ci(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (ascii_upper(text[i]) != ascii_upper(prefix[i])) return false;
  }
  return true;
}

bool equals_ascii_ci(std::string_view text, std::string_view word) {
  return text.size() == word.size() && starts_with_ascii_ci(text, word);
}

bool next_word_is(std::string_view text, std::string_view word) {
  return starts_with_ascii_ci(text.substr(skip_implicit(text, 0)), word);
}

bool keyword_after(std::string_view text, std::string_view first, std::string_view word) {
  return starts_with_ascii_ci(text.substr(past_word(text, first)), word);
}

std::size_t past_word(std::string_view text, std::string_view first) {
  return skip_implicit(text, std::min(text.size(), skip_implicit(text, 0) + first.size()));
}

std::string to_upper(std::string_view text) {
  bool ascii = true;
  for (char c : text) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii) {
    std::string out(text);
    for (char& c : out) c = ascii_upper(c);
    return out;
  }
  icu::UnicodeString wide = icu::UnicodeString::fromUTF8(
      icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())));
  std::string out;
  wide.toUpper(icu::Locale::getRoot()).toUTF8String(out);
  return out;
}

std::string_view trim_white_space(std::string_view text) {
  std::size_t begin = 0;
  while (begin < text.size()) {
    std::size_t length;
    if (!is_white_space(decode(text, begin, length))) break;
    begin += length;
  }
  std::size_t end = text.size();
  while (end > begin) {
    std::size_t start = end - 1;
    while (start > begin && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) --start;
    std::size_t length;
    if (!is_white_space(decode(text, start, length))) break;
    end = start;
  }
  return text.substr(begin, end - begin);
}

std::int64_t read_integer(std::string_view text) {
  std::optional<std::int64_t> value;
  if (text.size() >= 2 && (text.substr(0, 2) == "0x" || text.substr(0, 2) == "0X")) {
    value = read_digits(text.substr(2), 16, false);
  } else if (text.substr(0, 2) == "0o") {
    value = read_digits(text.substr(2), 8, false);
  } else {
    value = read_digits(text, 10, false);
  }
  return value.value_or(0);
}

double read_float(std::string_view text) {
  double value = 0.0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value, std::chars_format::general);
  if (ptr != end) return 0.0;
  if (ec == std::errc::result_out_of_range) {
    return float_overflows(text) ? std::numeric_limits<double>::infinity() : 0.0;
  }
  if (ec != std::errc()) return 0.0;
  return value;
}

ast::Range read_range(std::string_view text) {
  while (!text.empty() && text.front() == '*') text.remove_prefix(1);
  text = trim_white_space(text);
  ast::Range range;
  if (text.empty()) return range;
  const std::size_t dots = text.find("..");
  if (dots == std::string_view::npos) {
    range.lower = read_bound(text);
    range.upper = range.lower;
    return range;
  }
  std::string_view upper = text.substr(dots + 2);
  upper = upper.substr(0, upper.find(".."));
  range.lower = read_bound(text.substr(0, dots));
  range.upper = read_bound(upper);
  return range;
}

}  // namespace morvane::parser::builder
