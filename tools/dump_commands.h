// The subcommands of cypher-dump, one file each. Each takes the arguments after its own name
// and returns the process exit code.
#pragma once

#include <string>

namespace morvane::tools {

int dump_pairs(int argc, char** argv);
int dump_ast(int argc, char** argv);
int dump_schema(int argc, char** argv);
int dump_suggest(int argc, char** argv);
int dump_validate(int argc, char** argv);
int dump_generate(int argc, char** argv);

// All of standard input, bytes as they are.
std::string read_stdin();
// The whole file at `path`; false when it cannot be read.
bool read_file(const char* path, std::string& out);

}  // namespace morvane::tools
