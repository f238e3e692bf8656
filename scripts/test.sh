#!/usr/bin/env bash
# Installs what is missing, builds and runs every test. This is the command
# that must pass on a fresh machine.
# Usage: scripts/test.sh [build-folder] [extra CMake arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir="${1:-build}"
shift || true
scripts/setup.sh
scripts/build.sh "$build_dir" "$@"
ctest --test-dir "$build_dir" --output-on-failure --parallel "$(nproc)"
