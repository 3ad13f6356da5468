// cypher-dump: a developer's window into the core. Each subcommand reads its input from standard
// input (and files named on the command line) and prints what the core makes of it.
//
//   cypher-dump pairs                      the recognizer's pair tree, or the syntax error
//   cypher-dump ast                        the syntax tree, or the parse error
//   cypher-dump schema                     the schema JSON re-serialized, or the reader's error
//   cypher-dump suggest TARGET [CAND ...]  the closest candidate, or nothing
//   cypher-dump validate SCHEMA_JSON_FILE  the validation result as JSON
//   cypher-dump generate SCHEMA_JSON_FILE SEED TYPE [TYPE ...]  generated queries
#include <cstdio>
#include <string_view>

#include "dump_commands.h"

namespace {

struct Command {
  std::string_view name;
  int (*run)(int argc, char** argv);
};

constexpr Command kCommands[] = {
    {"pairs", morvane::tools::dump_pairs},
    {"ast", morvane::tools::dump_ast},
    {"schema", morvane::tools::dump_schema},
    {"suggest", morvane::tools::dump_suggest},
    {"validate", morvane::tools::dump_validate},
    {"generate", morvane::tools::dump_generate},
};

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2) {
    for (const Command& command : kCommands) {
      if (command.name == argv[1]) return command.run(argc - 2, argv + 2);
    }
  }
  std::fputs("usage: cypher-dump pairs|ast|schema|suggest|validate|generate [ARGS...]\n", stderr);
  return 2;
}
