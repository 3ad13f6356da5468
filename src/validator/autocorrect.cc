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
// resuming after each replaced occurrence, written into `out`; false, leaving `out` alone, when
// there is none.
bool replace_all(std::string_view text, std::string_view original, std::string_view replacement,
                 std::string& out) {
  // An empty original matches nowhere: suggestions always start with a name or a colon, and an
  // empty one would otherwise loop without progress.
  std::size_t at = original.empty() ? std::string_view::npos : text.find(original);
  if (at == std::string_view::npos) return false;
  out.clear();
  out.reserve(text.size());
  std::size_t from = 0;
  for (; at != std::string_view::npos; at = text.find(original, from)) {
    out.append(text, from, at - from);
    out.append(replacement);
    from = at + original.size();
  }
  out.append(text, from);
  return true;
}

bool same_texts(const Suggestion& a, const Suggestion& b) {
  return a.original == b.original && a.replacement == b.replacement;
}

}  // namespace

std::optional<std::string> auto_correct(std::string_view query,
                                        std::span<const ValidationDiagnostic> diagnostics) {
  std::vector<const Suggestion*> pairs;
  // The pairs already taken: the first few are searched one by one; past them, a set finds a
  // repeat in log time however many errors there are.
  constexpr std::size_t kSearchedPairs = 16;
  std::set<std::pair<std::string_view, std::string_view>> taken;
  for (const ValidationDiagnostic& diagnostic : diagnostics) {
    if (diagnostic.severity != Severity::Error) continue;
    if (!diagnostic.suggestion) return std::nullopt;
    const Suggestion& suggestion = *diagnostic.suggestion;
    bool repeat;
    if (pairs.size() < kSearchedPairs) {
      repeat = std::any_of(pairs.begin(), pairs.end(),
                           [&](const Suggestion* pair) { return same_texts(*pair, suggestion); });
    } else {
      if (taken.empty()) {
        for (const Suggestion* pair : pairs) taken.emplace(pair->original, pair->replacement);
      }
      repeat = !taken.emplace(suggestion.original, suggestion.replacement).second;
    }
    if (!repeat) pairs.push_back(&suggestion);
  }
  if (pairs.empty()) return std::nullopt;
  if (pairs.size() > kMaxCorrectionWork / std::max<std::size_t>(query.size(), 1)) {
    return std::nullopt;
  }
  const auto longer = [](const Suggestion* a, const Suggestion* b) {
    return a->original.size() > b->original.size();
  };
  if (!std::is_sorted(pairs.begin(), pairs.end(), longer)) {
    std::stable_sort(pairs.begin(), pairs.end(), longer);
  }
  std::string text(query);
  std::string replaced;
  for (const Suggestion* pair : pairs) {
    if (replace_all(text, pair->original, pair->replacement, replaced)) text.swap(replaced);
  }
  return text;
}

}  // namespace morvane::validator
