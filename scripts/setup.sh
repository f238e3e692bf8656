#!/usr/bin/env bash
# Installs every system package the project needs. Idempotent: when all
# packages are present it returns at once without touching the network.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config ccache mold iproute2
  libboost1.81-dev nlohmann-json3-dev libeigen3-dev libzstd-dev zstd liburdfdom-dev
  pybind11-dev python3-dev python3-pytest python3-websockets python3-numpy python3-matplotlib
  libgtest-dev libgmock-dev libbenchmark-dev
  python3-build python3-venv python3-mypy dpkg-dev
)
# The Mirava page is bundled with npm at build time. The machine image may
# bring its own Node.js build, which conflicts with Debian's npm package, so
# Node.js is only installed where none is on PATH.
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  packages+=(nodejs npm)
fi
# Browser tests need Debian's Chromium; pass --browser to add it.
if [[ "${1:-}" == "--browser" ]]; then
  packages+=(chromium curl)
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$package")
  fi
done

if ((${#missing[@]} == 0)); then
  echo "setup: all ${#packages[@]} packages present"
  exit 0
fi

echo "setup: installing ${missing[*]}"
sudo=""
if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
