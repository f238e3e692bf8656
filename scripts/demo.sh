#!/usr/bin/env bash
# Installs what is missing, builds into build/ and runs the pick-and-place demo
# with Debian's Python. Arguments go to the demo, e.g. --forever or --mirava.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build
PYTHONPATH="$PWD/build/python" exec /usr/bin/python3 examples/demo.py "$@"
