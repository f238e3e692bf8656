#!/usr/bin/env bash
# Builds the wheel and the Debian package from an existing build and checks
# each where neither the checkout nor the build folder is on any path: the
# wheel installed into a throw-away virtual environment, the package unpacked
# with dpkg-deb -x into a throw-away root (never installed on the machine).
# Both are checked by check_install.py from a folder outside the checkout.
# Usage: tests/packaging/run.sh [build-folder]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$(realpath "${1:-build}")
work=$(mktemp -d /tmp/velmor-packaging.XXXXXX)
trap 'rm -rf "$work"' EXIT
unset PYTHONPATH LD_LIBRARY_PATH
export VELMOR_EXAMPLE_TIME_SPEED=50 VELMOR_LOG_LEVEL=error
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
cp examples/01_quickstart.py "$work/quickstart.py"
checker=$PWD/tests/packaging/check_install.py

# The plugin, found through its entry point, keeps the recording of a failing sample test.
plugin_works() {
  mkdir -p "$2"
  printf 'def test_sample(velmor_driver):\n    assert velmor_driver.current_joint_position == []\n' >"$2/test_sample.py"
  (cd "$2" && "$1" -m pytest -q -p no:cacheprovider >"$2/log" 2>&1) || true
  grep -q "saved to .*velmor-recordings/test_sample.py_test_sample.jsonl" "$2/log" ||
    { cat "$2/log"; echo "FAILED: the pytest plugin kept no recording"; exit 1; }
  echo "ok: the pytest plugin is found and keeps the recording of a failed test"
}

echo "--- wheel"
/usr/bin/python3 -m build --wheel --no-isolation -C build-dir="$build" --outdir "$work/dist" >/dev/null
wheel="$work/dist/velmor_simulated_driver-${version}-cp311-cp311-linux_x86_64.whl"
ls -l "$wheel"
# A plain environment: the modules need nothing beyond the standard library.
/usr/bin/python3 -m venv "$work/venv"
"$work/venv/bin/pip" install --quiet --no-index "$wheel"
/usr/bin/python3 "$checker" --root "$work/venv" --python "$work/venv/bin/python" --quickstart "$work/quickstart.py" \
  --mirava "$work/venv/bin/velmor-mirava" --demo "$work/venv/bin/velmor-demo"
if "$work/venv/bin/python" -c "import velmor_tools.report" 2>/dev/null; then
  "$work/venv/bin/velmor-report" --help >/dev/null
  echo "ok: velmor-report answers"
else
  echo "skipped: velmor-report (velmor_tools.report is not built yet)"
fi
# Type checkers find the stubs in the installed package.
/usr/bin/python3 -m mypy --strict --no-incremental --python-executable "$work/venv/bin/python" "$work/quickstart.py"
# pytest, from Debian, finds the plugin through the wheel's entry point.
/usr/bin/python3 -m venv --system-site-packages "$work/venv-pytest"
"$work/venv-pytest/bin/pip" install --quiet --no-index "$wheel"
plugin_works "$work/venv-pytest/bin/python" "$work/wheel-plugin"

echo "--- Debian package"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/deb" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; exit 1; }
deb="$work/deb/velmor-simulated-driver_${version}_amd64.deb"
ls -l "$deb"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for dependency in "python3 (>= 3.11)" "libc6" "libstdc++6" "liburdfdom-model3.0"; do
  [[ "$depends" == *"$dependency"* ]] || { echo "FAILED: Depends lacks $dependency"; exit 1; }
done
dpkg-deb -x "$deb" "$work/root"
PATH="$work/root/usr/bin:$PATH" PYTHONPATH="$work/root/usr/lib/python3/dist-packages" \
  /usr/bin/python3 "$checker" --root "$work/root" --python /usr/bin/python3 --quickstart "$work/quickstart.py" \
  --mirava velmor-mirava --demo "/usr/bin/python3 -m velmor_tools.demo"
PATH="$work/root/usr/bin:$PATH" PYTHONPATH="$work/root/usr/lib/python3/dist-packages" velmor-report --help >/dev/null
echo "ok: velmor-report answers"
PYTHONPATH="$work/root/usr/lib/python3/dist-packages" plugin_works /usr/bin/python3 "$work/deb-plugin"
echo "packaging: wheel and Debian package checked"
