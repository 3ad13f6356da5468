// The schema's names prepared for the validator: the node labels, the relationship types, and
// the property names of each label and each type, every list copied and lower-cased once, here,
// and indexed for exact lookups. A Morvane builds one from its schema and afterwards only reads
// it, from any number of threads at once. It owns its copies, so it does not depend on the
// schema it came from.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "diagnostics/suggest.h"
#include "schema/schema.h"

namespace morvane::validator {

class SuggestionIndex {
 public:
  explicit SuggestionIndex(const schema::Schema& schema);

  // The lists are searched through candidates(); each is named by its number.
  const diagnostics::CandidateLists& candidates() const { return lists_; }

  // The node labels, sorted by bytes.
  std::size_t node_labels() const { return kNodeLabels; }
  // The relationship types, sorted by bytes.
  std::size_t rel_types() const { return kRelTypes; }
  // The property names of `label`, sorted by bytes; nothing when the label is not declared.
  std::optional<std::size_t> node_properties(std::string_view label) const;
  // The property names of `rel_type`, sorted by bytes; nothing when it is not declared.
  std::optional<std::size_t> rel_properties(std::string_view rel_type) const;

  bool has_node_label(std::string_view label) const {
    return lists_.find(kNodeLabels, label).has_value();
  }
  // Whether list `list` holds `name`, exactly.
  bool contains(std::size_t list, std::string_view name) const {
    return lists_.find(list, name).has_value();
  }

 private:
  static constexpr std::size_t kNodeLabels = 0;
  static constexpr std::size_t kRelTypes = 1;
  // Each label's property list follows the ones before it, from first_node_properties_ on, in
  // the order of the labels; then each type's, from first_rel_properties_ on.
  std::size_t first_node_properties_ = 0;
  std::size_t first_rel_properties_ = 0;
  diagnostics::CandidateLists lists_;
};

}  // namespace morvane::validator
