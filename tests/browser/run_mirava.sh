#!/usr/bin/env bash
# Runs the Mirava page in a real browser against the velmor-mirava application.
# Usage: tests/browser/run_mirava.sh <build-dir>
# Screenshots and logs go to <build-dir>/artifacts.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:?usage: run_mirava.sh <build-dir>}" && pwd)"
artifacts="$build/artifacts"
mkdir -p "$artifacts"

application="$build/motion/app/velmor-mirava"
if [ ! -x "$application" ]; then
    echo "$application is missing: build the target velmor-mirava first" >&2
    exit 1
fi
if [ ! -d "$here/node_modules/playwright-core" ] || [ ! -d "$here/node_modules/ws" ]; then
    (cd "$here" && npm ci --no-audit --no-fund)
fi
exec node "$here/mirava.mjs" "$application" "$artifacts"
