#include "schema/json_errors.h"

#include <unicode/uchar.h>

#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <utility>

#include "error/result.h"
#include "schema/json_utf8.h"

namespace morvane::schema {
namespace {

struct MessageRow {
  JsonErrorCode code;
  std::string_view text;
};

// One row per JsonErrorCode, in its order; "{}" marks where a message takes its arguments.
constexpr std::array<MessageRow, kJsonErrorCodeCount> kMessages = {{
    {JsonErrorCode::EofValue, "EOF while parsing a value"},
    {JsonErrorCode::EofString, "EOF while parsing a string"},
    {JsonErrorCode::EofList, "EOF while parsing a list"},
    {JsonErrorCode::EofObject, "EOF while parsing an object"},
    {JsonErrorCode::ExpectedValue, "expected value"},
    {JsonErrorCode::ExpectedIdent, "expected ident"},
    {JsonErrorCode::ExpectedColon, "expected `:`"},
    {JsonErrorCode::ExpectedCommaOrBracket, "expected `,` or `]`"},
    {JsonErrorCode::ExpectedCommaOrBrace, "expected `,` or `}`"},
    {JsonErrorCode::KeyMustBeString, "key must be a string"},
    {JsonErrorCode::TrailingComma, "trailing comma"},
    {JsonErrorCode::TrailingCharacters, "trailing characters"},
    {JsonErrorCode::InvalidNumber, "invalid number"},
    {JsonErrorCode::NumberOutOfRange, "number out of range"},
    {JsonErrorCode::InvalidEscape, "invalid escape"},
    {JsonErrorCode::ControlCharacter,
     "control character (\\u0000-\\u001F) found while parsing a string"},
    {JsonErrorCode::InvalidUnicode, "invalid unicode code point"},
    {JsonErrorCode::LoneLeadingSurrogate, "lone leading surrogate in hex escape"},
    {JsonErrorCode::UnexpectedEndOfHexEscape, "unexpected end of hex escape"},
    {JsonErrorCode::InvalidType, "invalid type: {}, expected {}"},
    {JsonErrorCode::MissingNodes, "missing field `nodes`"},
    {JsonErrorCode::MissingRelationships, "missing field `relationships`"},
    {JsonErrorCode::DuplicateNodes, "duplicate field `nodes`"},
    {JsonErrorCode::DuplicateRelationships, "duplicate field `relationships`"},
    {JsonErrorCode::SchemaLength0, "invalid length 0, expected struct Schema with 2 elements"},
    {JsonErrorCode::SchemaLength1, "invalid length 1, expected struct Schema with 2 elements"},
    {JsonErrorCode::TupleLength0, "invalid length 0, expected a tuple of size 3"},
    {JsonErrorCode::TupleLength1, "invalid length 1, expected a tuple of size 3"},
    {JsonErrorCode::TupleLength2, "invalid length 2, expected a tuple of size 3"},
}};
static_assert(kMessages.size() == static_cast<std::size_t>(JsonErrorCode::TupleLength2) + 1,
              "one row per JsonErrorCode");
static_assert(
    [] {
      for (std::size_t i = 0; i < kMessages.size(); ++i) {
        if (static_cast<std::size_t>(kMessages[i].code) != i) return false;
      }
      return true;
    }(),
    "the rows of kMessages follow the order of JsonErrorCode");

// One row per Expected, in its order.
constexpr std::array<std::string_view, 5> kExpected = {
    "struct Schema", "a map", "a sequence", "a tuple of size 3", "a string",
};
static_assert(kExpected.size() == static_cast<std::size_t>(Expected::String) + 1,
              "one row per Expected");

// The message of `failure`: its row, with the value found and what was expected in the place
// of the {} of InvalidType's.
std::string message(const JsonFailure& failure) {
  const std::string_view text = kMessages[static_cast<std::size_t>(failure.code)].text;
  const std::string_view args[] = {failure.found,
                                   kExpected[static_cast<std::size_t>(failure.expected)]};
  const std::string_view* arg = args;
  std::string out;
  std::size_t from = 0;
  for (std::size_t at = text.find("{}"); at != std::string_view::npos;
       at = text.find("{}", from)) {
    out.append(text, from, at - from);
    out += *arg++;
    from = at + 2;
  }
  out.append(text, from);
  return out;
}

void append_hex(std::uint32_t value, std::string& out) {
  char buffer[8];
  auto end = std::to_chars(buffer, buffer + sizeof buffer, value, 16).ptr;
  out.append(buffer, end);
}

// Whether a non-ASCII character is written as \u{...} by debug_quote.
bool needs_unicode_escape(char32_t cp) {
  UChar32 c = static_cast<UChar32>(cp);
  if (u_hasBinaryProperty(c, UCHAR_GRAPHEME_EXTEND)) return true;
  switch (u_charType(c)) {
    case U_CONTROL_CHAR:
    case U_FORMAT_CHAR:
    case U_SURROGATE:
    case U_PRIVATE_USE_CHAR:
    case U_UNASSIGNED:
    case U_LINE_SEPARATOR:
    case U_PARAGRAPH_SEPARATOR:
    case U_SPACE_SEPARATOR:
      return true;
    default:
      return false;
  }
}

// A double the way error texts show it: the shortest digits that read back to the same value,
// laid out as plain decimals ("100000.0", "0.001234") from 1e-5 up to below 1e16 and in
// exponent form outside that ("1e16", "1.5e-7").
std::string float_text(double value) {
  char buffer[64];
  auto end =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific).ptr;
  std::string_view scientific(buffer, static_cast<std::size_t>(end - buffer));
  std::size_t e = scientific.find('e');
  if (e == std::string_view::npos) return std::string(scientific);  // inf or nan
  std::string out;
  std::string_view mantissa = scientific.substr(0, e);
  if (mantissa.front() == '-') {
    out += '-';
    mantissa.remove_prefix(1);
  }
  std::string digits;
  for (char c : mantissa) {
    if (c != '.') digits += c;
  }
  int exponent = 0;
  std::string_view exponent_text = scientific.substr(e + 1);
  if (exponent_text.front() == '+') exponent_text.remove_prefix(1);
  std::from_chars(exponent_text.data(), exponent_text.data() + exponent_text.size(), exponent);
  if (digits == "0") return out + "0.0";
  const int length = static_cast<int>(digits.size());
  const int kk = exponent + 1;  // 10^(kk-1) <= value < 10^kk
  const int k = kk - length;    // value = digits * 10^k
  if (k >= 0 && kk <= 16) {
    out += digits;
    out.append(static_cast<std::size_t>(k), '0');
    out += ".0";
  } else if (kk > 0 && kk <= 16) {
    out.append(digits, 0, static_cast<std::size_t>(kk));
    out += '.';
    out.append(digits, static_cast<std::size_t>(kk));
  } else if (kk > -5 && kk <= 0) {
    out += "0.";
    out.append(static_cast<std::size_t>(-kk), '0');
    out += digits;
  } else {
    out += digits[0];
    if (length > 1) {
      out += '.';
      out.append(digits, 1);
    }
    out += 'e';
    out += std::to_string(kk - 1);
  }
  return out;
}

// ---------------------------------------------------------------------------------------------
// The value of a number, worked out only to describe it.

// 1e0 to 1e308, each the double nearest to the power of ten.
constexpr double kPow10[] = {
    1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11,
    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22, 1e23,
    1e24, 1e25, 1e26, 1e27, 1e28, 1e29, 1e30, 1e31, 1e32, 1e33, 1e34, 1e35,
    1e36, 1e37, 1e38, 1e39, 1e40, 1e41, 1e42, 1e43, 1e44, 1e45, 1e46, 1e47,
    1e48, 1e49, 1e50, 1e51, 1e52, 1e53, 1e54, 1e55, 1e56, 1e57, 1e58, 1e59,
    1e60, 1e61, 1e62, 1e63, 1e64, 1e65, 1e66, 1e67, 1e68, 1e69, 1e70, 1e71,
    1e72, 1e73, 1e74, 1e75, 1e76, 1e77, 1e78, 1e79, 1e80, 1e81, 1e82, 1e83,
    1e84, 1e85, 1e86, 1e87, 1e88, 1e89, 1e90, 1e91, 1e92, 1e93, 1e94, 1e95,
    1e96, 1e97, 1e98, 1e99, 1e100, 1e101, 1e102, 1e103, 1e104, 1e105, 1e106, 1e107,
    1e108, 1e109, 1e110, 1e111, 1e112, 1e113, 1e114, 1e115, 1e116, 1e117, 1e118, 1e119,
    1e120, 1e121, 1e122, 1e123, 1e124, 1e125, 1e126, 1e127, 1e128, 1e129, 1e130, 1e131,
    1e132, 1e133, 1e134, 1e135, 1e136, 1e137, 1e138, 1e139, 1e140, 1e141, 1e142, 1e143,
    1e144, 1e145, 1e146, 1e147, 1e148, 1e149, 1e150, 1e151, 1e152, 1e153, 1e154, 1e155,
    1e156, 1e157, 1e158, 1e159, 1e160, 1e161, 1e162, 1e163, 1e164, 1e165, 1e166, 1e167,
    1e168, 1e169, 1e170, 1e171, 1e172, 1e173, 1e174, 1e175, 1e176, 1e177, 1e178, 1e179,
    1e180, 1e181, 1e182, 1e183, 1e184, 1e185, 1e186, 1e187, 1e188, 1e189, 1e190, 1e191,
    1e192, 1e193, 1e194, 1e195, 1e196, 1e197, 1e198, 1e199, 1e200, 1e201, 1e202, 1e203,
    1e204, 1e205, 1e206, 1e207, 1e208, 1e209, 1e210, 1e211, 1e212, 1e213, 1e214, 1e215,
    1e216, 1e217, 1e218, 1e219, 1e220, 1e221, 1e222, 1e223, 1e224, 1e225, 1e226, 1e227,
    1e228, 1e229, 1e230, 1e231, 1e232, 1e233, 1e234, 1e235, 1e236, 1e237, 1e238, 1e239,
    1e240, 1e241, 1e242, 1e243, 1e244, 1e245, 1e246, 1e247, 1e248, 1e249, 1e250, 1e251,
    1e252, 1e253, 1e254, 1e255, 1e256, 1e257, 1e258, 1e259, 1e260, 1e261, 1e262, 1e263,
    1e264, 1e265, 1e266, 1e267, 1e268, 1e269, 1e270, 1e271, 1e272, 1e273, 1e274, 1e275,
    1e276, 1e277, 1e278, 1e279, 1e280, 1e281, 1e282, 1e283, 1e284, 1e285, 1e286, 1e287,
    1e288, 1e289, 1e290, 1e291, 1e292, 1e293, 1e294, 1e295, 1e296, 1e297, 1e298, 1e299,
    1e300, 1e301, 1e302, 1e303, 1e304, 1e305, 1e306, 1e307, 1e308,
};
static_assert(std::size(kPow10) == 309);

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Whether `value * 10 + digit` would exceed `max`.
template <class T>
bool would_overflow(T value, T digit, T max) {
  return value >= max / 10 && (value > max / 10 || digit > max % 10);
}

int saturating_add(int a, int b) {
  long long sum = static_cast<long long>(a) + b;
  if (sum > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
  if (sum < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
  return static_cast<int>(sum);
}

// A number as conventional JSON readers take it: an integer while it fits 64 bits (signed when
// negative), otherwise a double.
struct Number {
  enum Kind { Unsigned, Signed, Float } kind = Unsigned;
  std::uint64_t u = 0;
  std::int64_t i = 0;
  double f = 0;

  std::string describe() const {
    switch (kind) {
      case Unsigned: return "integer `" + std::to_string(u) + "`";
      case Signed: return "integer `" + std::to_string(i) + "`";
      case Float: return "floating point `" + float_text(f) + "`";
    }
    return {};
  }
};

// significand * 10^exponent: one multiplication or division by a tabled power of ten (steps
// of 1e308 below the table), as JSON readers conventionally do; nothing beyond the double range.
std::optional<double> scale(bool positive, std::uint64_t significand, int exponent) {
  double value = static_cast<double>(significand);
  for (;;) {
    std::uint64_t magnitude = exponent < 0 ? 0 - static_cast<std::uint64_t>(exponent)
                                           : static_cast<std::uint64_t>(exponent);
    if (magnitude < std::size(kPow10)) {
      if (exponent >= 0) {
        value *= kPow10[magnitude];
        if (std::isinf(value)) return std::nullopt;
      } else {
        value /= kPow10[magnitude];
      }
      break;
    }
    if (value == 0) break;
    if (exponent >= 0) return std::nullopt;
    value /= 1e308;
    exponent += 308;
  }
  return positive ? value : -value;
}

// The value of `text`, a number the reader has read through (its '-' included), or the offset
// in `text` where it leaves the range of a double: just past the exponent digit that takes a
// positive exponent (of a nonzero significand) beyond 32 bits, or the end. An integer with a
// fraction or exponent, a positive one beyond 64 bits, -0 and a negative one below the 64-bit
// range are doubles; digits beyond 64 bits scale the value (integer digits) or are dropped
// (fraction digits).
Result<Number, std::size_t> number_value(std::string_view text) {
  constexpr std::uint64_t kMaxSignificand = std::numeric_limits<std::uint64_t>::max();
  std::size_t at = 0;
  const bool positive = text[0] != '-';
  if (!positive) ++at;
  const auto at_digit = [&] { return at < text.size() && is_digit(text[at]); };
  std::uint64_t significand = 0;
  int exponent = 0;
  bool long_integer = false;
  for (; at_digit(); ++at) {
    const auto digit = static_cast<std::uint64_t>(text[at] - '0');
    long_integer = long_integer || would_overflow(significand, digit, kMaxSignificand);
    if (long_integer) {
      exponent = saturating_add(exponent, 1);
    } else {
      significand = significand * 10 + digit;
    }
  }
  bool is_float = long_integer;
  if (at < text.size() && text[at] == '.') {
    is_float = true;
    for (++at; at_digit(); ++at) {
      const auto digit = static_cast<std::uint64_t>(text[at] - '0');
      if (would_overflow(significand, digit, kMaxSignificand)) {
        while (at_digit()) ++at;
        break;
      }
      significand = significand * 10 + digit;
      exponent = saturating_add(exponent, -1);
    }
  }
  if (at < text.size()) {  // at 'e' or 'E'
    is_float = true;
    ++at;
    bool positive_exponent = true;
    if (text[at] == '+' || text[at] == '-') positive_exponent = text[at++] == '+';
    int written = 0;
    for (; at < text.size(); ++at) {
      const int digit = text[at] - '0';
      if (would_overflow(written, digit, std::numeric_limits<int>::max())) {
        // An exponent beyond 32 bits: zero for a zero significand or a negative exponent.
        if (significand != 0 && positive_exponent) return Err{at + 1};
        return Number{Number::Float, 0, 0, positive ? 0.0 : -0.0};
      }
      written = written * 10 + digit;
    }
    exponent = saturating_add(exponent, positive_exponent ? written : -written);
  }
  if (is_float) {
    std::optional<double> value = scale(positive, significand, exponent);
    if (!value) return Err{text.size()};
    return Number{Number::Float, 0, 0, *value};
  }
  if (positive) return Number{Number::Unsigned, significand, 0, 0};
  const auto negated = static_cast<std::int64_t>(0 - significand);
  if (negated >= 0) {  // -0, or below the 64-bit range
    return Number{Number::Float, 0, 0, -static_cast<double>(significand)};
  }
  return Number{Number::Signed, 0, negated, 0};
}

}  // namespace

JsonFailure invalid_type_failure(ValueKind kind, std::size_t offset, std::string_view value,
                                 std::string_view decoded, Expected expected) {
  std::string found;
  switch (kind) {
    case ValueKind::Null: found = "null"; break;
    case ValueKind::True: found = "boolean `true`"; break;
    case ValueKind::False: found = "boolean `false`"; break;
    case ValueKind::Number: {
      Result<Number, std::size_t> number = number_value(value);
      if (!number) return {JsonErrorCode::NumberOutOfRange, offset + number.error()};
      found = number->describe();
      break;
    }
    case ValueKind::String: found = "string " + debug_quote(decoded); break;
    case ValueKind::Array: found = "sequence"; break;
    case ValueKind::Object: found = "map"; break;
  }
  return {JsonErrorCode::InvalidType, offset + value.size(), std::move(found), expected};
}

JsonError to_json_error(std::string_view text, const JsonFailure& failure) {
  const std::size_t offset = failure.offset;
  std::string_view before = text.substr(0, offset);
  std::size_t line_start = before.rfind('\n');
  line_start = line_start == std::string_view::npos ? 0 : line_start + 1;
  std::size_t line = 1;
  for (std::size_t k = 0; k < line_start; ++k) line += text[k] == '\n';
  return JsonError{message(failure), line, offset - line_start};
}

std::string JsonError::display() const {
  return message + " at line " + std::to_string(line) + " column " + std::to_string(column);
}

std::string debug_quote(std::string_view text) {
  std::string out = "\"";
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t start = at;
    std::optional<char32_t> cp = next_code_point(text, at);
    if (!cp) {
      out += "\\x{";
      append_hex(static_cast<unsigned char>(text[start]), out);
      out += '}';
      continue;
    }
    switch (*cp) {
      case '"': out += "\\\""; continue;
      case '\\': out += "\\\\"; continue;
      case '\t': out += "\\t"; continue;
      case '\r': out += "\\r"; continue;
      case '\n': out += "\\n"; continue;
      case '\0': out += "\\0"; continue;
      default: break;
    }
    bool printable = *cp < 0x80 ? *cp >= 0x20 && *cp < 0x7F : !needs_unicode_escape(*cp);
    if (printable) {
      out.append(text, start, at - start);
    } else {
      out += "\\u{";
      append_hex(*cp, out);
      out += '}';
    }
  }
  out += '"';
  return out;
}

}  // namespace morvane::schema
