// parse_query: which node labels, relationship types and property keys a query mentions,
// found without a schema. It parses with parser::parse and gathers the names with four walkers
// that visit a fixed part of the tree; names outside that part are not reported. Not walked:
// WITH clauses, ORDER BY/SKIP/LIMIT, UNWIND, procedure calls, SET/REMOVE/DELETE/FOREACH, MERGE's
// ON MATCH/ON CREATE items, relationship properties, EXISTS patterns, REDUCE, shortestPath and
// a pattern comprehension's pattern.
//
// Python-free; the module wraps PyQueryInfo in a QueryInfo object. Nothing is shared between
// calls, so any number may run at once.
//
// Depth: expressions are walked with an explicit stack (their left spines can be as deep as the
// query is long); subqueries (CALL { }, COUNT { }, COLLECT { }) recurse, bounded by the
// recognizer's nesting limit.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "parser/ast.h"
#include "parser/names.h"
#include "parser/recognizer.h"

namespace morvane::bindings::py_parser {

namespace ast = parser::ast;

struct PyQueryInfo {
  bool is_valid = false;                     // the query parsed and built
  std::vector<std::string> errors;           // the one failure's display text, else empty
  std::vector<std::string> labels_used;      // each once, ascending by bytes
  std::vector<std::string> rel_types_used;   // each once, ascending by bytes
  std::vector<std::string> properties_used;  // each once, ascending by bytes

  bool operator==(const PyQueryInfo&) const = default;
};

// The names a query uses, in their case and without the backticks that quote them (:`Person`
// and :Person are one label), gathered in one flat array and ordered and made unique once, at
// the end: one allocation where a tree set makes one per name. The views point into the tree
// being walked and live as long as it does.
class NameSet {
 public:
  // `written`: a name as the query writes it.
  void insert(std::string_view written) { names_.push_back(parser::unquoted(written)); }
  // Each name once, ascending by bytes.
  std::vector<std::string> sorted() const;

 private:
  std::vector<std::string_view> names_;
};

// Never fails: a query that does not parse or build gives is_valid false, errors holding
// "Parse error: " and the message, and three empty lists.
// Parses with `recognizer`, kept by the caller from call to call, or with one of the call.
PyQueryInfo parse_query(std::string_view query, parser::Recognizer& recognizer);
PyQueryInfo parse_query(std::string_view query);

// The walkers, each adding what it finds to the sets it is given.

// The reading clauses, updating clauses and RETURN item expressions of every part; a WITH
// clause is not walked at all.
void collect_single_query(const ast::CypherQuery& tree, const ast::SingleQuery& query,
                          NameSet& labels, NameSet& types, NameSet& keys);
// CREATE's pattern and MERGE's pattern part; nothing else.
void collect_updating(const ast::CypherQuery& tree, const ast::UpdatingClause& clause,
                      NameSet& labels, NameSet& types, NameSet& keys);
// Node labels, node property-map keys and values, relationship types.
void collect_pattern(const ast::CypherQuery& tree, const ast::Pattern& pattern, NameSet& labels,
                     NameSet& types, NameSet& keys);
void collect_pattern(const ast::CypherQuery& tree, const ast::PatternPart& part, NameSet& labels,
                     NameSet& types, NameSet& keys);
// Property keys only; COUNT and COLLECT subqueries give their keys but not their labels and
// types.
void collect_expr(const ast::CypherQuery& tree, ast::ExprId expr, NameSet& keys);

}  // namespace morvane::bindings::py_parser
