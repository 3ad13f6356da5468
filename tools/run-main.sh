#!/usr/bin/env bash
# Builds the project and validates an example query (a label and a property misspelled)
# against an example schema, printing the result with its auto-corrected query.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
[ -d build ] || meson setup build --buildtype=release >/dev/null
ninja -C build cypher-dump >/dev/null
printf 'MATCH (p:Persn)-[:ACTED_IN]->(m:Movie) WHERE p.name = $name RETURN m.titel' |
  build/cypher-dump validate tools/example-schema.json
echo
