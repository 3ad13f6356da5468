// The schema's JSON form, both ways:
//   {"nodes":{"Person":["age","name"]},"relationships":{"KNOWS":["Person","Person",["since"]]}}
//
// The reader is strict and our own: one JSON value with optional whitespace around it; at the
// top an object (members "nodes" and "relationships" in either order, both required, neither
// repeated, any other member skipped whatever its value, at any depth) or an array of exactly
// those two values in that order. Inside "nodes" and "relationships" a repeated name replaces the
// earlier entry. Errors carry the conventional JSON reader messages and the position where the
// reader stood when it detected them.
//
// json_reader.cc reads, json_errors.cc words the reader's errors and quotes texts for error
// messages, json_writer.cc writes (its header has the pieces the validation result's JSON
// shares).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "error/result.h"
#include "schema/schema.h"

namespace morvane::schema {

// Why a text is not a schema. `line` is 1-based; `column` counts the bytes from the start of
// that line up to the reader's position (0 when it stood at the start of a line).
struct JsonError {
  std::string message;
  std::size_t line = 1;
  std::size_t column = 0;

  bool operator==(const JsonError&) const = default;

  // "{message} at line {line} column {column}".
  std::string display() const;
};

// The compact JSON text of `schema`: no whitespace, "nodes" before "relationships", names in
// byte order. Never fails.
std::string serialize(const Schema& schema);

// Reads a schema from JSON text (bytes; any invalid UTF-8 inside a name is an error).
Result<Schema, JsonError> deserialize(std::string_view json);

// `text` in double quotes the way error texts show strings: backslash before '"' and '\\';
// \t \r \n \0; \u{hex} for other control, format, separator (except ' '), unassigned,
// private-use and combining (grapheme-extending) characters; invalid UTF-8 bytes as \x{hex}.
// Everything else is written as itself.
std::string debug_quote(std::string_view text);

}  // namespace morvane::schema
