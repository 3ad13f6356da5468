// Pattern checks: labels, relationship types and the keys of pattern property maps against the
// schema, relationship endpoints, the labels of SET and REMOVE items, and the shape warnings of
// MATCH. The labels written on a node are its own, never those its variable holds in the scope.
#include <cstdint>
#include <optional>
#include <utility>
#include <variant>
#include <vector>

#include "validator/semantic.h"

namespace morvane::validator::semantic {


namespace {

// The entries of a property map literal; nullptr for a parameter or no properties.
const ast::MapOrParam::Map* property_map(const std::optional<ast::MapOrParam>& properties) {
  if (!properties) return nullptr;
  return std::visit(ast::Overloaded{
                        [](const ast::MapOrParam::Map& map) { return &map; },
                        [](const ast::MapOrParam::Param&) -> const ast::MapOrParam::Map* {
                          return nullptr;
                        },
                    },
                    properties->variant);
}

}  // namespace

void SemanticValidator::validate_pattern_element(const ast::PatternElement& element) {
  validate_node_pattern(element.start);
  ast::List<ast::Str> left_labels = element.start.labels;
  for (const ast::PatternStep& step : tree_[element.chain]) {
    validate_rel_pattern_with_endpoints(step.relationship, left_labels, step.node.labels);
    validate_node_pattern(step.node);
    left_labels = step.node.labels;
  }
}

void SemanticValidator::validate_node_pattern(const ast::NodePattern& node) {
  ast::ListView<ast::Str> labels = tree_[node.labels];
  for (ast::Str written : labels) {
    if (suggestions_.has_node_label(name(written))) continue;
    Proposal proposal = label_proposal(written, suggestions_.node_labels());
    report(DiagnosticCode::UnknownNodeLabel, {text(written), proposal.hint},
           std::move(proposal.suggestion));
  }

  const ast::MapOrParam::Map* map = property_map(node.properties);
  if (map == nullptr || labels.empty()) return;
  // The node has every label written, and so the properties of each: a key is unknown only when
  // none of them declares it, and then each one's finding is made.
  auto declared_by_a_label = [&](std::string_view key) {
    for (ast::Str written : labels) {
      std::optional<std::size_t> properties = suggestions_.node_properties(name(written));
      if (properties && suggestions_.contains(*properties, key)) return true;
    }
    return false;
  };
  for (const ast::MapEntry& entry : tree_[map->entries]) {
    std::optional<bool> known;  // found at the first label lacking the key
    for (ast::Str written : labels) {
      // An undeclared label has had its E201 above.
      std::optional<std::size_t> properties = suggestions_.node_properties(name(written));
      if (!properties || suggestions_.contains(*properties, name(entry.key))) continue;
      if (!known) known = labels.size() > 1 && declared_by_a_label(name(entry.key));
      if (*known) break;
      Proposal proposal = property_proposal(entry.key, *properties);
      report(DiagnosticCode::UnknownNodeProperty, {text(entry.key), text(written), proposal.hint},
             std::move(proposal.suggestion));
    }
  }
}

void SemanticValidator::validate_rel_pattern_with_endpoints(
    const ast::RelationshipPattern& relationship, ast::List<ast::Str> left_labels,
    ast::List<ast::Str> right_labels) {
  const ast::MapOrParam::Map* map = property_map(relationship.properties);
  const ast::ListView<ast::Str> types = tree_[relationship.rel_types];
  // The relationship has one of its types: with alternatives, a key is unknown only when no
  // declared type of them declares it, and a node is a wrong endpoint only when no declared type
  // of them expects one of its labels there. Then each type's findings are made, as for a
  // single type.
  const bool alternatives = types.size() > 1;
  auto declared_by_a_type = [&](std::string_view key) {
    for (ast::Str written : types) {
      auto declared = schema_.relationships.find(name(written));
      if (declared != schema_.relationships.end() && declared->second.properties.contains(key)) {
        return true;
      }
    }
    return false;
  };
  std::vector<bool> known_keys;  // found at the first key a type lacks, for every key
  bool left_fits = false;
  bool right_fits = false;
  if (alternatives && relationship.direction != ast::Direction::Undirected) {
    const bool outgoing = relationship.direction == ast::Direction::Outgoing;
    for (ast::Str written : types) {
      auto declared = schema_.relationships.find(name(written));
      if (declared == schema_.relationships.end()) continue;
      const schema::Relationship& ends = declared->second;
      left_fits = left_fits || has_label(left_labels, outgoing ? ends.source : ends.target);
      right_fits = right_fits || has_label(right_labels, outgoing ? ends.target : ends.source);
    }
  }

  for (ast::Str written : types) {
    std::string_view type = text(written);
    auto declared = schema_.relationships.find(name(written));
    if (declared == schema_.relationships.end()) {
      Proposal proposal = label_proposal(written, suggestions_.rel_types());
      report(DiagnosticCode::UnknownRelType, {type, proposal.hint}, std::move(proposal.suggestion));
      continue;
    }

    if (map != nullptr) {
      const ast::ListView<ast::MapEntry> entries = tree_[map->entries];
      for (std::uint32_t i = 0; i < entries.size(); ++i) {
        const ast::MapEntry& entry = entries[i];
        if (declared->second.properties.contains(name(entry.key))) continue;
        if (alternatives) {
          if (known_keys.empty()) {
            for (const ast::MapEntry& each : entries) {
              known_keys.push_back(declared_by_a_type(name(each.key)));
            }
          }
          if (known_keys[i]) continue;
        }
        Proposal proposal = property_proposal(entry.key, *suggestions_.rel_properties(name(written)));
        report(DiagnosticCode::UnknownRelProperty, {text(entry.key), type, proposal.hint},
               std::move(proposal.suggestion));
      }
    }

    const std::string& source = declared->second.source;
    const std::string& target = declared->second.target;
    switch (relationship.direction) {
      case ast::Direction::Outgoing:
        if (!left_fits) check_endpoint_label(left_labels, source, "source", type);
        if (!right_fits) check_endpoint_label(right_labels, target, "target", type);
        break;
      case ast::Direction::Incoming:
        if (!right_fits) check_endpoint_label(right_labels, source, "source", type);
        if (!left_fits) check_endpoint_label(left_labels, target, "target", type);
        break;
      case ast::Direction::Undirected:
        break;
    }
  }
}

bool SemanticValidator::has_label(ast::List<ast::Str> node_labels, std::string_view label) const {
  for (ast::Str written : tree_[node_labels]) {
    if (name(written) == label) return true;
  }
  return false;
}

void SemanticValidator::check_endpoint_label(ast::List<ast::Str> node_labels,
                                             std::string_view expected, std::string_view role,
                                             std::string_view rel_type) {
  ast::ListView<ast::Str> labels = tree_[node_labels];
  if (labels.empty()) return;
  bool any_declared = false;
  for (ast::Str written : labels) {
    std::string_view label = name(written);
    if (label == expected) return;
    any_declared = any_declared || suggestions_.has_node_label(label);
  }
  // Without declared labels there is nothing to expect; a node whose labels are all unknown
  // has had its E201s.
  if (schema_.nodes.empty() || !any_declared) return;
  std::string written_labels;
  for (ast::Str written : labels) {
    if (!written_labels.empty()) written_labels += ", ";
    written_labels += ':';
    written_labels += text(written);
  }
  report(DiagnosticCode::WrongEndpointLabel, {rel_type, role, expected, written_labels});
}

void SemanticValidator::check_set_remove_labels(ast::List<ast::Str> labels, bool in_set) {
  DiagnosticCode code =
      in_set ? DiagnosticCode::UnknownNodeLabelInSet : DiagnosticCode::UnknownNodeLabelInRemove;
  for (ast::Str written : tree_[labels]) {
    if (suggestions_.has_node_label(name(written))) continue;
    Proposal proposal = label_proposal(written, suggestions_.node_labels());
    report(code, {text(written), proposal.hint}, std::move(proposal.suggestion));
  }
}

void SemanticValidator::check_cartesian_product(ast::List<ast::PatternPart> parts) {
  ast::ListView<ast::PatternPart> view = tree_[parts];
  if (view.size() < 2) return;
  std::vector<std::string_view> seen;
  std::vector<std::string_view> names;
  for (std::uint32_t i = 0; i < view.size(); ++i) {
    const ast::PatternPart& part = view[i];
    names.clear();
    if (part.variable) names.push_back(name(*part.variable));
    if (part.element.start.variable) names.push_back(name(*part.element.start.variable));
    for (const ast::PatternStep& step : tree_[part.element.chain]) {
      if (step.relationship.variable) names.push_back(name(*step.relationship.variable));
      if (step.node.variable) names.push_back(name(*step.node.variable));
    }
    if (i > 0) {
      bool shared = false;
      for (std::string_view name : names) {
        for (std::string_view have : seen) shared = shared || have == name;
      }
      if (!shared) {
        report(DiagnosticCode::CartesianProduct, {});
        return;
      }
    }
    seen.insert(seen.end(), names.begin(), names.end());
  }
}

void SemanticValidator::check_match_complexity(const ast::ReadingClause::Match& match,
                                               bool may_scan) {
  if (may_scan && !match.where_clause.present()) report(DiagnosticCode::UnlabeledFullScan, {});
  for (const ast::PatternPart& part : tree_[match.pattern.parts]) {
    for (const ast::PatternStep& step : tree_[part.element.chain]) {
      const std::optional<ast::Range>& range = step.relationship.range;
      if (range && !range->upper) {
        report(DiagnosticCode::UnboundedVarLength, {});
      }
    }
  }
}

}  // namespace morvane::validator::semantic
