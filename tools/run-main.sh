#!/usr/bin/env bash
# Builds the project and shows the recognizer's pair tree for an example query.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
[ -d build ] || meson setup build --buildtype=release >/dev/null
ninja -C build cypher-dump >/dev/null
printf 'MATCH (a:Person)-[:KNOWS]->(b) WHERE a.age > 30 RETURN b.name' | build/cypher-dump pairs
