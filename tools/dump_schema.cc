#include <cstdio>

#include "dump_commands.h"

namespace morvane::tools {

int dump_schema(int, char**) {
  std::fputs("cypher-dump schema: not built yet\n", stderr);
  return 2;
}

int dump_suggest(int, char**) {
  std::fputs("cypher-dump suggest: not built yet\n", stderr);
  return 2;
}
}  // namespace morvane::tools
