#include <cstdio>
#include <string>
#include <string_view>

#include "dump_commands.h"

namespace morvane::tools {

std::string read_stdin() {
  std::string text;
  char buffer[1 << 16];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, stdin)) > 0) text.append(buffer, got);
  return text;
}

bool read_file(const char* path, std::string& out) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return false;
  out.clear();
  char buffer[1 << 16];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) out.append(buffer, got);
  bool ok = std::ferror(file) == 0;
  std::fclose(file);
  return ok;
}

}  // namespace morvane::tools
