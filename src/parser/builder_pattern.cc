// Patterns: parts, paths, node and relationship patterns, their properties and map literals.
#include <algorithm>
#include <vector>

#include "parser/builder.h"
#include "parser/builder_text.h"

namespace morvane::parser::builder {

namespace {

// Up to this many entries a map finds repeated keys by comparing each key with the earlier
// ones; larger maps sort.
constexpr std::uint32_t kLinearMapEntries = 16;

}  // namespace

bool Builder::build_pattern(std::uint32_t pair, ast::Pattern& out) {
  return build_children(pair, Rule::pattern_part, &Builder::build_pattern_part, out.parts);
}

bool Builder::build_pattern_part(std::uint32_t pair, ast::PatternPart& out) {
  bool has_element = false;
  for (const std::uint32_t c : children(pair)) {
    if (rule(c) == Rule::variable) {
      out.variable = copy_text(c);
    } else if (rule(c) == Rule::pattern_element) {
      if (!build_pattern_element(c, out.element)) return false;
      has_element = true;
    }
  }
  if (!has_element) return fail(Guard::kPatternPartMissingElement);
  return true;
}

bool Builder::build_pattern_element(std::uint32_t pair, ast::PatternElement& out) {
  const std::uint32_t first = first_child(pair);
  if (first == kNoPair) return fail(Guard::kPatternElementMissingNode);
  if (rule(first) == Rule::shortest_path_call) {
    const std::uint32_t start = first_child(first);
    if (start == kNoPair) return fail(Guard::kShortestPathMissingNode);
    if (!build_node_pattern(start, out.start)) return false;
    return build_chain(first, start, out.chain);
  }
  if (!build_node_pattern(first, out.start)) return false;
  return build_chain(pair, first, out.chain);
}

bool Builder::build_chain(std::uint32_t parent, std::uint32_t start,
                          ast::List<ast::PatternStep>& out) {
  const auto steps = open_list<ast::PatternStep>();
  ast::PatternStep step;
  bool held = false;
  for (const std::uint32_t c : children_after(parent, start)) {
    if (rule(c) == Rule::relationship_pattern) {
      step.relationship = {};
      if (!build_relationship_pattern(c, step.relationship)) return false;
      held = true;
    } else if (rule(c) == Rule::node_pattern && held) {
      step.node = {};
      if (!build_node_pattern(c, step.node)) return false;
      push(steps, add(step));
      held = false;
    }
  }
  out = take_list(steps);
  return true;
}

bool Builder::build_node_pattern(std::uint32_t pair, ast::NodePattern& out) {
  for (const std::uint32_t c : children(pair)) {
    switch (rule(c)) {
      case Rule::variable:
        out.variable = copy_text(c);
        break;
      case Rule::node_labels:
        out.labels = copy_child_texts(c, Rule::label_name);
        break;
      case Rule::properties:
        if (!build_into(c, &Builder::build_properties, out.properties)) return false;
        break;
      default:
        break;
    }
  }
  return true;
}

bool Builder::build_relationship_pattern(std::uint32_t pair, ast::RelationshipPattern& out) {
  const std::string_view written = text(pair);
  if (!written.empty() && written.front() == '<') {
    out.direction = ast::Direction::Incoming;
  } else if (!written.empty() && written.back() == '>') {
    out.direction = ast::Direction::Outgoing;
  } else {
    out.direction = ast::Direction::Undirected;
  }
  for (const std::uint32_t c : children(pair)) {
    switch (rule(c)) {
      case Rule::variable:
        out.variable = copy_text(c);
        break;
      case Rule::rel_types:
        out.rel_types = copy_child_texts(c, Rule::rel_type_name);
        break;
      case Rule::range_literal:
        out.range = read_range(text(c));
        break;
      case Rule::properties:
        if (!build_into(c, &Builder::build_properties, out.properties)) return false;
        break;
      default:
        break;
    }
  }
  return true;
}

bool Builder::build_properties(std::uint32_t pair, ast::MapOrParam& out) {
  const std::uint32_t c = first_child(pair);
  if (c == kNoPair) return fail(Guard::kEmptyProperties);
  if (rule(c) == Rule::map_literal) {
    ast::MapOrParam::Map map;
    if (!build_map_literal(c, map.entries)) return false;
    out.variant = map;
    return true;
  }
  if (rule(c) == Rule::parameter) {
    out.variant = ast::MapOrParam::Param{copy_parameter_name(c)};
    return true;
  }
  return fail(Guard::kUnknownProperties);
}

bool Builder::build_map_literal(std::uint32_t pair, ast::List<ast::MapEntry>& out) {
  const auto entries = open_list<ast::MapEntry>();
  for (const std::uint32_t c : children(pair)) {
    if (rule(c) != Rule::property_key_value_pair) continue;
    const std::uint32_t key = first_child(c);
    if (key == kNoPair) return fail(Guard::kMapMissingKey);
    const std::uint32_t value = next_sibling(c, key);
    if (value == kNoPair) return fail(Guard::kMapMissingValue);
    ast::MapEntry entry;
    entry.key = copy_text(key);
    if (!build_expression(value, entry.value)) return false;
    push(entries, add(entry));
  }

  // A key written again replaces the value where the key was first written, and its later
  // entries leave the list.
  const std::uint32_t from = entries.from;
  const auto count = static_cast<std::uint32_t>(pending_.size() - from);
  auto entry_at = [&](std::uint32_t i) -> ast::MapEntry& {
    return node(ast::Id<ast::MapEntry>{pending_[from + i].at});
  };
  auto key_at = [&](std::uint32_t i) { return stored_text(entry_at(i).key); };
  if (count <= kLinearMapEntries) {
    for (std::uint32_t i = 1; i < count; ++i) {
      for (std::uint32_t j = 0; j < i; ++j) {
        if (pending_[from + j].tag == entries.tag && key_at(j) == key_at(i)) {
          entry_at(j).value = entry_at(i).value;
          pending_[from + i].tag = kDropped;
          break;
        }
      }
    }
  } else {
    std::vector<std::uint32_t> order(count);
    for (std::uint32_t i = 0; i < count; ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](std::uint32_t a, std::uint32_t b) { return key_at(a) < key_at(b); });
    for (std::uint32_t run = 0; run < count;) {
      std::uint32_t end = run + 1;
      while (end < count && key_at(order[end]) == key_at(order[run])) ++end;
      entry_at(order[run]).value = entry_at(order[end - 1]).value;
      for (std::uint32_t i = run + 1; i < end; ++i) pending_[from + order[i]].tag = kDropped;
      run = end;
    }
  }
  out = take_list(entries);
  return true;
}

}  // namespace morvane::parser::builder
