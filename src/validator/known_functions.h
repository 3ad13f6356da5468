// The built-in functions the validator knows: their argument counts and whether they aggregate.
// Calls to names outside this table are reported as unknown (possibly user-defined) functions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace morvane::validator::semantic {

struct KnownFunction {
  std::string_view name;                 // lower case
  std::uint8_t min_args;
  std::optional<std::uint8_t> max_args;  // absent: no upper limit
  bool aggregate;
  bool numeric_aggregate;  // an aggregate over numbers: a string literal argument is an error
};

// The entry for a function name as written, namespace included, compared in lower case
// ("toUpper" and "TOUPPER" both find toupper, "duration.inSeconds" finds duration.inseconds; a
// namespace the table lacks, as in "my.lib.fn", finds nothing), or nullptr. The entry is static.
const KnownFunction* find_known_function(std::string_view name);

// The expected-count text of a wrong-arity message: "at least {}" without a maximum, "{}" when
// the bounds are equal, otherwise "{}-{}".
std::string arity_text(const KnownFunction& function);

}  // namespace morvane::validator::semantic
