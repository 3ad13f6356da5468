// The compact JSON text of a validation result, as ValidationResult.to_json gives it: every
// object's members sorted by name, a diagnostic's absent suggestion and position left out,
// an absent fixed_query written as null.
#pragma once

#include <string>

#include "validator/morvane.h"

namespace morvane::validator {

std::string to_json(const PyValidationResult& result);

}  // namespace morvane::validator
