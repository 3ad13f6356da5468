// Fuzz target for the schema JSON reader: any bytes either give an error with a position inside
// the text, or a schema whose written form reads back to an equal schema and writes the same.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "schema/schema_json.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace morvane::schema;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  auto read = deserialize(text);
  if (!read) {
    const JsonError& error = read.error();
    if (error.message.empty() || error.line < 1 || error.column > size) __builtin_trap();
    return 0;
  }
  std::string written = serialize(*read);
  auto again = deserialize(written);
  if (!again || !(*again == *read) || serialize(*again) != written) __builtin_trap();
  return 0;
}
