// The variables bound at one point of the validator's walk, each with the node labels and
// relationship types it carries (empty for paths, UNWIND and YIELD names, loop variables and
// projected expressions). Node and relationship variables share the one scope, so a name used
// for both holds labels and types together.
//
// Names and labels are taken as the query writes them, and compared as the names they stand
// for (parser::unquoted): `n` and n are one variable, :`Person` and :Person one label.
//
// A flat list of entries in first-bound order; lookups are linear, which beats hashing for
// the handful of variables a query binds. Names and labels are views into the syntax tree being
// validated, which outlives the scope. Copy the scope to save it; assign the copy back to restore.
// A name has one entry, except while a layer is open (bind_over): lookups search from the last
// entry, so a layer's entry hides an earlier one of its name until the layer is truncated away.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>
#include <utility>
#include <vector>

#include "parser/names.h"

namespace morvane::validator::semantic {

// The labels or types of one variable, in order, as written where they were bound. Nearly every
// variable has one or two: those are kept inline, so that binding a variable allocates nothing.
class LabelList {
 public:
  LabelList() = default;
  LabelList(const LabelList&) = default;
  LabelList& operator=(const LabelList&) = default;
  // A list moved from is left empty.
  LabelList(LabelList&& other) noexcept
      : inline_(other.inline_),
        heap_(std::move(other.heap_)),
        size_(std::exchange(other.size_, 0)) {}
  LabelList& operator=(LabelList&& other) noexcept {
    inline_ = other.inline_;
    heap_ = std::move(other.heap_);
    size_ = std::exchange(other.size_, 0);
    other.heap_.clear();
    return *this;
  }

  const std::string_view* begin() const { return spilled() ? heap_.data() : inline_.data(); }
  const std::string_view* end() const { return begin() + size_; }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

  void push_back(std::string_view label) {
    if (!spilled() && size_ < inline_.size()) {
      inline_[size_++] = label;
      return;
    }
    if (!spilled()) heap_.assign(inline_.begin(), inline_.end());
    heap_.push_back(label);
    ++size_;
  }
  void clear() {
    heap_.clear();
    size_ = 0;
  }

 private:
  bool spilled() const { return !heap_.empty(); }

  std::array<std::string_view, 2> inline_;
  std::vector<std::string_view> heap_;  // all of them, once there are more than fit inline
  std::size_t size_ = 0;
};

class Scope {
 public:
  // The labels and types bound to `name`, or nullptr when the name is not bound. The pointer
  // lives until the scope next changes.
  const LabelList* find(std::string_view name) const { return find_below(name, entries_.size()); }
  bool contains(std::string_view name) const { return find(name) != nullptr; }

  // Binds `name` with `labels` as written (repeats kept) when it is new; otherwise appends, in
  // order, each label its list does not hold yet. `text` turns an element of `labels` into its
  // name.
  template <class Labels, class Text>
  void bind_labels(std::string_view name, const Labels& labels, Text text) {
    LabelList* list = find_mutable(name);
    if (list == nullptr) {
      LabelList& added = add(name);
      for (const auto& label : labels) added.push_back(text(label));
      return;
    }
    for (const auto& element : labels) {
      std::string_view label = text(element);
      const std::string_view name = parser::unquoted(label);
      bool held = false;
      for (std::string_view have : *list) held = held || parser::unquoted(have) == name;
      if (!held) list->push_back(label);
    }
  }

  // Binds `name` with an empty list, replacing whatever it held.
  void bind_empty(std::string_view name) { entry(name).clear(); }

  // Binds `name` with an empty list unless it is bound; true when it was added.
  bool bind_if_absent(std::string_view name);

  // Binds `name` to `labels`, replacing whatever it held (the projection of WITH).
  void bind_replacing(std::string_view name, const LabelList& labels) {
    entry(name) = labels;
  }

  // Binds every name of `other` to its labels, replacing what those names held.
  void bind_all_replacing(const Scope& other);
  // Binds each name of `earlier` that this scope lacks, with its labels.
  void bind_missing(const Scope& earlier);

  // The layer of entries bound from now on: pass it to bind_over, find_below and truncate.
  std::size_t open_layer() const { return entries_.size(); }
  // Binds `name` to `labels` (none when nullptr) inside the layer: a name the layer holds gets
  // them in place of its own; another gets a new entry, hiding any earlier entry of its name.
  void bind_over(std::size_t layer, std::string_view name, const LabelList* labels);
  // The labels `name` has below the layer, or nullptr.
  const LabelList* find_below(std::string_view written, std::size_t layer) const {
    const std::string_view name = parser::unquoted(written);
    const Entry* const first = entries_.data();
    for (const Entry* at = first + layer; at != first;) {
      --at;
      if (at->name == name) return &at->labels;
    }
    return nullptr;
  }
  // Drops the layer's entries, which shows again what they hid.
  void truncate(std::size_t layer) {
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(layer), entries_.end());
  }

  void remove(std::string_view name);
  void clear() { entries_.clear(); }

 private:
  struct Entry {
    std::string_view name;  // unquoted
    LabelList labels;
  };

  LabelList* find_mutable(std::string_view name) { return const_cast<LabelList*>(find(name)); }
  // A new entry for `name`, with no labels.
  LabelList& add(std::string_view name);
  // The list of `name`, added empty when the name is new.
  LabelList& entry(std::string_view name);

  std::vector<Entry> entries_;
};

}  // namespace morvane::validator::semantic
