#include <cstdio>

#include "dump_commands.h"

namespace morvane::tools {

int dump_ast(int, char**) {
  std::fputs("cypher-dump ast: not built yet\n", stderr);
  return 2;
}

}  // namespace morvane::tools
