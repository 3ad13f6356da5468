// cypher-dump ast: the syntax tree of the query on standard input, in the canonical dump of
// ast::dump: one node per line, "Kind fields", children indented two spaces below their node.
//
//   Regular                          the root (StandaloneCall is never built)
//     SinglePart | MultiPart         the query before the first UNION; Union [all] for each arm
//       QueryPart                    (MultiPart) the clauses up to one WITH, then its With line
//       Match [optional]             clauses in written order: Unwind VAR, Call PROC (args,
//                                    Yield lines), CallSubquery, Create, Merge (OnMatch,
//                                    OnCreate), Set (SetProperty, SetAll, SetMerge, SetLabels),
//                                    Remove (RemoveLabels, RemoveProperty), Delete [detach],
//                                    Foreach VAR (list, then body clauses)
//         Path [VAR]                 a pattern part: Node, Rel, Node, ...
//           Node [VAR][:LABEL...]    Properties below, as Key NAME lines or "Properties $NAME"
//           Rel DIRECTION [VAR][:TYPE|TYPE] [*LOWER..UPPER]
//         Where                      the expression below
//       Return [distinct]            Item [AS ALIAS], OrderBy (Sort asc|desc), Skip, Limit;
//                                    With adds Where
//
// Expressions print their kind and fields (Integer 42, String "a", Variable n,
// PropertyAccess key, FunctionCall name [distinct]) with their operands below, optional and
// named parts under label lines (From, To, Operand, When, Else, In, Init, Where, Projection).
// Names print as written, with "\" and control characters escaped; strings in double quotes.
//
// Exit status 0 with the tree on standard output, or 1 with the CypherError's display text.
#include <cstdio>
#include <string>

#include "dump_commands.h"
#include "parser/ast.h"
#include "parser/parse.h"

namespace morvane::tools {

int dump_ast(int, char**) {
  const std::string query = read_stdin();
  auto parsed = parser::parse(query);
  if (!parsed) {
    std::fputs(parsed.error().display().c_str(), stdout);
    std::fputc('\n', stdout);
    return 1;
  }
  std::fputs(parser::ast::dump(parsed.value(), parser::ast::DumpStyle::kLines).c_str(), stdout);
  return 0;
}

}  // namespace morvane::tools
