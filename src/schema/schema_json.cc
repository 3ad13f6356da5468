#include "schema/schema_json.h"

#include <unicode/uchar.h>

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

namespace morvane::schema {
namespace {

// ---------------------------------------------------------------------------------------------
// Text helpers shared by the reader.

// The next code point of `text` at `at`, advancing `at`; nothing (and `at` past one byte) for a
// byte that does not start a well-formed UTF-8 sequence (overlong forms, surrogates and values
// above U+10FFFF are ill-formed).
std::optional<char32_t> next_code_point(std::string_view text, std::size_t& at) {
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

bool is_valid_utf8(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size()) {
    if (!next_code_point(text, at)) return false;
  }
  return true;
}

void append_utf8(char32_t cp, std::string& out) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
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
// Reading.

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

constexpr std::string_view kEofValue = "EOF while parsing a value";
constexpr std::string_view kEofString = "EOF while parsing a string";
constexpr std::string_view kEofList = "EOF while parsing a list";
constexpr std::string_view kEofObject = "EOF while parsing an object";
constexpr std::string_view kInvalidNumber = "invalid number";
constexpr std::string_view kInvalidEscape = "invalid escape";
constexpr std::string_view kTrailingCharacters = "trailing characters";
constexpr std::string_view kTrailingComma = "trailing comma";
constexpr std::string_view kKeyMustBeString = "key must be a string";

bool is_digit(int c) { return c >= '0' && c <= '9'; }

bool is_whitespace(char c) { return c == ' ' || c == '\n' || c == '\t' || c == '\r'; }

// Stops the scan of a string's plain bytes: its end, an escape, or a control character.
bool is_string_special(char c) {
  return c == '"' || c == '\\' || static_cast<unsigned char>(c) < 0x20;
}

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

// A number read where a name or container was expected; only described in the error.
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

// The reader. Every step returns false on failure after recording it; the first failure
// recorded is the one reported. A failure is placed at the reader's position when it is
// detected, or just past the byte the reader looked at ("peeked"), or, for the schema shape's
// own failures (missing, duplicate, wrong count), at the position where the enclosing value
// ends being read.
class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  Result<Schema, JsonError> read() {
    Schema schema;
    if (read_schema(schema) && expect_end()) return schema;
    return Err{error_at(failure_->offset, std::move(failure_->message))};
  }

 private:
  static constexpr std::size_t kUnplaced = std::numeric_limits<std::size_t>::max();

  struct Failure {
    std::string message;
    std::size_t offset;
  };

  // ---- Position and failures.

  bool at_end() const { return pos_ == text_.size(); }
  // The next byte, or -1 at the end.
  int peek() const { return at_end() ? -1 : static_cast<unsigned char>(text_[pos_]); }
  void eat() { ++pos_; }
  // Skips whitespace, then peeks.
  int peek_token() {
    while (!at_end() && is_whitespace(text_[pos_])) ++pos_;
    return peek();
  }

  bool fail(std::string_view message, std::size_t offset) {
    if (!failure_) failure_ = Failure{std::string(message), offset};
    return false;
  }
  bool fail_here(std::string_view message) { return fail(message, pos_); }
  bool fail_peeked(std::string_view message) {
    return fail(message, std::min(text_.size(), pos_ + 1));
  }
  bool fail_unplaced(std::string message) { return fail(message, kUnplaced); }
  // Gives an unplaced failure the reader's current position.
  void place() {
    if (failure_ && failure_->offset == kUnplaced) failure_->offset = pos_;
  }

  JsonError error_at(std::size_t offset, std::string message) const {
    std::string_view before = text_.substr(0, offset);
    std::size_t line_start = before.rfind('\n');
    line_start = line_start == std::string_view::npos ? 0 : line_start + 1;
    std::size_t line = 1;
    for (std::size_t k = 0; k < line_start; ++k) line += text_[k] == '\n';
    return JsonError{std::move(message), line, offset - line_start};
  }

  // ---- The schema's shape.

  bool read_schema(Schema& out) {
    int c = peek_token();
    if (c < 0) return fail_peeked(kEofValue);
    bool ok;
    if (c == '{') {
      eat();
      ok = read_schema_members(out);
      ok = end_object() && ok;
    } else if (c == '[') {
      eat();
      ok = read_schema_elements(out);
      ok = end_array() && ok;
    } else {
      ok = invalid_type("struct Schema");
    }
    if (!ok) place();
    return ok;
  }

  bool read_schema_members(Schema& out) {
    bool first = true;
    bool have_nodes = false;
    bool have_relationships = false;
    for (;;) {
      bool more = false;
      if (!next_key(first, more)) return false;
      if (!more) break;
      std::string key;
      eat();
      if (!read_string_body(key)) return false;
      if (key == "nodes") {
        if (have_nodes) return fail_unplaced("duplicate field `nodes`");
        if (!expect_colon() || !read_nodes(out.nodes)) return false;
        have_nodes = true;
      } else if (key == "relationships") {
        if (have_relationships) return fail_unplaced("duplicate field `relationships`");
        if (!expect_colon() || !read_relationships(out.relationships)) return false;
        have_relationships = true;
      } else if (!expect_colon() || !skip_value()) {
        return false;
      }
    }
    if (!have_nodes) return fail_unplaced("missing field `nodes`");
    if (!have_relationships) return fail_unplaced("missing field `relationships`");
    return true;
  }

  bool read_schema_elements(Schema& out) {
    bool first = true;
    bool more = false;
    if (!next_element(first, more)) return false;
    if (!more) return fail_unplaced("invalid length 0, expected struct Schema with 2 elements");
    if (!read_nodes(out.nodes)) return false;
    if (!next_element(first, more)) return false;
    if (!more) return fail_unplaced("invalid length 1, expected struct Schema with 2 elements");
    return read_relationships(out.relationships);
  }

  bool read_nodes(NodeMap& out) {
    return read_map(out, [this](PropertySet& set) { return read_names(set); });
  }

  bool read_relationships(RelationshipMap& out) {
    return read_map(out, [this](Relationship& rel) { return read_relationship(rel); });
  }

  // An object of name -> value; a repeated name replaces the earlier value.
  template <class Value, class ReadValue>
  bool read_map(std::map<std::string, Value, std::less<>>& out, ReadValue read_value) {
    int c = peek_token();
    if (c < 0) return fail_peeked(kEofValue);
    bool ok;
    if (c == '{') {
      eat();
      ok = read_entries(out, read_value);
      ok = end_object() && ok;
    } else {
      ok = invalid_type("a map");
    }
    if (!ok) place();
    return ok;
  }

  template <class Value, class ReadValue>
  bool read_entries(std::map<std::string, Value, std::less<>>& out, ReadValue read_value) {
    bool first = true;
    for (;;) {
      bool more = false;
      if (!next_key(first, more)) return false;
      if (!more) return true;
      std::string key;
      eat();
      if (!read_string_body(key)) return false;
      Value value;
      if (!expect_colon() || !read_value(value)) return false;
      out.insert_or_assign(std::move(key), std::move(value));
    }
  }

  // An array of names, collected into a set.
  bool read_names(PropertySet& out) {
    int c = peek_token();
    if (c < 0) return fail_peeked(kEofValue);
    bool ok;
    if (c == '[') {
      eat();
      ok = read_name_elements(out);
      ok = end_array() && ok;
    } else {
      ok = invalid_type("a sequence");
    }
    if (!ok) place();
    return ok;
  }

  bool read_name_elements(PropertySet& out) {
    bool first = true;
    for (;;) {
      bool more = false;
      if (!next_element(first, more)) return false;
      if (!more) return true;
      std::string name;
      if (!read_string(name)) return false;
      out.insert(std::move(name));
    }
  }

  // [source, target, [names...]]
  bool read_relationship(Relationship& out) {
    int c = peek_token();
    if (c < 0) return fail_peeked(kEofValue);
    bool ok;
    if (c == '[') {
      eat();
      ok = read_relationship_elements(out);
      ok = end_array() && ok;
    } else {
      ok = invalid_type("a tuple of size 3");
    }
    if (!ok) place();
    return ok;
  }

  bool read_relationship_elements(Relationship& out) {
    bool first = true;
    bool more = false;
    if (!next_element(first, more)) return false;
    if (!more) return fail_unplaced("invalid length 0, expected a tuple of size 3");
    if (!read_string(out.source)) return false;
    if (!next_element(first, more)) return false;
    if (!more) return fail_unplaced("invalid length 1, expected a tuple of size 3");
    if (!read_string(out.target)) return false;
    if (!next_element(first, more)) return false;
    if (!more) return fail_unplaced("invalid length 2, expected a tuple of size 3");
    return read_names(out.properties);
  }

  bool read_string(std::string& out) {
    int c = peek_token();
    if (c < 0) return fail_peeked(kEofValue);
    if (c != '"') return invalid_type("a string");
    eat();
    return read_string_body(out);
  }

  // Reads past the value at the reader's position and fails with "invalid type: {value},
  // expected {expected}" after it (before it, for an array or object); a malformed value
  // fails with its own error instead.
  bool invalid_type(std::string_view expected) {
    std::string what;
    switch (peek()) {
      case 'n':
        eat();
        if (!expect_ident("ull")) return false;
        what = "null";
        break;
      case 't':
        eat();
        if (!expect_ident("rue")) return false;
        what = "boolean `true`";
        break;
      case 'f':
        eat();
        if (!expect_ident("alse")) return false;
        what = "boolean `false`";
        break;
      case '-': {
        eat();
        Number number;
        if (!read_integer(false, number)) return false;
        what = number.describe();
        break;
      }
      case '0': case '1': case '2': case '3': case '4':
      case '5': case '6': case '7': case '8': case '9': {
        Number number;
        if (!read_integer(true, number)) return false;
        what = number.describe();
        break;
      }
      case '"': {
        eat();
        std::string text;
        if (!read_string_body(text)) return false;
        what = "string " + debug_quote(text);
        break;
      }
      case '[': what = "sequence"; break;
      case '{': what = "map"; break;
      default: return fail_peeked("expected value");
    }
    return fail_here("invalid type: " + what + ", expected " + std::string(expected));
  }

  // ---- Punctuation.

  // Before an object's next member: sets `more` when a key (its opening quote) follows.
  bool next_key(bool& first, bool& more) {
    int c = peek_token();
    if (c < 0) return fail_peeked(kEofObject);
    more = c != '}';
    if (!more) return true;
    if (first) {
      first = false;
      return c == '"' || fail_peeked(kKeyMustBeString);
    }
    if (c != ',') return fail_peeked("expected `,` or `}`");
    eat();
    c = peek_token();
    if (c == '"') return true;
    if (c == '}') return fail_peeked(kTrailingComma);
    if (c < 0) return fail_peeked(kEofValue);
    return fail_peeked(kKeyMustBeString);
  }

  // Before an array's next element: sets `more` when an element follows.
  bool next_element(bool& first, bool& more) {
    int c = peek_token();
    if (c < 0) return fail_peeked(kEofList);
    more = c != ']';
    if (!more) return true;
    if (first) {
      first = false;
      return true;
    }
    if (c != ',') return fail_peeked("expected `,` or `]`");
    eat();
    c = peek_token();
    if (c == ']') return fail_peeked(kTrailingComma);
    if (c < 0) return fail_peeked(kEofValue);
    return true;
  }

  bool expect_colon() {
    int c = peek_token();
    if (c == ':') {
      eat();
      return true;
    }
    return fail_peeked(c < 0 ? kEofObject : "expected `:`");
  }

  bool end_object() {
    int c = peek_token();
    if (c == '}') {
      eat();
      return true;
    }
    if (c == ',') return fail_peeked(kTrailingComma);
    return fail_peeked(c < 0 ? kEofObject : kTrailingCharacters);
  }

  bool end_array() {
    int c = peek_token();
    if (c == ']') {
      eat();
      return true;
    }
    if (c == ',') {
      eat();
      return fail_peeked(peek_token() == ']' ? kTrailingComma : kTrailingCharacters);
    }
    return fail_peeked(c < 0 ? kEofList : kTrailingCharacters);
  }

  // Only whitespace may follow the schema.
  bool expect_end() { return peek_token() < 0 || fail_peeked(kTrailingCharacters); }

  // The rest of `null`, `true` or `false`.
  bool expect_ident(std::string_view rest) {
    for (char expected : rest) {
      if (at_end()) return fail_here(kEofValue);
      if (text_[pos_++] != expected) return fail_here("expected ident");
    }
    return true;
  }

  // ---- Strings.

  // After the opening quote: the string's decoded text, which must be valid UTF-8.
  bool read_string_body(std::string& out) {
    out.clear();
    std::size_t start = pos_;
    for (;;) {
      while (!at_end() && !is_string_special(text_[pos_])) ++pos_;
      if (at_end()) return fail_here(kEofString);
      char c = text_[pos_];
      out.append(text_, start, pos_ - start);
      ++pos_;
      if (c == '"') return is_valid_utf8(out) || fail_here("invalid unicode code point");
      if (c != '\\') {
        return fail_here("control character (\\u0000-\\u001F) found while parsing a string");
      }
      if (!read_escape(out)) return false;
      start = pos_;
    }
  }

  // After a backslash.
  bool read_escape(std::string& out) {
    if (at_end()) return fail_here(kEofString);
    switch (text_[pos_++]) {
      case '"': out += '"'; return true;
      case '\\': out += '\\'; return true;
      case '/': out += '/'; return true;
      case 'b': out += '\b'; return true;
      case 'f': out += '\f'; return true;
      case 'n': out += '\n'; return true;
      case 'r': out += '\r'; return true;
      case 't': out += '\t'; return true;
      case 'u': return read_unicode_escape(out);
      default: return fail_here(kInvalidEscape);
    }
  }

  // After "\u": one code unit, or a surrogate pair written as two escapes.
  bool read_unicode_escape(std::string& out) {
    std::uint16_t first = 0;
    if (!read_hex4(first)) return false;
    if (first >= 0xDC00 && first <= 0xDFFF) {
      return fail_here("lone leading surrogate in hex escape");
    }
    if (first < 0xD800 || first > 0xDBFF) {
      append_utf8(first, out);
      return true;
    }
    for (char expected : {'\\', 'u'}) {
      if (at_end()) return fail_here(kEofString);
      if (text_[pos_++] != expected) return fail_here("unexpected end of hex escape");
    }
    std::uint16_t second = 0;
    if (!read_hex4(second)) return false;
    if (second < 0xDC00 || second > 0xDFFF) {
      return fail_here("lone leading surrogate in hex escape");
    }
    append_utf8(0x10000 + ((static_cast<char32_t>(first - 0xD800) << 10) | (second - 0xDC00)),
                out);
    return true;
  }

  bool read_hex4(std::uint16_t& out) {
    if (text_.size() - pos_ < 4) {
      pos_ = text_.size();
      return fail_here(kEofString);
    }
    std::string_view digits = text_.substr(pos_, 4);
    pos_ += 4;
    out = 0;
    for (char c : digits) {
      int value = c >= '0' && c <= '9'   ? c - '0'
                  : c >= 'a' && c <= 'f' ? c - 'a' + 10
                  : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                         : -1;
      if (value < 0) return fail_here(kInvalidEscape);
      out = static_cast<std::uint16_t>(out * 16 + value);
    }
    return true;
  }

  // ---- Numbers (read only to describe them in an error).

  // After an optional '-': an integer, or a float when a fraction or exponent follows, when
  // a positive value exceeds 64 bits, or for -0 and negatives below the 64-bit range.
  bool read_integer(bool positive, Number& out) {
    if (at_end()) return fail_here(kEofValue);
    char c = text_[pos_++];
    std::uint64_t significand;
    if (c == '0') {
      if (is_digit(peek())) return fail_peeked(kInvalidNumber);
      significand = 0;
    } else if (c >= '1' && c <= '9') {
      significand = static_cast<std::uint64_t>(c - '0');
      while (is_digit(peek())) {
        std::uint64_t digit = static_cast<std::uint64_t>(peek() - '0');
        if (would_overflow(significand, digit, std::numeric_limits<std::uint64_t>::max())) {
          out.kind = Number::Float;
          return read_long_integer(positive, significand, out.f);
        }
        eat();
        significand = significand * 10 + digit;
      }
    } else {
      return fail_here(kInvalidNumber);
    }
    int next = peek();
    if (next == '.' || next == 'e' || next == 'E') {
      out.kind = Number::Float;
      return next == '.' ? read_fraction(positive, significand, 0, out.f)
                         : read_exponent(positive, significand, 0, out.f);
    }
    if (positive) {
      out.kind = Number::Unsigned;
      out.u = significand;
      return true;
    }
    std::int64_t negated = static_cast<std::int64_t>(0 - significand);
    if (negated >= 0) {  // -0, or below the 64-bit range
      out.kind = Number::Float;
      out.f = -static_cast<double>(significand);
    } else {
      out.kind = Number::Signed;
      out.i = negated;
    }
    return true;
  }

  // Integer digits beyond 64 bits only scale the value.
  bool read_long_integer(bool positive, std::uint64_t significand, double& out) {
    int exponent = 0;
    while (is_digit(peek())) {
      eat();
      exponent = saturating_add(exponent, 1);
    }
    int next = peek();
    if (next == '.') return read_fraction(positive, significand, exponent, out);
    if (next == 'e' || next == 'E') return read_exponent(positive, significand, exponent, out);
    return scale(positive, significand, exponent, out);
  }

  // At '.': at least one digit must follow; digits beyond 64 bits are dropped.
  bool read_fraction(bool positive, std::uint64_t significand, int exponent, double& out) {
    eat();
    bool any_digit = false;
    while (is_digit(peek())) {
      std::uint64_t digit = static_cast<std::uint64_t>(peek() - '0');
      eat();
      any_digit = true;
      if (would_overflow(significand, digit, std::numeric_limits<std::uint64_t>::max())) {
        while (is_digit(peek())) eat();
        break;
      }
      significand = significand * 10 + digit;
      exponent = saturating_add(exponent, -1);
    }
    if (!any_digit) return fail_peeked(at_end() ? kEofValue : kInvalidNumber);
    int next = peek();
    if (next == 'e' || next == 'E') return read_exponent(positive, significand, exponent, out);
    return scale(positive, significand, exponent, out);
  }

  // At 'e' or 'E'.
  bool read_exponent(bool positive, std::uint64_t significand, int exponent, double& out) {
    eat();
    bool positive_exponent = true;
    if (peek() == '+' || peek() == '-') {
      positive_exponent = peek() == '+';
      eat();
    }
    if (at_end()) return fail_here(kEofValue);
    char c = text_[pos_++];
    if (!is_digit(c)) return fail_here(kInvalidNumber);
    int written = c - '0';
    while (is_digit(peek())) {
      int digit = peek() - '0';
      eat();
      if (would_overflow(written, digit, std::numeric_limits<int>::max())) {
        // An exponent beyond 32 bits: zero for a zero significand or a negative exponent.
        if (significand != 0 && positive_exponent) return fail_here("number out of range");
        while (is_digit(peek())) eat();
        out = positive ? 0.0 : -0.0;
        return true;
      }
      written = written * 10 + digit;
    }
    return scale(positive, significand,
                 saturating_add(exponent, positive_exponent ? written : -written), out);
  }

  // significand * 10^exponent: one multiplication or division by a tabled power of ten (steps
  // of 1e308 below the table), as JSON readers conventionally do; beyond the double range fails.
  bool scale(bool positive, std::uint64_t significand, int exponent, double& out) {
    double value = static_cast<double>(significand);
    for (;;) {
      std::uint64_t magnitude = exponent < 0 ? 0 - static_cast<std::uint64_t>(exponent)
                                             : static_cast<std::uint64_t>(exponent);
      if (magnitude < std::size(kPow10)) {
        if (exponent >= 0) {
          value *= kPow10[magnitude];
          if (std::isinf(value)) return fail_here("number out of range");
        } else {
          value /= kPow10[magnitude];
        }
        break;
      }
      if (value == 0) break;
      if (exponent >= 0) return fail_here("number out of range");
      value /= 1e308;
      exponent += 308;
    }
    out = positive ? value : -value;
    return true;
  }

  // ---- Skipping a member's value: checked for well-formedness only, without recursion.

  bool skip_value() {
    std::vector<char> open;  // the enclosing '[' and '{' below the current one
    for (;;) {
      int c = peek_token();
      if (c < 0) return fail_peeked(kEofValue);
      char frame = 0;  // the container just opened, if any
      switch (c) {
        case 'n': eat(); if (!expect_ident("ull")) return false; break;
        case 't': eat(); if (!expect_ident("rue")) return false; break;
        case 'f': eat(); if (!expect_ident("alse")) return false; break;
        case '-': eat(); if (!skip_number()) return false; break;
        case '0': case '1': case '2': case '3': case '4':
        case '5': case '6': case '7': case '8': case '9':
          if (!skip_number()) return false;
          break;
        case '"': eat(); if (!skip_string_body()) return false; break;
        case '[': case '{': eat(); frame = static_cast<char>(c); break;
        default: return fail_peeked("expected value");
      }
      bool after_value = frame == 0;
      if (after_value) {
        if (open.empty()) return true;
        frame = open.back();
        open.pop_back();
      }
      // Close containers until one takes another element.
      for (;;) {
        c = peek_token();
        if (c < 0) return fail_peeked(frame == '[' ? kEofList : kEofObject);
        if (c == ',' && after_value) {
          eat();
          break;
        }
        if (c == (frame == '[' ? ']' : '}')) {
          eat();
          if (open.empty()) return true;
          frame = open.back();
          open.pop_back();
          after_value = true;
          continue;
        }
        if (after_value) {
          return fail_peeked(frame == '[' ? "expected `,` or `]`" : "expected `,` or `}`");
        }
        break;
      }
      if (frame == '{') {
        c = peek_token();
        if (c < 0) return fail_peeked(kEofObject);
        if (c != '"') return fail_peeked(kKeyMustBeString);
        eat();
        if (!skip_string_body()) return false;
        if (!expect_colon()) return false;
      }
      open.push_back(frame);
    }
  }

  // After an optional '-'.
  bool skip_number() {
    int c = at_end() ? 0 : static_cast<unsigned char>(text_[pos_++]);
    if (c == '0') {
      if (is_digit(peek())) return fail_peeked(kInvalidNumber);
    } else if (c >= '1' && c <= '9') {
      while (is_digit(peek())) eat();
    } else {
      return fail_here(kInvalidNumber);
    }
    if (peek() == '.') {
      eat();
      if (!is_digit(peek())) return fail_peeked(kInvalidNumber);
      while (is_digit(peek())) eat();
    }
    if (peek() == 'e' || peek() == 'E') {
      eat();
      if (peek() == '+' || peek() == '-') eat();
      if (at_end() || !is_digit(text_[pos_++])) return fail_here(kInvalidNumber);
      while (is_digit(peek())) eat();
    }
    return true;
  }

  // After the opening quote; escapes are checked but not decoded.
  bool skip_string_body() {
    for (;;) {
      while (!at_end() && !is_string_special(text_[pos_])) ++pos_;
      if (at_end()) return fail_here(kEofString);
      char c = text_[pos_];
      if (c == '"') {
        ++pos_;
        return true;
      }
      if (c != '\\') {
        return fail_here("control character (\\u0000-\\u001F) found while parsing a string");
      }
      ++pos_;
      if (at_end()) return fail_here(kEofString);
      switch (text_[pos_++]) {
        case '"': case '\\': case '/': case 'b': case 'f': case 'n': case 'r': case 't':
          break;
        case 'u': {
          std::uint16_t unit = 0;
          if (!read_hex4(unit)) return false;
          break;
        }
        default: return fail_here(kInvalidEscape);
      }
    }
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  std::optional<Failure> failure_;
};

}  // namespace

std::string JsonError::display() const {
  return message + " at line " + std::to_string(line) + " column " + std::to_string(column);
}

Result<Schema, JsonError> deserialize(std::string_view json) { return Reader(json).read(); }

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
