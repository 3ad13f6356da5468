#include "validator/autocorrect.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace morvane::validator {
namespace {

using diagnostics::Severity;
using diagnostics::Suggestion;
using diagnostics::ValidationDiagnostic;

// Bytes [begin, end) of the query become `text`.
struct Edit {
  std::uint32_t begin;
  std::uint32_t end;
  std::string_view text;
};

// The edit of `suggestion` in `query`, or nothing when its place does not hold the end of its
// original, or its replacement does not begin as the original does before that end.
std::optional<Edit> edit_of(std::string_view query, const Suggestion& suggestion) {
  if (suggestion.name_begin > suggestion.name_end || suggestion.name_end > query.size()) {
    return std::nullopt;
  }
  const std::string_view name =
      query.substr(suggestion.name_begin, suggestion.name_end - suggestion.name_begin);
  const std::string_view original = suggestion.original;
  if (!original.ends_with(name)) return std::nullopt;
  const std::string_view prefix = original.substr(0, original.size() - name.size());
  const std::string_view replacement = suggestion.replacement;
  if (!replacement.starts_with(prefix)) return std::nullopt;
  return Edit{suggestion.name_begin, suggestion.name_end, replacement.substr(prefix.size())};
}

}  // namespace

std::optional<std::string> auto_correct(std::string_view query,
                                        std::span<const ValidationDiagnostic> diagnostics) {
  std::vector<Edit> edits;
  for (const ValidationDiagnostic& diagnostic : diagnostics) {
    if (diagnostic.severity != Severity::Error) continue;
    if (!diagnostic.suggestion) return std::nullopt;
    std::optional<Edit> edit = edit_of(query, *diagnostic.suggestion);
    if (!edit) return std::nullopt;
    edits.push_back(*edit);
  }
  if (edits.empty()) return std::nullopt;
  // Findings mostly come in query order; a stable sort keeps the first finding first among
  // those about one place.
  const auto earlier = [](const Edit& a, const Edit& b) { return a.begin < b.begin; };
  if (!std::is_sorted(edits.begin(), edits.end(), earlier)) {
    std::stable_sort(edits.begin(), edits.end(), earlier);
  }

  std::string fixed;
  fixed.reserve(query.size());
  std::size_t copied = 0;  // the query is in `fixed` up to here
  const Edit* last = nullptr;
  for (const Edit& edit : edits) {
    if (last != nullptr && edit.begin == last->begin && edit.end == last->end) continue;
    if (edit.begin < copied) return std::nullopt;
    fixed.append(query, copied, edit.begin - copied);
    fixed.append(edit.text);
    copied = edit.end;
    last = &edit;
  }
  fixed.append(query, copied);
  return fixed;
}

}  // namespace morvane::validator
