#include "schema/schema.h"

namespace morvane::schema {
namespace {

template <class Map>
std::vector<std::string_view> keys_of(const Map& map) {
  std::vector<std::string_view> out;
  out.reserve(map.size());
  for (const auto& entry : map) out.emplace_back(entry.first);
  return out;
}

std::vector<std::string_view> names_of(const PropertySet& set) {
  return std::vector<std::string_view>(set.begin(), set.end());
}

}  // namespace

std::vector<std::string_view> Schema::node_labels() const { return keys_of(nodes); }

std::vector<std::string_view> Schema::rel_types() const { return keys_of(relationships); }

std::vector<std::string_view> Schema::node_properties(std::string_view label) const {
  auto it = nodes.find(label);
  if (it == nodes.end()) return {};
  return names_of(it->second);
}

std::vector<std::string_view> Schema::rel_properties(std::string_view rel_type) const {
  auto it = relationships.find(rel_type);
  if (it == relationships.end()) return {};
  return names_of(it->second.properties);
}

std::optional<std::pair<std::string_view, std::string_view>> Schema::rel_src_tgt(
    std::string_view rel_type) const {
  auto it = relationships.find(rel_type);
  if (it == relationships.end()) return std::nullopt;
  return std::pair<std::string_view, std::string_view>(it->second.source, it->second.target);
}

bool Schema::has_node_label(std::string_view label) const { return nodes.contains(label); }

bool Schema::has_rel_type(std::string_view rel_type) const {
  return relationships.contains(rel_type);
}

bool Schema::node_has_property(std::string_view label, std::string_view property) const {
  auto it = nodes.find(label);
  return it != nodes.end() && it->second.contains(property);
}

bool Schema::rel_has_property(std::string_view rel_type, std::string_view property) const {
  auto it = relationships.find(rel_type);
  return it != relationships.end() && it->second.properties.contains(property);
}

}  // namespace morvane::schema
