// cypher-dump schema: the schema JSON on standard input written back by the schema writer, or
// the reader's error display.
// cypher-dump suggest TARGET [CANDIDATE ...]: the candidate that a diagnostic would suggest for
// TARGET, or nothing.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "diagnostics/suggest.h"
#include "dump_commands.h"
#include "schema/schema_json.h"

namespace morvane::tools {
namespace {

void print_line(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
}

}  // namespace

int dump_schema(int, char**) {
  const std::string json = read_stdin();
  auto schema = schema::deserialize(json);
  if (!schema) {
    print_line(schema.error().display());
    return 1;
  }
  print_line(schema::serialize(*schema));
  return 0;
}

int dump_suggest(int argc, char** argv) {
  if (argc < 1) {
    std::fputs("usage: cypher-dump suggest TARGET [CANDIDATE ...]\n", stderr);
    return 2;
  }
  const std::vector<std::string_view> candidates(argv + 1, argv + argc);
  if (auto best = diagnostics::closest_match(argv[0], candidates)) print_line(*best);
  return 0;
}

}  // namespace morvane::tools
