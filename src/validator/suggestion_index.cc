#include "validator/suggestion_index.h"

#include <optional>
#include <vector>

namespace morvane::validator {
namespace {

std::vector<std::string_view> views_of(const schema::PropertySet& properties) {
  return std::vector<std::string_view>(properties.begin(), properties.end());
}

}  // namespace

SuggestionIndex::SuggestionIndex(const schema::Schema& schema) {
  lists_.add(schema.node_labels());
  lists_.add(schema.rel_types());
  first_node_properties_ = lists_.list_count();
  for (const auto& [label, properties] : schema.nodes) lists_.add(views_of(properties));
  first_rel_properties_ = lists_.list_count();
  for (const auto& [type, relationship] : schema.relationships) {
    lists_.add(views_of(relationship.properties));
  }
}

std::optional<std::size_t> SuggestionIndex::node_properties(std::string_view label) const {
  std::optional<std::size_t> at = lists_.find(kNodeLabels, label);
  if (!at) return std::nullopt;
  return first_node_properties_ + *at;
}

std::optional<std::size_t> SuggestionIndex::rel_properties(std::string_view rel_type) const {
  std::optional<std::size_t> at = lists_.find(kRelTypes, rel_type);
  if (!at) return std::nullopt;
  return first_rel_properties_ + *at;
}

}  // namespace morvane::validator
