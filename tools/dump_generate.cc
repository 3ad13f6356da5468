#include <cstdio>

#include "dump_commands.h"

namespace morvane::tools {

int dump_generate(int, char**) {
  std::fputs("cypher-dump generate: not built yet\n", stderr);
  return 2;
}

}  // namespace morvane::tools
