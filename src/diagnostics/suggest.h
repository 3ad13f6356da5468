// Name suggestions for unknown labels, relationship types and properties: the closest declared
// name by a bounded, case-insensitive edit distance, and the Suggestion and hint text built from
// it. Cold path: called only when a diagnostic is being made; nothing is cached between calls.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "diagnostics/diagnostic.h"

namespace morvane::diagnostics {

// Largest edit distance that still counts as close.
inline constexpr std::size_t kMaxSuggestionDistance = 3;

// The candidate closest to `target`, or nothing when none is within kMaxSuggestionDistance.
// Both sides are lower-cased (full Unicode) and compared as UTF-8 bytes; a candidate whose
// length differs from the target's by more than kMaxSuggestionDistance is skipped. Among equally
// close candidates the first in the list wins. The result views the candidate list's own string
// (in its own case) and lives as long as that string.
std::optional<std::string_view> closest_match(std::string_view target,
                                              std::span<const std::string_view> candidates);
std::optional<std::string_view> closest_match(std::string_view target,
                                              std::span<const std::string> candidates);

// For a label or relationship type: ":label" -> ":best", "Replace :label with :best".
std::optional<Suggestion> label_suggestion(std::string_view label,
                                           std::span<const std::string_view> candidates);
std::optional<Suggestion> label_suggestion(std::string_view label,
                                           std::span<const std::string> candidates);

// For a property: "property" -> "best", "Replace property 'property' with 'best'".
std::optional<Suggestion> property_suggestion(std::string_view property,
                                              std::span<const std::string_view> candidates);
std::optional<Suggestion> property_suggestion(std::string_view property,
                                              std::span<const std::string> candidates);

// The hint that ends label, type and property messages: ", did you mean {prefix}{best}?", or
// the empty string when there is no best. `prefix` is ":" for labels and types, "." for
// properties.
std::string suggestion_hint(std::string_view prefix, std::optional<std::string_view> best);

}  // namespace morvane::diagnostics
