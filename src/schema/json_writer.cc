#include "schema/json_writer.h"

#include "schema/schema_json.h"

namespace morvane::schema {

void write_json_string(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  // Bytes that need no escape are copied in runs, not one by one.
  std::size_t run = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && c != '"' && c != '\\') continue;
    out.append(text.data() + run, i - run);
    run = i + 1;
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        out += "\\u00";
        out += kHex[byte >> 4];
        out += kHex[byte & 15];
    }
  }
  out.append(text.data() + run, text.size() - run);
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
