#include "validator/autocorrect.h"

#include <algorithm>
#include <set>
#include <string_view>
#include <utility>
#include <vector>

namespace morvane::validator {
namespace {

using diagnostics::Severity;
using diagnostics::Suggestion;
using diagnostics::ValidationDiagnostic;

// Every occurrence of `original` in `text` replaced by `replacement`, left to right, the search
// resuming after each replaced occurrence.
std::string replace_all(std::string_view text, std::string_view original,
                        std::string_view replacement) {
  std::string out;
  out.reserve(text.size());
  std::size_t from = 0;
  // An empty original matches nowhere: suggestions always start with a name or a colon, and an
  // empty one would otherwise loop without progress.
  if (!original.empty()) {
    for (std::size_t at = text.find(original); at != std::string_view::npos;
         at = text.find(original, from)) {
      out.append(text, from, at - from);
      out.append(replacement);
      from = at + original.size();
    }
  }
  out.append(text, from);
  return out;
}

}  // namespace

std::optional<std::string> auto_correct(std::string_view query,
                                        std::span<const ValidationDiagnostic> diagnostics) {
  std::vector<const Suggestion*> pairs;
  // The pairs already taken, so a repeat is found in log time however many errors there are.
  std::set<std::pair<std::string_view, std::string_view>> taken;
  for (const ValidationDiagnostic& diagnostic : diagnostics) {
    if (diagnostic.severity != Severity::Error) continue;
    if (!diagnostic.suggestion) return std::nullopt;
    const Suggestion& suggestion = *diagnostic.suggestion;
    if (taken.emplace(suggestion.original, suggestion.replacement).second) {
      pairs.push_back(&suggestion);
    }
  }
  if (pairs.empty()) return std::nullopt;
  if (pairs.size() > kMaxCorrectionWork / std::max<std::size_t>(query.size(), 1)) {
    return std::nullopt;
  }
  std::stable_sort(pairs.begin(), pairs.end(), [](const Suggestion* a, const Suggestion* b) {
    return a->original.size() > b->original.size();
  });
  std::string text(query);
  for (const Suggestion* pair : pairs) text = replace_all(text, pair->original, pair->replacement);
  return text;
}

}  // namespace morvane::validator
