#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need; does nothing when all are present.
set -euo pipefail
packages=(meson ninja-build g++ pkg-config libgtest-dev libbenchmark-dev libicu-dev
          python3-dev python3-venv python3-pip-whl python3-mesonpy python3-pytest
          python3-hypothesis python3-mypy clang-14 libclang-rt-14-dev g++-aarch64-linux-gnu)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""; [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
