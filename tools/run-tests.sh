#!/usr/bin/env bash
# Builds and runs every test suite: the release build, the same suites under AddressSanitizer
# and UndefinedBehaviorSanitizer, and the fuzz targets replaying their seed corpora; then compiles
# the sources outside the Python bindings for aarch64.
set -uo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh || exit 1

setup() {  # setup DIR [meson options...]
  local dir=$1; shift
  if [ -d "$dir" ]; then meson setup --reconfigure "$dir" "$@" >/dev/null
  else meson setup "$dir" "$@" >/dev/null; fi
}

status=0
setup build --buildtype=release -Dwerror=true || exit 1
setup build-asan --buildtype=debug -Db_sanitize=address,undefined -Db_lundef=false \
  -Dbenchmarks=false -Dwerror=true || exit 1
CC=clang-14 CXX=clang++-14 setup build-fuzz --buildtype=debugoptimized -Dfuzz=true \
  -Dtests=false -Dbenchmarks=false -Db_sanitize=address,undefined -Db_lundef=false || exit 1

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
for dir in build build-asan build-fuzz; do
  ninja -C "$dir" || { status=1; continue; }
  meson test -C "$dir" --print-errorlogs --num-processes 8 || status=1
done
# Every source outside the Python bindings compiles for aarch64 as well.
tools/compile-aarch64.sh || status=1

# One closing line over all three builds.
python3 - <<'PY'
import json, pathlib
passed = failed = 0
for d in ("build", "build-asan", "build-fuzz"):
    log = pathlib.Path(d, "meson-logs", "testlog.json")
    if not log.exists():
        continue
    for line in log.read_text().splitlines():
        if line.strip():
            if json.loads(line)["result"] == "OK": passed += 1
            else: failed += 1
print(f"suites: {passed} passed, {failed} failed")
PY
exit $status
