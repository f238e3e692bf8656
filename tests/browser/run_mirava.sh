#!/usr/bin/env bash
# Runs the Mirava page in a real browser against the velmor-mirava application.
# Usage: tests/browser/run_mirava.sh <build-dir>
# Screenshots and logs go to <build-dir>/artifacts.
set -euo pipefail
source "$(dirname "$0")/mirava_setup.sh"
exec node "$here/mirava.mjs" "$application" "$artifacts"
