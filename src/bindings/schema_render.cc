// The schema renderings. The maps of a Schema are ordered by bytes, so iterating them gives the
// order of its sorted accessors without building the lists.
#include "bindings/schema_render.h"

#include <cstddef>
#include <string_view>

#include "parser/names.h"

namespace morvane::bindings {

namespace {

constexpr std::size_t kNameField = 26;

// Room for every name once plus `per_entry` bytes of layout per label, type and property, so
// the text is built without regrowing in the common case.
std::size_t estimated_size(const schema::Schema& schema, std::size_t per_entry) {
  std::size_t size = 256;
  for (const auto& [label, properties] : schema.nodes) {
    size += label.size() + per_entry;
    for (const std::string& property : properties) size += property.size() + 2;
  }
  for (const auto& [type, relationship] : schema.relationships) {
    size += type.size() + relationship.source.size() + relationship.target.size() + per_entry;
    for (const std::string& property : relationship.properties) size += property.size() + 2;
  }
  return size;
}

// Characters, counted as UTF-8 lead bytes: every byte but the continuation bytes 10xxxxxx.
std::size_t char_count(std::string_view text) {
  std::size_t count = 0;
  for (char c : text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return count;
}

// `name` then spaces up to kNameField characters; a longer name is written whole.
void append_field(std::string& out, std::string_view name) {
  out += name;
  const std::size_t width = char_count(name);
  if (width < kNameField) out.append(kNameField - width, ' ');
}

void append_stored(std::string& out, std::string_view name) { out += name; }

// `name` as a query writes it: as it is when plain, otherwise between backticks, even when it
// holds a backtick itself.
void append_cypher_name(std::string& out, std::string_view name) {
  if (parser::name_form(name) == parser::NameForm::kPlain) {
    out += name;
    return;
  }
  out += '`';
  out += name;
  out += '`';
}

// The names joined by ", ", each written by `append_name`.
void append_joined(std::string& out, const schema::PropertySet& properties,
                   void (*append_name)(std::string&, std::string_view) = append_stored) {
  bool first = true;
  for (const std::string& property : properties) {
    if (!first) out += ", ";
    append_name(out, property);
    first = false;
  }
}

}  // namespace

std::string to_prompt(const schema::Schema& schema) {
  std::string out;
  out.reserve(estimated_size(schema, kNameField + 16));
  out += "Graph Schema\n============\n\nNodes\n-----\n";
  for (const auto& [label, properties] : schema.nodes) {
    out += "  :";
    if (properties.empty()) {
      out += label;
    } else {
      append_field(out, label);
      out += "  ";
      append_joined(out, properties);
    }
    out += '\n';
  }
  out += "\nRelationships\n-------------\n";
  for (const auto& [type, relationship] : schema.relationships) {
    out += "  :";
    append_field(out, type);
    out += "  (";
    out += relationship.source;
    out += ")-->(";
    out += relationship.target;
    out += ')';
    if (!relationship.properties.empty()) {
      out += "   ";
      append_joined(out, relationship.properties);
    }
    out += '\n';
  }
  return out;
}

std::string to_markdown(const schema::Schema& schema) {
  std::string out;
  out.reserve(estimated_size(schema, 24));
  out += "### Nodes\n\n| Label | Properties |\n|---|---|\n";
  for (const auto& [label, properties] : schema.nodes) {
    out += "| :";
    out += label;
    out += " | ";
    if (properties.empty()) {
      out += "—";
    } else {
      append_joined(out, properties);
    }
    out += " |\n";
  }
  out += "\n### Relationships\n\n| Type | Source → Target | Properties |\n|---|---|---|\n";
  for (const auto& [type, relationship] : schema.relationships) {
    out += "| :";
    out += type;
    out += " | :";
    out += relationship.source;
    out += " → :";
    out += relationship.target;
    out += " | ";
    if (relationship.properties.empty()) {
      out += "—";
    } else {
      append_joined(out, relationship.properties);
    }
    out += " |\n";
  }
  return out;
}

std::string to_cypher_context(const schema::Schema& schema) {
  std::string out;
  out.reserve(estimated_size(schema, 16));
  out += "// Node labels and their properties\n";
  for (const auto& [label, properties] : schema.nodes) {
    out += "(:";
    append_cypher_name(out, label);
    if (!properties.empty()) {
      out += " {";
      append_joined(out, properties, append_cypher_name);
      out += '}';
    }
    out += ")\n";
  }
  out += "\n// Relationship types\n";
  for (const auto& [type, relationship] : schema.relationships) {
    out += "(:";
    append_cypher_name(out, relationship.source);
    out += ")-[:";
    append_cypher_name(out, type);
    if (!relationship.properties.empty()) {
      out += " {";
      append_joined(out, relationship.properties, append_cypher_name);
      out += '}';
    }
    out += "]->(:";
    append_cypher_name(out, relationship.target);
    out += ")\n";
  }
  return out;
}

}  // namespace morvane::bindings
