// The compact JSON text of a validation result, as ValidationResult.to_json gives it: every
// object's members sorted by name, a diagnostic's absent suggestion and position left out,
// an absent fixed_query written as null. The text is valid UTF-8 whatever the query held: the
// messages are (see diagnostics::format_message), and in the fixed query and a suggestion's
// original and replacement a byte that begins no well-formed UTF-8 sequence is written as
// \x{hex}.
#pragma once

#include <string>

#include "validator/morvane.h"
#include "validator/packed_result.h"

namespace morvane::validator {

std::string to_json(const PackedResult& result);
std::string to_json(const PyValidationResult& result);

}  // namespace morvane::validator
