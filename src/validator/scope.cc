#include "validator/scope.h"

namespace morvane::validator::semantic {

const LabelList* Scope::find(std::string_view name) const {
  for (const Entry& entry : entries_) {
    if (entry.name == name) return &entry.labels;
  }
  return nullptr;
}

LabelList* Scope::find_mutable(std::string_view name) {
  for (Entry& entry : entries_) {
    if (entry.name == name) return &entry.labels;
  }
  return nullptr;
}

LabelList& Scope::entry(std::string_view name) {
  if (LabelList* list = find_mutable(name)) return *list;
  entries_.push_back(Entry{name, {}});
  return entries_.back().labels;
}

bool Scope::bind_if_absent(std::string_view name) {
  if (contains(name)) return false;
  entries_.push_back(Entry{name, {}});
  return true;
}

void Scope::remove(std::string_view name) {
  for (auto it = entries_.begin(); it != entries_.end(); ++it) {
    if (it->name == name) {
      entries_.erase(it);
      return;
    }
  }
}

}  // namespace morvane::validator::semantic
