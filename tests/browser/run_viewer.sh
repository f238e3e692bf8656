#!/usr/bin/env bash
# Runs the I/O viewer in a real browser against a fixture server.
# Usage: tests/browser/run_viewer.sh <build-dir>
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:?usage: run_viewer.sh <build-dir>}" && pwd)"
artifacts="$build/artifacts"
mkdir -p "$artifacts"

if [ ! -d "$here/node_modules/playwright-core" ] || [ ! -d "$here/node_modules/htmx.org" ]; then
    (cd "$here" && npm ci --no-audit --no-fund)
fi

fixture="$build/tests/signal_viewer_browser_fixture_test"
# The fixture serves until its standard input closes; descriptor 3 holds it open.
exec 3> >(VELMOR_BROWSER_FIXTURE=1 exec "$fixture" --gtest_filter=BrowserFixture.Serve \
    > "$artifacts/viewer_fixture.log" 2>&1)
fixture_pid=$!

ready=0
for _ in $(seq 1 300); do
    if curl -s -o /dev/null http://127.0.0.1:8679/; then
        ready=1
        break
    fi
    sleep 0.1
done

status=1
if [ "$ready" = 1 ]; then
    set +e
    node "$here/viewer.mjs" "$artifacts"
    status=$?
    set -e
else
    echo "viewer fixture did not start; see $artifacts/viewer_fixture.log" >&2
fi

exec 3>&-
for _ in $(seq 1 100); do
    kill -0 "$fixture_pid" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$fixture_pid" 2>/dev/null; then
    echo "viewer fixture did not end after its pages closed" >&2
    kill "$fixture_pid"
    status=1
fi
exit "$status"
