#!/usr/bin/env bash
# Configures and builds the project into a build folder.
# Usage: scripts/build.sh [build-folder] [extra CMake arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir="${1:-build}"
shift || true
cmake -S . -B "$build_dir" -G Ninja -DPython3_EXECUTABLE=/usr/bin/python3 "$@"
cmake --build "$build_dir" --parallel "$(nproc)"
