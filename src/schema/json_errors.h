// Why a text is not a schema, worded. The reader records a failure as a code and a byte offset
// while it reads; everything here runs only after it has failed: the message texts (one table,
// one row per code), the description of a value of the wrong type (which works out what the
// value was), and the line and column of the offset.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "schema/schema_json.h"

namespace morvane::schema {

// What went wrong, in the order of the message table.
enum class JsonErrorCode : std::uint8_t {
  // The text is not well-formed JSON.
  EofValue,
  EofString,
  EofList,
  EofObject,
  ExpectedValue,
  ExpectedIdent,
  ExpectedColon,
  ExpectedCommaOrBracket,
  ExpectedCommaOrBrace,
  KeyMustBeString,
  TrailingComma,
  TrailingCharacters,
  InvalidNumber,
  NumberOutOfRange,
  InvalidEscape,
  ControlCharacter,
  InvalidUnicode,
  LoneLeadingSurrogate,
  UnexpectedEndOfHexEscape,
  // Well-formed JSON that is not a schema.
  InvalidType,  // the value found and what was expected fill its message
  MissingNodes,
  MissingRelationships,
  DuplicateNodes,
  DuplicateRelationships,
  SchemaLength0,  // an array schema cut short after 0 or 1 elements
  SchemaLength1,
  TupleLength0,  // a relationship cut short after 0, 1 or 2 elements
  TupleLength1,
  TupleLength2,
};

inline constexpr std::size_t kJsonErrorCodeCount = 29;

// What the schema wanted where a value of another type stands.
enum class Expected : std::uint8_t { Schema, Map, Sequence, Tuple, String };

// The kinds of JSON value, as the reader tells them by their first byte.
enum class ValueKind : std::uint8_t { Null, True, False, Number, String, Array, Object };

// A failure as the reader records it: the code and the byte offset it is placed at; for
// InvalidType also the value found, described, and what was expected.
struct JsonFailure {
  JsonErrorCode code;
  std::size_t offset;
  std::string found = {};
  Expected expected = Expected::Schema;
};

// The failure for a value of `kind` standing where `expected` was wanted. `value` is the
// value's JSON text, read through without a failure and starting at byte `offset` (empty for
// an array or object, whose failure is placed at its opening bracket); `decoded` is a string's
// decoded text. InvalidType, placed just past `value`; or NumberOutOfRange, placed where the
// number leaves the range of a double.
JsonFailure invalid_type_failure(ValueKind kind, std::size_t offset, std::string_view value,
                                 std::string_view decoded, Expected expected);

// The error that `failure` makes in `text`: its message, line and column.
JsonError to_json_error(std::string_view text, const JsonFailure& failure);

}  // namespace morvane::schema
