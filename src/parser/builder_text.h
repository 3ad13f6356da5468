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

// True when `text` begins with `prefix`, ASCII letters compared in either case.
bool starts_with_ascii_ci(std::string_view text, std::string_view prefix);

// True when `text` is `word`, ASCII letters compared in either case.
bool equals_ascii_ci(std::string_view text, std::string_view word);

// The tests below read words the grammar matched without leaving a pair: ASCII letters compare
// in either case, no word boundary is asked, and the implicit skip (skip.h) stands before each
// word.

// True when `text` continues with `word`: "DESC" after a sort item's expression.
bool next_word_is(std::string_view text, std::string_view word);

// True when the word after `first`, the word `text` begins with, is `word`: the optional
// keyword in "UNION ALL". `first` is not compared: the grammar matched it.
bool keyword_after(std::string_view text, std::string_view first, std::string_view word);

// The offset in `text` past `first`, the word it begins with, and the skip after it: where
// what follows "CASE" begins.
std::size_t past_word(std::string_view text, std::string_view first);

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
