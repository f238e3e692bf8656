#!/usr/bin/env bash
# Replays a recorded run in a real browser: velmor-mirava --replay serves the
# robot page with a timeline, and the page plays, pauses and scrubs it.
# Usage: tests/browser/run_replay.sh <build-dir>
# Screenshots and logs go to <build-dir>/artifacts.
set -euo pipefail
source "$(dirname "$0")/mirava_setup.sh"
recording="$artifacts/replay_run.jsonl"
expected="$artifacts/replay_expected.json"
PYTHONPATH="$build/python" /usr/bin/python3 "$here/make_recording.py" "$recording" "$expected"
exec node "$here/replay.mjs" "$application" "$recording" "$expected" "$artifacts"
