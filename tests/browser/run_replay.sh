#!/usr/bin/env bash
# Replays a recorded run in a real browser: velmor-mirava --replay serves the
# robot page with a timeline, and the page plays, pauses and scrubs it.
# Usage: tests/browser/run_replay.sh <build-dir>
# Screenshots and logs go to <build-dir>/artifacts.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:?usage: run_replay.sh <build-dir>}" && pwd)"
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
recording="$artifacts/replay_run.jsonl"
expected="$artifacts/replay_expected.json"
PYTHONPATH="$build/python" /usr/bin/python3 "$here/make_recording.py" "$recording" "$expected"
exec node "$here/replay.mjs" "$application" "$recording" "$expected" "$artifacts"
