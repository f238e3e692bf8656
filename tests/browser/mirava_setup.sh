# Sourced by the runners of the velmor-mirava browser tests, with the build folder
# as $1: sets here, build, artifacts and application, and installs the Node packages.
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
build="$(cd "${1:?usage: $(basename "$0") <build-dir>}" && pwd)"
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
