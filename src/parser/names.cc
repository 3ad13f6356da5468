#include "parser/names.h"

#include "parser/byte_classes.h"
#include "parser/keywords.h"

namespace morvane::parser {
namespace {

// (ASCII_ALPHA | "_") ~ (ASCII_ALPHANUMERIC | "_")*
bool is_plain_identifier(std::string_view name) {
  auto byte = [](char c) { return static_cast<unsigned char>(c); };
  if (name.empty() || !(kAlpha[byte(name[0])] || name[0] == '_')) return false;
  for (char c : name) {
    if (!(kAlphanumeric[byte(c)] || c == '_')) return false;
  }
  return true;
}

// Whether the grammar's `keyword` rule matches all of `name`, a plain identifier: it commits to
// the first listed word that `name` begins with, in any ASCII case, and then asks that no name
// character follow, so a word that an earlier one begins (ORDER after OR) is never reserved.
bool is_reserved(std::string_view name) {
  const int letter = (name[0] | 0x20) - 'a';
  if (letter < 0 || letter >= 26) return false;
  for (int k = kKeywordIndex.start[letter]; k < kKeywordIndex.start[letter + 1]; ++k) {
    const std::string_view word = kKeywordWords[kKeywordIndex.order[k]];
    if (name.size() < word.size()) continue;
    bool same = true;
    for (std::size_t i = 1; same && i < word.size(); ++i) {
      same = (name[i] | 0x20) == (word[i] | 0x20);
    }
    if (same) return name.size() == word.size();
  }
  return false;
}

}  // namespace

NameForm name_form(std::string_view name) {
  if (is_plain_identifier(name)) return is_reserved(name) ? NameForm::kQuoted : NameForm::kPlain;
  return name.find('`') == std::string_view::npos ? NameForm::kQuoted : NameForm::kUnwritable;
}

std::optional<std::string> written_name(std::string_view name) {
  switch (name_form(name)) {
    case NameForm::kPlain:
      return std::string(name);
    case NameForm::kQuoted:
      return quoted_name(name);
    case NameForm::kUnwritable:
      break;
  }
  return std::nullopt;
}

std::string quoted_name(std::string_view name) {
  std::string quoted;
  quoted.reserve(name.size() + 2);
  quoted += '`';
  quoted += name;
  quoted += '`';
  return quoted;
}

}  // namespace morvane::parser
