// What the builder reads from pair texts: optional keywords and operators that leave no pair,
// and the values of integer, float and range literals. Pure functions of the text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "parser/ast.h"

namespace morvane::parser::builder {

// The offset in `text` past the whitespace and comments that the grammar's implicit skip passes
// over from `at`: blanks, tabs, CR and LF, "//" to the end of the line (line feed included) and
// "/*" to the first "*/". A "/*" without a closing "*/" is no comment: the skip stops there.
std::size_t skip_implicit(std::string_view text, std::size_t at);

// True when `text` begins with `prefix`, ASCII letters compared in either case.
bool starts_with_ascii_ci(std::string_view text, std::string_view prefix);

// The keyword test: past the implicit skip from `at`, `text` continues with `keyword` (ASCII
// letters in either case, no word boundary asked).
bool keyword_at(std::string_view text, std::size_t at, std::string_view keyword);

// `text` upper-cased by the Unicode default case mapping ("ß" gives "SS").
std::string to_upper(std::string_view text);

// `text` without Unicode White_Space at either end.
std::string_view trim_white_space(std::string_view text);

// The value of an integer literal: "0x"/"0X" hexadecimal, "0o" octal, otherwise decimal. A
// value outside the signed 64-bit range, or digits that do not read, give 0.
std::int64_t read_integer(std::string_view text);

// The value of a float literal, rounded to the nearest double; infinity when too large for one,
// 0.0 when the text does not read.
double read_float(std::string_view text);

// The range of a `range_literal` pair's text ("*", "*3", "*2..", "*2..5", with the whitespace
// and comments that may trail it). A bound reads only as a signed decimal 64-bit integer.
ast::Range read_range(std::string_view text);

}  // namespace morvane::parser::builder
