// The variables bound at one point of the validator's walk, each with the node labels and
// relationship types it carries (empty for paths, UNWIND and YIELD names, loop variables and
// projected expressions). Node and relationship variables share the one scope, so a name used
// for both holds labels and types together.
//
// A flat list of entries in first-bound order; lookups are linear, which beats hashing for
// the handful of variables a query binds. Names and labels are views into the syntax tree being
// validated, which outlives the scope. Copy the scope to save it; assign the copy back to restore.
#pragma once

#include <string_view>
#include <vector>

namespace morvane::validator::semantic {

class Scope {
 public:
  // The labels and types bound to `name`, or nullptr when the name is not bound. The pointer
  // lives until the scope next changes.
  const std::vector<std::string_view>* find(std::string_view name) const;
  bool contains(std::string_view name) const { return find(name) != nullptr; }

  // Binds `name` with `labels` as written (repeats kept) when it is new; otherwise appends, in
  // order, each label its list does not hold yet. `text` turns an element of `labels` into its
  // name.
  template <class Labels, class Text>
  void bind_labels(std::string_view name, const Labels& labels, Text text) {
    std::vector<std::string_view>* list = find_mutable(name);
    if (list == nullptr) {
      entries_.push_back(Entry{name, {}});
      for (const auto& label : labels) entries_.back().labels.push_back(text(label));
      return;
    }
    for (const auto& element : labels) {
      std::string_view label = text(element);
      bool held = false;
      for (std::string_view have : *list) held = held || have == label;
      if (!held) list->push_back(label);
    }
  }

  // Binds `name` with an empty list, replacing whatever it held.
  void bind_empty(std::string_view name) { entry(name).clear(); }

  // Binds `name` with an empty list unless it is bound; true when it was added.
  bool bind_if_absent(std::string_view name);

  // Binds `name` to `labels`, replacing whatever it held (the projection of WITH).
  void bind_replacing(std::string_view name, const std::vector<std::string_view>& labels) {
    entry(name) = labels;
  }

  void remove(std::string_view name);
  void clear() { entries_.clear(); }

 private:
  struct Entry {
    std::string_view name;
    std::vector<std::string_view> labels;
  };

  std::vector<std::string_view>* find_mutable(std::string_view name);
  // The list of `name`, added empty when the name is new.
  std::vector<std::string_view>& entry(std::string_view name);

  std::vector<Entry> entries_;
};

}  // namespace morvane::validator::semantic
