#include "diagnostics/suggest.h"

#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace morvane::diagnostics {
namespace {

// `text` lower-cased into `out` (replacing its contents): ASCII by table, anything else through
// ICU's full, locale-independent lower-casing.
void lower_into(std::string_view text, std::string& out) {
  out.clear();
  bool ascii = std::all_of(text.begin(), text.end(),
                           [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (ascii) {
    out.resize(text.size());
    std::transform(text.begin(), text.end(), out.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
    return;
  }
  icu::UnicodeString wide = icu::UnicodeString::fromUTF8(
      icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())));
  wide.toLower(icu::Locale::getRoot());
  wide.toUTF8String(out);
}

// Byte-level edit distance of `a` and `b`, or nothing once it is certain to exceed
// kMaxSuggestionDistance (some row has no counter within it). `previous` and `current` are
// scratch rows reused across candidates.
std::optional<std::size_t> bounded_distance(std::string_view a, std::string_view b,
                                            std::vector<std::size_t>& previous,
                                            std::vector<std::size_t>& current) {
  const std::size_t m = b.size();
  previous.resize(m + 1);
  current.resize(m + 1);
  for (std::size_t j = 0; j <= m; ++j) previous[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    const char byte = a[i - 1];
    std::size_t diagonal = previous[0];  // previous[j - 1]
    std::size_t left = i;                // current[j - 1]
    current[0] = i;
    std::size_t row_min = i;
    for (std::size_t j = 1; j <= m; ++j) {
      const std::size_t up = previous[j];
      const std::size_t cell =
          byte == b[j - 1] ? diagonal : 1 + std::min(std::min(diagonal, up), left);
      current[j] = cell;
      diagonal = up;
      left = cell;
      row_min = std::min(row_min, cell);
    }
    if (row_min > kMaxSuggestionDistance) return std::nullopt;
    previous.swap(current);
  }
  return previous[m];
}

template <class Name>
std::optional<std::string_view> closest_in(std::string_view target,
                                           std::span<const Name> candidates) {
  std::string lowered_target;
  lower_into(target, lowered_target);
  std::string lowered;
  std::vector<std::size_t> previous;
  std::vector<std::size_t> current;
  std::optional<std::string_view> best;
  std::size_t best_distance = 0;
  for (const Name& candidate : candidates) {
    std::string_view name = candidate;
    lower_into(name, lowered);
    std::size_t n = lowered_target.size();
    std::size_t m = lowered.size();
    if ((n > m ? n - m : m - n) > kMaxSuggestionDistance) continue;
    std::optional<std::size_t> distance = bounded_distance(lowered_target, lowered, previous,
                                                           current);
    if (!distance || *distance > kMaxSuggestionDistance) continue;
    if (!best || *distance < best_distance) {
      best = name;
      best_distance = *distance;
    }
  }
  return best;
}

std::optional<Suggestion> label_from(std::string_view label, std::optional<std::string_view> best) {
  if (!best) return std::nullopt;
  std::string original(1, ':');
  original += label;
  std::string replacement(1, ':');
  replacement += *best;
  std::string description = "Replace " + original + " with " + replacement;
  return Suggestion{std::move(original), std::move(replacement), std::move(description)};
}

std::optional<Suggestion> property_from(std::string_view property,
                                        std::optional<std::string_view> best) {
  if (!best) return std::nullopt;
  std::string description =
      "Replace property '" + std::string(property) + "' with '" + std::string(*best) + "'";
  return Suggestion{std::string(property), std::string(*best), std::move(description)};
}

}  // namespace

std::optional<std::string_view> closest_match(std::string_view target,
                                              std::span<const std::string_view> candidates) {
  return closest_in(target, candidates);
}

std::optional<std::string_view> closest_match(std::string_view target,
                                              std::span<const std::string> candidates) {
  return closest_in(target, candidates);
}

std::optional<Suggestion> label_suggestion(std::string_view label,
                                           std::span<const std::string_view> candidates) {
  return label_from(label, closest_match(label, candidates));
}

std::optional<Suggestion> label_suggestion(std::string_view label,
                                           std::span<const std::string> candidates) {
  return label_from(label, closest_match(label, candidates));
}

std::optional<Suggestion> property_suggestion(std::string_view property,
                                              std::span<const std::string_view> candidates) {
  return property_from(property, closest_match(property, candidates));
}

std::optional<Suggestion> property_suggestion(std::string_view property,
                                              std::span<const std::string> candidates) {
  return property_from(property, closest_match(property, candidates));
}

std::string suggestion_hint(std::string_view prefix, std::optional<std::string_view> best) {
  if (!best) return {};
  std::string hint = ", did you mean ";
  hint.append(prefix);
  hint.append(*best);
  hint += '?';
  return hint;
}

}  // namespace morvane::diagnostics
