// The auto-corrected query: every error's suggested replacement applied to the query text.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "diagnostics/diagnostic.h"

namespace morvane::validator {

// The query with the suggestions of its error diagnostics applied, or nothing when there is no
// error or some error has no suggestion (warnings play no part).
//
// Each suggestion replaces the name its finding is about, at the place the suggestion gives, and
// nothing else: the same text elsewhere (in a string literal, a comment, another name) stays.
// Where several findings ask for different replacements of one name, the first finding's wins.
// A suggestion whose place does not hold the end of its `original` (it belongs to another
// query) gives nothing, as do two places that overlap without being the same.
//
// Cost: one pass over the query, after sorting the places when the findings did not come in
// query order.
std::optional<std::string> auto_correct(
    std::string_view query, std::span<const diagnostics::ValidationDiagnostic> diagnostics);

}  // namespace morvane::validator
