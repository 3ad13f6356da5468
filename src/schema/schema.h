// The declared shape of the graph that queries are checked against: node labels with their
// property names, and relationship types with their source label, target label and property
// names. A Schema is a plain value: copying it copies everything, and nothing ties the two maps
// together (a relationship's endpoints need not be declared labels; empty names are fine).
//
// Names are compared exactly, byte for byte. All containers are ordered by bytes, so every list
// below and the JSON text written from a schema are the same for equal content, every run.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace morvane::schema {

// A set of property names, ordered by bytes; a name added twice is kept once.
using PropertySet = std::set<std::string, std::less<>>;

// One declared relationship type: where it goes from, where it goes to, what it carries.
struct Relationship {
  std::string source;
  std::string target;
  PropertySet properties;

  bool operator==(const Relationship&) const = default;
};

// Node label -> its property names.
using NodeMap = std::map<std::string, PropertySet, std::less<>>;
// Relationship type -> its endpoints and property names.
using RelationshipMap = std::map<std::string, Relationship, std::less<>>;

struct Schema {
  NodeMap nodes;
  RelationshipMap relationships;

  bool operator==(const Schema&) const = default;

  // The ordered views. Each string_view points into this schema and stays valid while the
  // schema lives and is not changed; lists are sorted ascending by bytes.

  // Every node label.
  std::vector<std::string_view> node_labels() const;
  // Every relationship type.
  std::vector<std::string_view> rel_types() const;
  // The property names of `label`; empty when the label is not declared.
  std::vector<std::string_view> node_properties(std::string_view label) const;
  // The property names of `rel_type`; empty when the type is not declared.
  std::vector<std::string_view> rel_properties(std::string_view rel_type) const;
  // (source label, target label) of `rel_type`; nothing when the type is not declared.
  std::optional<std::pair<std::string_view, std::string_view>> rel_src_tgt(
      std::string_view rel_type) const;

  // Exact membership tests.
  bool has_node_label(std::string_view label) const;
  bool has_rel_type(std::string_view rel_type) const;
  // False when the label is not declared.
  bool node_has_property(std::string_view label, std::string_view property) const;
  // False when the type is not declared.
  bool rel_has_property(std::string_view rel_type, std::string_view property) const;
};

}  // namespace morvane::schema
