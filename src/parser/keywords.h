// The words of the grammar's `keyword` rule, in the order it tries them. It commits to the first
// word whose letters match, so a word that an earlier word begins (ASC after AS) is never
// reserved. The grammar and the fast matcher both read this one list.
#pragma once

#include <array>
#include <string_view>

namespace morvane::parser {

inline constexpr std::array<std::string_view, 56> kKeywordWords = {
    "ALL",      "AND",    "ANY",     "AS",       "ASC",      "ASCENDING", "BY",     "CALL",
    "CASE",     "CONTAINS", "COUNT", "CREATE",   "DELETE",   "DESC",      "DESCENDING",
    "DETACH",   "DISTINCT", "DO",    "DROP",     "ELSE",     "END",       "ENDS",   "EXISTS",
    "FALSE",    "FOREACH", "FOR",    "FROM",     "IN",       "IS",        "LIMIT",  "MATCH",
    "MERGE",    "NEW",    "NONE",    "NOT",      "NULL",     "ON",        "OPTIONAL", "OR",
    "ORDER",    "REDUCE", "REMOVE",  "RETURN",   "SET",      "SINGLE",    "SKIP",   "STARTS",
    "THEN",     "TRUE",   "UNION",   "UNWIND",   "WHEN",     "WHERE",     "WITH",   "XOR",
    "YIELD"};

}  // namespace morvane::parser
