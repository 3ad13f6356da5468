// The schema's JSON reader: a scanner for JSON's tokens, which both reads the values a schema
// is made of and skips the members a schema ignores, and under it the reader of the schema's
// shape. Failures are recorded as codes and offsets; json_errors.cc words them.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "error/utf8_escape.h"
#include "schema/json_errors.h"
#include "schema/schema_json.h"

namespace morvane::schema {
namespace {

using Code = JsonErrorCode;

bool is_digit(int c) { return c >= '0' && c <= '9'; }

bool is_whitespace(char c) { return c == ' ' || c == '\n' || c == '\t' || c == '\r'; }

// Stops the scan of a string's plain bytes: its end, an escape, or a control character.
bool is_string_special(char c) {
  return c == '"' || c == '\\' || static_cast<unsigned char>(c) < 0x20;
}

bool is_valid_utf8(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    if (static_cast<unsigned char>(text[at]) < 0x80) {
      ++at;
      continue;
    }
    const std::size_t length = utf8_sequence_length(text, at);
    if (length == 0) return false;
    at += length;
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

// How the scanner goes over a value. Reading decodes strings and holds them to what a name
// needs (valid UTF-8, no unpaired surrogate escape). Skipping checks well-formedness only and
// words a few mistakes the way conventional readers do when they skip: a number cut short by
// the end is an invalid number, a comma before a closing bracket leaves a value or key
// missing, an object cut short after a comma is an unfinished object, and a control character
// in a string is placed at itself rather than past it.
enum class Pass : bool { Read, Skip };

// The tokens of JSON over one text, with the record of the first failure. Every step returns
// false on failure after recording it; the first failure recorded is the one reported. A
// failure is placed at the scanner's position when it is detected, or just past the byte the
// scanner looked at ("peeked"), or left unplaced for `place` to put where the reader stands
// later.
class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  // ---- Position.

  std::string_view text() const { return text_; }
  std::size_t position() const { return pos_; }
  // The text from `start` up to the position.
  std::string_view since(std::size_t start) const { return text_.substr(start, pos_ - start); }
  bool at_end() const { return pos_ == text_.size(); }
  // The next byte, or -1 at the end.
  int peek() const { return at_end() ? -1 : static_cast<unsigned char>(text_[pos_]); }
  void eat() { ++pos_; }
  // Skips whitespace, then peeks.
  int peek_token() {
    while (!at_end() && is_whitespace(text_[pos_])) ++pos_;
    return peek();
  }

  // ---- Failures.

  const JsonFailure& failure() const { return *failure_; }
  // Out of line and cold, so that the scanning loops stay tight.
  [[gnu::cold]] bool fail(JsonFailure failure) {
    if (!failure_) failure_ = std::move(failure);
    return false;
  }
  bool fail_here(Code code) { return fail({code, pos_}); }
  bool fail_peeked(Code code) { return fail({code, std::min(text_.size(), pos_ + 1)}); }
  bool fail_unplaced(Code code) { return fail({code, kUnplaced}); }
  // Gives an unplaced failure the scanner's position.
  void place() {
    if (failure_ && failure_->offset == kUnplaced) failure_->offset = pos_;
  }

  // ---- Values.

  // At a value (not at the end): reads a scalar, or stops at the opening bracket of an array
  // or object, and says which kind of value it was; nothing when the value is malformed.
  // Reading decodes a string into `*decoded`.
  template <Pass pass>
  std::optional<ValueKind> scalar(std::string* decoded) {
    ValueKind kind;
    bool ok;
    switch (peek()) {
      case 'n': kind = ValueKind::Null; eat(); ok = literal("ull"); break;
      case 't': kind = ValueKind::True; eat(); ok = literal("rue"); break;
      case 'f': kind = ValueKind::False; eat(); ok = literal("alse"); break;
      case '-': kind = ValueKind::Number; eat(); ok = number<pass>(); break;
      case '0': case '1': case '2': case '3': case '4':
      case '5': case '6': case '7': case '8': case '9':
        kind = ValueKind::Number;
        ok = number<pass>();
        break;
      case '"': kind = ValueKind::String; eat(); ok = string_body<pass>(decoded); break;
      case '[': return ValueKind::Array;
      case '{': return ValueKind::Object;
      default: fail_peeked(Code::ExpectedValue); return std::nullopt;
    }
    if (!ok) return std::nullopt;
    return kind;
  }

  // A value the schema ignores, checked for well-formedness only, without recursion: it may
  // nest to any depth.
  bool skip_value() {
    struct Open {
      char close;  // ']' or '}'
      bool first;  // no element seen yet
    };
    std::vector<Open> open;  // the arrays and objects around the position, innermost last
    for (;;) {
      if (peek_token() < 0) return fail_peeked(Code::EofValue);
      std::optional<ValueKind> kind = scalar<Pass::Skip>(nullptr);
      if (!kind) return false;
      if (*kind == ValueKind::Array || *kind == ValueKind::Object) {
        eat();
        open.push_back({*kind == ValueKind::Array ? ']' : '}', true});
      }
      // Close arrays and objects until one has another element, and go to that element.
      for (;;) {
        if (open.empty()) return true;
        Open& inner = open.back();
        bool more = false;
        if (!(inner.close == ']' ? next_element<Pass::Skip>(inner.first, more)
                                 : next_key<Pass::Skip>(inner.first, more))) {
          return false;
        }
        if (more) break;
        eat();
        open.pop_back();
      }
      if (open.back().close == '}') {
        eat();
        if (!string_body<Pass::Skip>(nullptr) || !expect_colon()) return false;
      }
    }
  }

  // After the opening quote, up to and past the closing one. Reading appends the decoded text
  // to `*decoded` (empty before), which must then be valid UTF-8; skipping checks escapes
  // without decoding them.
  template <Pass pass>
  bool string_body(std::string* decoded) {
    std::size_t start = pos_;
    for (;;) {
      while (!at_end() && !is_string_special(text_[pos_])) ++pos_;
      if (at_end()) return fail_here(Code::EofString);
      char c = text_[pos_];
      if constexpr (pass == Pass::Read) decoded->append(text_, start, pos_ - start);
      ++pos_;
      if (c == '"') {
        if constexpr (pass == Pass::Read) {
          return is_valid_utf8(*decoded) || fail_here(Code::InvalidUnicode);
        } else {
          return true;
        }
      }
      if (c != '\\') {
        return fail({Code::ControlCharacter, pass == Pass::Read ? pos_ : pos_ - 1});
      }
      if (!escape<pass>(decoded)) return false;
      start = pos_;
    }
  }

  // ---- Punctuation.

  // Before an object's next member: sets `more` when a key (its opening quote) follows.
  template <Pass pass>
  bool next_key(bool& first, bool& more) {
    int c = peek_token();
    if (c < 0) return fail_peeked(Code::EofObject);
    more = c != '}';
    if (!more) return true;
    if (first) {
      first = false;
      return c == '"' || fail_peeked(Code::KeyMustBeString);
    }
    if (c != ',') return fail_peeked(Code::ExpectedCommaOrBrace);
    eat();
    c = peek_token();
    if (c == '"') return true;
    if (c == '}') {
      return fail_peeked(pass == Pass::Read ? Code::TrailingComma : Code::KeyMustBeString);
    }
    if (c < 0) return fail_peeked(pass == Pass::Read ? Code::EofValue : Code::EofObject);
    return fail_peeked(Code::KeyMustBeString);
  }

  // Before an array's next element: sets `more` when an element follows.
  template <Pass pass>
  bool next_element(bool& first, bool& more) {
    int c = peek_token();
    if (c < 0) return fail_peeked(Code::EofList);
    more = c != ']';
    if (!more) return true;
    if (first) {
      first = false;
      return true;
    }
    if (c != ',') return fail_peeked(Code::ExpectedCommaOrBracket);
    eat();
    c = peek_token();
    if (c == ']') {
      return fail_peeked(pass == Pass::Read ? Code::TrailingComma : Code::ExpectedValue);
    }
    if (c < 0) return fail_peeked(Code::EofValue);
    return true;
  }

  bool expect_colon() {
    int c = peek_token();
    if (c == ':') {
      eat();
      return true;
    }
    return fail_peeked(c < 0 ? Code::EofObject : Code::ExpectedColon);
  }

  bool end_object() {
    int c = peek_token();
    if (c == '}') {
      eat();
      return true;
    }
    if (c == ',') return fail_peeked(Code::TrailingComma);
    return fail_peeked(c < 0 ? Code::EofObject : Code::TrailingCharacters);
  }

  bool end_array() {
    int c = peek_token();
    if (c == ']') {
      eat();
      return true;
    }
    if (c == ',') {
      eat();
      return fail_peeked(peek_token() == ']' ? Code::TrailingComma : Code::TrailingCharacters);
    }
    return fail_peeked(c < 0 ? Code::EofList : Code::TrailingCharacters);
  }

  // Only whitespace may follow the value.
  bool expect_end() { return peek_token() < 0 || fail_peeked(Code::TrailingCharacters); }

 private:
  static constexpr std::size_t kUnplaced = std::numeric_limits<std::size_t>::max();

  // The rest of `null`, `true` or `false`.
  bool literal(std::string_view rest) {
    for (char expected : rest) {
      if (at_end()) return fail_here(Code::EofValue);
      if (text_[pos_++] != expected) return fail_here(Code::ExpectedIdent);
    }
    return true;
  }

  // After an optional '-': checked against JSON's grammar only (json_errors.cc works out the
  // value when an error describes it).
  template <Pass pass>
  bool number() {
    constexpr Code kCutShort = pass == Pass::Read ? Code::EofValue : Code::InvalidNumber;
    if (at_end()) return fail_here(kCutShort);
    char c = text_[pos_++];
    if (c == '0') {
      if (is_digit(peek())) return fail_peeked(Code::InvalidNumber);
    } else if (c >= '1' && c <= '9') {
      while (is_digit(peek())) eat();
    } else {
      return fail_here(Code::InvalidNumber);
    }
    if (peek() == '.') {
      eat();
      if (!is_digit(peek())) return fail_peeked(at_end() ? kCutShort : Code::InvalidNumber);
      while (is_digit(peek())) eat();
    }
    if (peek() == 'e' || peek() == 'E') {
      eat();
      if (peek() == '+' || peek() == '-') eat();
      if (at_end()) return fail_here(kCutShort);
      if (!is_digit(text_[pos_++])) return fail_here(Code::InvalidNumber);
      while (is_digit(peek())) eat();
    }
    return true;
  }

  // After a backslash.
  template <Pass pass>
  bool escape(std::string* decoded) {
    if (at_end()) return fail_here(Code::EofString);
    char c;
    switch (text_[pos_++]) {
      case '"': c = '"'; break;
      case '\\': c = '\\'; break;
      case '/': c = '/'; break;
      case 'b': c = '\b'; break;
      case 'f': c = '\f'; break;
      case 'n': c = '\n'; break;
      case 'r': c = '\r'; break;
      case 't': c = '\t'; break;
      case 'u':
        if constexpr (pass == Pass::Read) {
          return unicode_escape(*decoded);
        } else {
          std::uint16_t unit = 0;
          return hex4(unit);
        }
      default: return fail_here(Code::InvalidEscape);
    }
    if constexpr (pass == Pass::Read) *decoded += c;
    return true;
  }

  // After "\u", reading: one code unit, or a surrogate pair written as two escapes.
  bool unicode_escape(std::string& out) {
    std::uint16_t first = 0;
    if (!hex4(first)) return false;
    if (first >= 0xDC00 && first <= 0xDFFF) return fail_here(Code::LoneLeadingSurrogate);
    if (first < 0xD800 || first > 0xDBFF) {
      append_utf8(first, out);
      return true;
    }
    for (char expected : {'\\', 'u'}) {
      if (at_end()) return fail_here(Code::EofString);
      if (text_[pos_++] != expected) return fail_here(Code::UnexpectedEndOfHexEscape);
    }
    std::uint16_t second = 0;
    if (!hex4(second)) return false;
    if (second < 0xDC00 || second > 0xDFFF) return fail_here(Code::LoneLeadingSurrogate);
    append_utf8(0x10000 + ((static_cast<char32_t>(first - 0xD800) << 10) | (second - 0xDC00)),
                out);
    return true;
  }

  bool hex4(std::uint16_t& out) {
    if (text_.size() - pos_ < 4) {
      pos_ = text_.size();
      return fail_here(Code::EofString);
    }
    std::string_view digits = text_.substr(pos_, 4);
    pos_ += 4;
    out = 0;
    for (char c : digits) {
      int value = c >= '0' && c <= '9'   ? c - '0'
                  : c >= 'a' && c <= 'f' ? c - 'a' + 10
                  : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                         : -1;
      if (value < 0) return fail_here(Code::InvalidEscape);
      out = static_cast<std::uint16_t>(out * 16 + value);
    }
    return true;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  std::optional<JsonFailure> failure_;
};

// The schema's shape, read through the scanner. A failure of the shape itself (a field missing
// or repeated, an array cut short) is placed where the reader stands once it has looked for
// the end of the object or array that holds it.
class Reader : private Scanner {
 public:
  explicit Reader(std::string_view text) : Scanner(text) {}

  Result<Schema, JsonError> read() {
    Schema schema;
    if (read_schema(schema) && expect_end()) return schema;
    return Err{to_json_error(text(), failure())};
  }

 private:
  // An object with the members "nodes" and "relationships", or an array of the two values.
  bool read_schema(Schema& out) {
    if (peek_token() == '[') {
      return read_container<'['>(Expected::Schema, [&] {
        bool first = true;
        return next_required(first, Code::SchemaLength0) && read_nodes(out.nodes) &&
               next_required(first, Code::SchemaLength1) &&
               read_relationships(out.relationships);
      });
    }
    return read_container<'{'>(Expected::Schema, [&] { return read_schema_members(out); });
  }

  bool read_schema_members(Schema& out) {
    bool have_nodes = false;
    bool have_relationships = false;
    bool ok = read_members([&](std::string& key) {
      if (key == "nodes") {
        if (have_nodes) return fail_unplaced(Code::DuplicateNodes);
        have_nodes = true;
        return expect_colon() && read_nodes(out.nodes);
      }
      if (key == "relationships") {
        if (have_relationships) return fail_unplaced(Code::DuplicateRelationships);
        have_relationships = true;
        return expect_colon() && read_relationships(out.relationships);
      }
      return expect_colon() && skip_value();
    });
    if (!ok) return false;
    if (!have_nodes) return fail_unplaced(Code::MissingNodes);
    if (!have_relationships) return fail_unplaced(Code::MissingRelationships);
    return true;
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
    return read_container<'{'>(Expected::Map, [&] {
      return read_members([&](std::string& key) {
        Value value;
        if (!expect_colon() || !read_value(value)) return false;
        out.insert_or_assign(std::move(key), std::move(value));
        return true;
      });
    });
  }

  // An array of names, collected into a set.
  bool read_names(PropertySet& out) {
    return read_container<'['>(Expected::Sequence, [&] {
      bool first = true;
      for (;;) {
        bool more = false;
        if (!next_element<Pass::Read>(first, more)) return false;
        if (!more) return true;
        std::string name;
        if (!read_string(name)) return false;
        out.insert(std::move(name));
      }
    });
  }

  // [source, target, [names...]]
  bool read_relationship(Relationship& out) {
    return read_container<'['>(Expected::Tuple, [&] {
      bool first = true;
      return next_required(first, Code::TupleLength0) && read_string(out.source) &&
             next_required(first, Code::TupleLength1) && read_string(out.target) &&
             next_required(first, Code::TupleLength2) && read_names(out.properties);
    });
  }

  bool read_string(std::string& out) {
    int c = peek_token();
    if (c < 0) return fail_peeked(Code::EofValue);
    if (c != '"') return invalid_type(Expected::String);
    eat();
    return string_body<Pass::Read>(&out);
  }

  // The value at the position, which must be an object or array opened by `kOpen` ('{' or
  // '['); `read_inside` reads what stands between the brackets. Anything else is the end of
  // the text, a malformed value or a value of the wrong type.
  template <char kOpen, class ReadInside>
  bool read_container(Expected expected, ReadInside read_inside) {
    int c = peek_token();
    if (c < 0) return fail_peeked(Code::EofValue);
    if (c != kOpen) return invalid_type(expected);
    eat();
    bool ok = read_inside();
    ok = (kOpen == '{' ? end_object() : end_array()) && ok;
    if (!ok) place();
    return ok;
  }

  // An object's members up to its closing brace: `read_member` gets each key and reads on
  // from the colon.
  template <class ReadMember>
  bool read_members(ReadMember read_member) {
    bool first = true;
    for (;;) {
      bool more = false;
      if (!next_key<Pass::Read>(first, more)) return false;
      if (!more) return true;
      std::string key;
      eat();
      if (!string_body<Pass::Read>(&key) || !read_member(key)) return false;
    }
  }

  // Before an element an array must have: `cut_short`, unplaced, when the array ends instead.
  bool next_required(bool& first, Code cut_short) {
    bool more = false;
    if (!next_element<Pass::Read>(first, more)) return false;
    return more || fail_unplaced(cut_short);
  }

  // Reads past the value at the position and fails with its wrong type; a malformed value
  // fails with its own error instead.
  bool invalid_type(Expected expected) {
    const std::size_t start = position();
    std::string decoded;
    std::optional<ValueKind> kind = scalar<Pass::Read>(&decoded);
    if (!kind) return false;
    return fail(invalid_type_failure(*kind, start, since(start), decoded, expected));
  }
};

}  // namespace

Result<Schema, JsonError> deserialize(std::string_view json) { return Reader(json).read(); }

}  // namespace morvane::schema
