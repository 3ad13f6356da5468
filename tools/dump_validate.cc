// cypher-dump validate SCHEMA_JSON_FILE: validates the query on standard input against the
// schema in the file and prints the result as one line of JSON, exactly as
// ValidationResult.to_json writes it (members sorted by name; a diagnostic's absent suggestion
// and position left out; an absent fixed_query as null). Exits 0 whatever the query holds; a
// schema file that cannot be read or is not a schema exits 1 with the reason.
#include <cstdio>
#include <string>
#include <string_view>

#include "dump_commands.h"
#include "schema/schema_json.h"
#include "validator/morvane.h"
#include "validator/result_json.h"

namespace morvane::tools {

int dump_validate(int argc, char** argv) {
  if (argc != 1) {
    std::fputs("usage: cypher-dump validate SCHEMA_JSON_FILE < query\n", stderr);
    return 2;
  }
  std::string json;
  if (!read_file(argv[0], json)) {
    std::fprintf(stderr, "cypher-dump validate: cannot read %s\n", argv[0]);
    return 1;
  }
  auto schema = schema::deserialize(json);
  if (!schema) {
    std::fprintf(stderr, "cypher-dump validate: %s: %s\n", argv[0],
                 schema.error().display().c_str());
    return 1;
  }
  const validator::Morvane morvane(std::move(schema).value());
  const std::string query = read_stdin();
  std::string out = validator::to_json(morvane.validate(query));
  out += '\n';
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}

}  // namespace morvane::tools
