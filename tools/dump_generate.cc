// cypher-dump generate SCHEMA_JSON_FILE SEED TYPE [TYPE ...]: one generator seeded with SEED
// draws one query per TYPE, in order, one per line; an unknown type prints the error's display
// text on its line and the run goes on.
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "dump_commands.h"
#include "generator/generator.h"
#include "schema/schema_json.h"

namespace morvane::tools {

int dump_generate(int argc, char** argv) {
  if (argc < 3) {
    std::fputs("usage: cypher-dump generate SCHEMA_JSON_FILE SEED TYPE [TYPE ...]\n", stderr);
    return 2;
  }
  std::string json;
  if (!read_file(argv[0], json)) {
    std::fprintf(stderr, "cypher-dump generate: cannot read %s\n", argv[0]);
    return 1;
  }
  Result<schema::Schema, schema::JsonError> schema = schema::deserialize(json);
  if (!schema) {
    std::fprintf(stderr, "cypher-dump generate: %s: %s\n", argv[0],
                 schema.error().display().c_str());
    return 1;
  }
  const std::string_view seed_text = argv[1];
  std::uint64_t seed = 0;
  const auto [end, ec] =
      std::from_chars(seed_text.data(), seed_text.data() + seed_text.size(), seed);
  if (ec != std::errc() || end != seed_text.data() + seed_text.size()) {
    std::fprintf(stderr, "cypher-dump generate: SEED must be an integer from 0 to %llu: %s\n",
                 static_cast<unsigned long long>(UINT64_MAX), argv[1]);
    return 2;
  }
  generator::CypherGenerator gen(std::move(schema).value(), generator::Rng::seed_from_u64(seed));
  for (int i = 2; i < argc; ++i) {
    Result<std::string, CypherError> query = gen.generate(argv[i]);
    const std::string line = query ? std::move(query).value() : query.error().display();
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
  }
  return 0;
}

}  // namespace morvane::tools
