#include "validator/suggestion_index.h"

#include <optional>
#include <vector>

namespace morvane::validator {
namespace {

// The position of `name` in `list` of `lists`, whose names are sorted by bytes; nothing when it
// is not there.
std::optional<std::size_t> find_sorted(const diagnostics::CandidateLists& lists, std::size_t list,
                                       std::string_view name) {
  std::size_t low = 0;
  std::size_t high = lists.size(list);
  while (low < high) {
    const std::size_t middle = low + (high - low) / 2;
    if (lists.name(list, middle) < name) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  if (low == lists.size(list) || lists.name(list, low) != name) return std::nullopt;
  return low;
}

std::vector<std::string_view> views_of(const schema::PropertySet& properties) {
  return std::vector<std::string_view>(properties.begin(), properties.end());
}

}  // namespace

SuggestionIndex::SuggestionIndex(const schema::Schema& schema) {
  lists_.add(schema.node_labels());
  lists_.add(schema.rel_types());
  lists_.add({});
  first_node_properties_ = lists_.list_count();
  for (const auto& [label, properties] : schema.nodes) lists_.add(views_of(properties));
  first_rel_properties_ = lists_.list_count();
  for (const auto& [type, relationship] : schema.relationships) {
    lists_.add(views_of(relationship.properties));
  }
}

std::size_t SuggestionIndex::node_properties(std::string_view label) const {
  std::optional<std::size_t> at = find_sorted(lists_, kNodeLabels, label);
  return at ? first_node_properties_ + *at : kNone;
}

std::size_t SuggestionIndex::rel_properties(std::string_view rel_type) const {
  std::optional<std::size_t> at = find_sorted(lists_, kRelTypes, rel_type);
  return at ? first_rel_properties_ + *at : kNone;
}

}  // namespace morvane::validator
