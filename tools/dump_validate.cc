#include <cstdio>

#include "dump_commands.h"

namespace morvane::tools {

int dump_validate(int, char**) {
  std::fputs("cypher-dump validate: not built yet\n", stderr);
  return 2;
}

}  // namespace morvane::tools
