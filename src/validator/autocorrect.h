// The auto-corrected query: every error's suggested replacement applied to the query text.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "diagnostics/diagnostic.h"

namespace morvane::validator {

// The query with the suggestions of its error diagnostics applied, or nothing when there is no
// error or some error has no suggestion (warnings play no part).
//
// The (original, replacement) pairs are taken in diagnostic order, a pair equal to an earlier
// one is dropped, and the rest are sorted stably by the byte length of `original`, longest
// first, so that a short fragment cannot break a longer one containing it. Each pair then
// replaces every occurrence of its original in the text the previous pair left, searched left to
// right without overlap. This is plain text substitution: string literals, comments and longer
// names containing the fragment change too.
//
// Each pair costs one pass over the text, so a query with very many distinct fixes gets none:
// when the pairs times the query's bytes exceed kMaxCorrectionWork, the result is nothing.
inline constexpr std::size_t kMaxCorrectionWork = std::size_t{1} << 28;

std::optional<std::string> auto_correct(
    std::string_view query, std::span<const diagnostics::ValidationDiagnostic> diagnostics);

}  // namespace morvane::validator
