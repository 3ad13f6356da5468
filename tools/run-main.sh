#!/usr/bin/env bash
# Does what a user does: installs the Debian packages, installs the module with pip into a
# virtual environment (offline, from this checkout), and runs the quick-start example with it.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
[ -x .venv/bin/python ] || /usr/bin/python3 -m venv --system-site-packages .venv
.venv/bin/pip install --quiet --no-build-isolation --no-index .
.venv/bin/python examples/quickstart.py
