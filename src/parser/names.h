// Names as a query writes them. Backticks quote a name (a variable, label, relationship type or
// property key); they are not part of it. The grammar allows no backtick inside a quoted name,
// and has no escape for one, so a quoted name is exactly the text between its two backticks, and
// a name holding a backtick cannot be written at all.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace morvane::parser {

// The name that `written`, a name exactly as the grammar accepted it, stands for: the text
// between the backticks of a quoted name, otherwise `written` itself. The result views `written`.
inline std::string_view unquoted(std::string_view written) {
  if (written.size() >= 2 && written.front() == '`') return written.substr(1, written.size() - 2);
  return written;
}

// How a query writes a name: as it is when it is a plain identifier (an ASCII letter or "_",
// then ASCII letters, digits and "_") that is not a reserved word, otherwise between backticks;
// not at all when it holds a backtick.
enum class NameForm : std::uint8_t { kPlain, kQuoted, kUnwritable };
NameForm name_form(std::string_view name);

// `name` as a query writes it; nothing when no query can.
std::optional<std::string> written_name(std::string_view name);

// `name`, which holds no backtick, between backticks: the quoted form, which a query may use for
// any name.
std::string quoted_name(std::string_view name);

}  // namespace morvane::parser
