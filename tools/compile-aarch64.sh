#!/usr/bin/env bash
# Compiles every C++ source of src/ and tools/ that does not include the interpreter's headers
# with Debian's aarch64 cross compiler, so that nothing tied to x86-64 creeps in. Compile only,
# without optimisation: nothing is linked or run. ICU's headers are the host's, which hold
# nothing specific to an architecture; they are reached through a directory of their own so that
# the host's C library headers stay out of the target's include path. The sources that include
# Python's headers are left out: the target's would come from packages of the other
# architecture, whose installation upgrades the host's own interpreter packages.
set -uo pipefail
cd "$(dirname "$0")/.."
compiler=aarch64-linux-gnu-g++
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/include"
ln -s /usr/include/unicode "$scratch/include/unicode"

python_include='#include "bindings/(python|boundary|py_[a-z_]+)\.h"'
mapfile -t sources < <(git ls-files 'src/*.cc' 'tools/*.cc' | while read -r source; do
  grep -Eq "$python_include" "$source" || echo "$source"
done)

compile() {  # compile SOURCE: prints the source and the compiler's messages when it fails
  local object="$scratch/objects/${1//\//_}.o"
  if ! messages=$("$compiler" -std=c++20 -O0 -Wall -Wextra -Werror -Werror=switch -Isrc \
      -I"$scratch/include" -c "$1" -o "$object" 2>&1); then
    printf 'aarch64: %s does not compile\n%s\n' "$1" "$messages"
    return 1
  fi
}
export -f compile
export compiler scratch
mkdir "$scratch/objects"
if printf '%s\n' "${sources[@]}" | xargs -P "$(nproc)" -I{} bash -c 'compile "$1"' _ {}; then
  echo "aarch64: ${#sources[@]} sources compile"
else
  exit 1
fi
