// cypher-dump pairs: the pair tree of the query on standard input, one pair per line indented
// two spaces per depth, as `<rule name> <text as a JSON string>`; or the syntax error display.
#include <cstdio>
#include <string>
#include <vector>

#include "dump_commands.h"
#include "parser/recognizer.h"
#include "schema/json_writer.h"

namespace morvane::tools {

int dump_pairs(int, char**) {
  const std::string query = read_stdin();
  parser::Recognizer recognizer;
  if (!recognizer.parse(query)) {
    std::fputs(recognizer.error().display.c_str(), stdout);
    std::fputc('\n', stdout);
    return 1;
  }
  const auto tape = recognizer.pairs();
  std::vector<std::uint32_t> open_ends;  // `next` of each enclosing pair
  std::string out;
  for (std::uint32_t i = 0; i < tape.size(); ++i) {
    while (!open_ends.empty() && open_ends.back() <= i) open_ends.pop_back();
    out.assign(open_ends.size() * 2, ' ');
    out += parser::rule_name(tape[i].rule);
    out += ' ';
    schema::write_json_string(out, parser::pair_text(query, tape[i]));
    out += '\n';
    std::fputs(out.c_str(), stdout);
    open_ends.push_back(tape[i].next);
  }
  return 0;
}

}  // namespace morvane::tools
