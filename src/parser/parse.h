// The parse entry points: query text in, syntax tree or one failure out.
//
// Both run the recognizer from `cypher` over the whole text and build the tree of its pairs.
// The tree owns copies of every text it keeps, so the caller may drop the query afterwards.
// Each call parses with a recognizer of its own, or with the one the caller passes and keeps
// for its next call (results never depend on what it matched before); any number may run at
// once on different threads, each with its own recognizer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "error/cypher_error.h"
#include "error/result.h"
#include "parser/ast.h"
#include "parser/recognizer.h"

namespace morvane::parser {

// The failure of parse_with_detail.
struct ParseErrorDetail {
  struct Position {
    std::uint32_t line;    // 1-based
    std::uint32_t column;  // 1-based, in characters
    friend bool operator==(const Position&, const Position&) = default;
  };
  // A syntax error's display text, "No parse result", or the display text of the builder's
  // CypherError ("Parse error: " and its message).
  std::string message;
  // The place of a syntax error; absent for every other failure.
  std::optional<Position> position;
};

// A syntax error gives CypherError::Parse holding the syntax error's display text; a builder
// failure gives the builder's CypherError unchanged.
Result<ast::CypherQuery, CypherError> parse(std::string_view query);

// As parse, but a syntax error keeps its line and column.
Result<ast::CypherQuery, ParseErrorDetail> parse_with_detail(std::string_view query);

// The same, matching with `recognizer`, whose buffers are reused from call to call (a worker
// that parses many queries keeps one). Results do not depend on what it matched before. The
// buffers a rare large query grew are given back when the call ends, so what a kept recognizer
// holds stays small.
Result<ast::CypherQuery, CypherError> parse(std::string_view query, Recognizer& recognizer);
Result<ast::CypherQuery, ParseErrorDetail> parse_with_detail(std::string_view query,
                                                             Recognizer& recognizer);

}  // namespace morvane::parser
