// Writing JSON text, the pieces that the schema's JSON form (serialize) and the validation
// result's JSON (validator::to_json) share. Each appends to a string the caller owns; the caller
// lays out the objects and arrays around them. Nothing here fails.
#pragma once

#include <string>
#include <string_view>

namespace morvane::schema {

// Appends `text` to `out` as a JSON string: '"' and '\\' escaped, \b \f \n \r \t, other
// control characters as \u00xx, everything else (non-ASCII included) as itself.
void write_json_string(std::string& out, std::string_view text);

// Appends `texts`, any range of strings, to `out` as a JSON array of strings in its order.
template <class Texts>
void write_json_strings(std::string& out, const Texts& texts) {
  out += '[';
  bool first = true;
  for (const auto& text : texts) {
    if (!first) out += ',';
    first = false;
    write_json_string(out, text);
  }
  out += ']';
}

}  // namespace morvane::schema
