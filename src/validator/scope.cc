#include "validator/scope.h"

#include <iterator>
#include <utility>

namespace morvane::validator::semantic {

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

void Scope::bind_all_replacing(const Scope& other) {
  for (const Entry& bound : other.entries_) bind_replacing(bound.name, bound.labels);
}

void Scope::bind_missing(const Scope& earlier) {
  for (const Entry& bound : earlier.entries_) {
    if (!contains(bound.name)) entries_.push_back(bound);
  }
}

void Scope::bind_over(std::size_t layer, std::string_view written, const LabelList* labels) {
  const std::string_view name = parser::unquoted(written);
  for (std::size_t i = entries_.size(); i-- > layer;) {
    if (entries_[i].name == name) {
      entries_[i].labels = labels != nullptr ? *labels : LabelList();
      return;
    }
  }
  // Copied first: `labels` may point into entries_, which the new entry can move.
  LabelList copy = labels != nullptr ? *labels : LabelList();
  add(name) = std::move(copy);
}

void Scope::remove(std::string_view written) {
  const std::string_view name = parser::unquoted(written);
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
    if (it->name == name) {
      entries_.erase(std::next(it).base());
      return;
    }
  }
}

}  // namespace morvane::validator::semantic
