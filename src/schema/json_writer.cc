#include "schema/json_writer.h"

#include <algorithm>

#include "schema/schema_json.h"

namespace morvane::schema {

void write_json_string(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  // Most texts need no escape at all: they are found by one pass and copied whole.
  const bool plain = std::none_of(text.begin(), text.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x20 || c == '"' || c == '\\';
  });
  if (plain) {
    out += text;
    out += '"';
    return;
  }
  for (char c : text) {
    unsigned char byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (byte < 0x20) {
          out += "\\u00";
          out += kHex[byte >> 4];
          out += kHex[byte & 15];
        } else {
          out += c;
        }
    }
  }
  out += '"';
}

std::string serialize(const Schema& schema) {
  std::string out = "{\"nodes\":{";
  bool first = true;
  for (const auto& [label, properties] : schema.nodes) {
    if (!first) out += ',';
    first = false;
    write_json_string(out, label);
    out += ':';
    write_json_strings(out, properties);
  }
  out += "},\"relationships\":{";
  first = true;
  for (const auto& [type, rel] : schema.relationships) {
    if (!first) out += ',';
    first = false;
    write_json_string(out, type);
    out += ":[";
    write_json_string(out, rel.source);
    out += ',';
    write_json_string(out, rel.target);
    out += ',';
    write_json_strings(out, rel.properties);
    out += ']';
  }
  out += "}}";
  return out;
}

}  // namespace morvane::schema
