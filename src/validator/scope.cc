#include "validator/scope.h"

namespace morvane::validator::semantic {

const LabelList* Scope::find(std::string_view written) const {
  const std::string_view name = parser::unquoted(written);
  for (const Entry& entry : entries_) {
    if (entry.name == name) return &entry.labels;
  }
  return nullptr;
}

LabelList* Scope::find_mutable(std::string_view written) {
  const std::string_view name = parser::unquoted(written);
  for (Entry& entry : entries_) {
    if (entry.name == name) return &entry.labels;
  }
  return nullptr;
}

LabelList& Scope::add(std::string_view name) {
  // Room for a typical query's variables at once, rather than growing one by one.
  if (entries_.capacity() == 0) entries_.reserve(8);
  entries_.push_back(Entry{parser::unquoted(name), {}});
  return entries_.back().labels;
}

LabelList& Scope::entry(std::string_view name) {
  if (LabelList* list = find_mutable(name)) return *list;
  return add(name);
}

bool Scope::bind_if_absent(std::string_view name) {
  if (contains(name)) return false;
  add(name);
  return true;
}

void Scope::remove(std::string_view written) {
  const std::string_view name = parser::unquoted(written);
  for (auto it = entries_.begin(); it != entries_.end(); ++it) {
    if (it->name == name) {
      entries_.erase(it);
      return;
    }
  }
}

}  // namespace morvane::validator::semantic
