#!/usr/bin/env bash
# Shows a robot read from a robot description in a real browser: velmor-mirava
# --robot FILE.urdf draws it from its shapes and mesh, the camera moves and resets,
# the tool's path is drawn, and a replay shows the obstacle recorded with the run.
# Usage: tests/browser/run_robot_page.sh <build-dir>
# Screenshots and logs go to <build-dir>/artifacts.
set -euo pipefail
source "$(dirname "$0")/mirava_setup.sh"
robots="$(cd "$here/../../motion/robots" && pwd)"
recording="$artifacts/robot_page_run.jsonl"
expected="$artifacts/robot_page_expected.json"
PYTHONPATH="$build/python" /usr/bin/python3 "$here/make_urdf_recording.py" "$robots" "$recording" "$expected"
exec node "$here/robot_page.mjs" "$application" "$robots/seven_axis.urdf" "$recording" "$expected" "$artifacts"
