// Name suggestions for unknown labels, relationship types and properties: the closest declared
// name by a bounded, case-insensitive edit distance, and the Suggestion and hint text built from
// it. Cold path: called only when a diagnostic is being made. A search over a plain list
// lower-cases every candidate; CandidateLists does that once, for lists searched again and again.
//
// Cost: the distance is computed only within kMaxSuggestionDistance of the diagonal and stops at
// the first row beyond the bound, so comparing two names costs O(length), never O(length^2); a
// candidate whose length is too far off costs one comparison. Within one search the bound falls
// to one below the best distance found, and a candidate reuses the rows of the prefix it shares
// with the one compared before it, so a sorted list costs little more than the names' endings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "diagnostics/diagnostic.h"

namespace morvane::diagnostics {

// Largest edit distance that still counts as close.
inline constexpr std::size_t kMaxSuggestionDistance = 3;

// The work of suggestion searches, for a caller that wants to see it: pass one in, read it after.
// Every call adds to it.
struct SuggestStats {
  std::size_t searches = 0;   // closest-name searches run
  std::size_t distances = 0;  // candidates compared by edit distance (past the cheap tests of
                              // length and letters)
  std::size_t cells = 0;      // edit-distance matrix cells computed (rows shared by candidates
                              // with a common prefix count once)

  SuggestStats& operator+=(const SuggestStats& other) {
    searches += other.searches;
    distances += other.distances;
    cells += other.cells;
    return *this;
  }
};

// The edit distance (insertions, deletions, substitutions of single bytes) of `a` and `b` when
// it is at most `bound`, otherwise nothing. `bound` is at most kMaxSuggestionDistance. Only the
// cells within kMaxSuggestionDistance of the diagonal are computed, one row per byte of `b`, and
// the rows stop as soon as none can still end within `bound`: at most
// 2 * kMaxSuggestionDistance + 1 cells per byte of `b`, none when the lengths differ by more
// than `bound`.
std::optional<std::size_t> bounded_edit_distance(std::string_view a, std::string_view b,
                                                 std::size_t bound, SuggestStats* stats = nullptr);

// The candidate closest to `target`, or nothing when none is within kMaxSuggestionDistance.
// Both sides are lower-cased (full Unicode) and compared as UTF-8 bytes; a candidate whose
// length differs from the target's by more than kMaxSuggestionDistance is skipped, and so,
// without a distance, is one whose letters alone put it beyond the bound. Among equally close
// candidates the first in the list wins. The result views the candidate list's own string (in
// its own case) and lives as long as that string.
std::optional<std::string_view> closest_match(std::string_view target,
                                              std::span<const std::string_view> candidates,
                                              SuggestStats* stats = nullptr);
std::optional<std::string_view> closest_match(std::string_view target,
                                              std::span<const std::string> candidates,
                                              SuggestStats* stats = nullptr);

// Candidate lists prepared for many searches: each name is copied and lower-cased once, when its
// list is added, with what the cheap tests need (its length and letters). Owns everything it
// holds, so it may be copied or moved freely; once built it is only read, so any number of
// threads may search one at once.
class CandidateLists {
 public:
  // Adds `names`, in the order they are to be searched, as the next list; returns its number
  // (lists are numbered 0, 1, ... in the order added).
  std::size_t add(std::span<const std::string_view> names);

  std::size_t list_count() const { return list_ends_.size(); }
  // The number of names in list `list`.
  std::size_t size(std::size_t list) const { return end(list) - begin(list); }
  // The `i`-th name of list `list`, as added; the view lives as long as this object.
  std::string_view name(std::size_t list, std::size_t i) const;

  // The place of `name` in list `list`, compared exactly (bytes, as added): the first place
  // when it was added twice; nothing when it is not there. One hash probe, as a rule.
  std::optional<std::size_t> find(std::size_t list, std::string_view name) const;

  // closest_match(target, names of list `list`): the same answer, viewing this object's copy.
  std::optional<std::string_view> closest(std::size_t list, std::string_view target,
                                          SuggestStats* stats = nullptr) const;
  // The same search, answering with the name's place in its list.
  std::optional<std::size_t> closest_index(std::size_t list, std::string_view target,
                                           SuggestStats* stats = nullptr) const;

 private:
  // What a search reads of every candidate, kept apart so that a scan of a long list reads
  // little memory.
  struct Probe {
    std::size_t lowered_size = 0;   // bytes of the lower-cased form
    std::uint64_t byte_groups = 0;  // the groups those bytes fall in
  };
  // Where the candidate's text is.
  struct Entry {
    std::size_t name = 0;     // offset of the name in text_
    std::size_t name_size = 0;
    std::size_t lowered = 0;  // offset of its lower-cased form (the name's own when equal)
  };
  std::size_t begin(std::size_t list) const { return list == 0 ? 0 : list_ends_[list - 1]; }
  std::size_t end(std::size_t list) const { return list_ends_[list]; }
  std::string_view name_at(std::size_t entry) const;
  // The slots_ of `list` and `name` are probed from slot_of(...) on, one after another.
  std::size_t slot_of(std::size_t list, std::string_view name) const;
  // Puts entry `entry` (of list `list`) in its slot, unless its list holds its name already.
  void index(std::size_t list, std::size_t entry);

  std::string text_;
  std::vector<Probe> probes_;
  std::vector<Entry> entries_;          // entries_[i] goes with probes_[i]
  std::vector<std::size_t> list_ends_;  // one past each list's last entry
  // An open-addressing table of every (list, name): entry number + 1, or 0 for an empty slot.
  // Its size is a power of two, at least twice the number of entries.
  std::vector<std::size_t> slots_;
};

// For a label or relationship type: ":label" -> ":best", "Replace :label with :best".
std::optional<Suggestion> label_suggestion(std::string_view label,
                                           std::span<const std::string_view> candidates);
std::optional<Suggestion> label_suggestion(std::string_view label,
                                           std::span<const std::string> candidates);
// The same for a best name already found; nothing without one.
std::optional<Suggestion> label_replacement(std::string_view label,
                                            std::optional<std::string_view> best);

// For a property: "property" -> "best", "Replace property 'property' with 'best'".
std::optional<Suggestion> property_suggestion(std::string_view property,
                                              std::span<const std::string_view> candidates);
std::optional<Suggestion> property_suggestion(std::string_view property,
                                              std::span<const std::string> candidates);
// The same for a best name already found; nothing without one.
std::optional<Suggestion> property_replacement(std::string_view property,
                                               std::optional<std::string_view> best);

// The hint that ends label, type and property messages: ", did you mean {prefix}{best}?", or
// the empty string when there is no best. `prefix` is ":" for labels and types, "." for
// properties.
std::string suggestion_hint(std::string_view prefix, std::optional<std::string_view> best);

}  // namespace morvane::diagnostics
