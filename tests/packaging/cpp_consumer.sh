#!/usr/bin/env bash
# Installs the build into a throw-away prefix and builds the C++ example
# examples/cpp against it twice, through the CMake package and through
# pkg-config, then runs both programs.
# Usage: tests/packaging/cpp_consumer.sh BUILD_FOLDER
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$(realpath "$1")
work=$(mktemp -d /tmp/velmor-consumer.XXXXXX)
trap 'rm -rf "$work"' EXIT
unset LD_LIBRARY_PATH
export VELMOR_EXAMPLE_TIME_SPEED=50

cmake --install "$build" --prefix "$work/prefix" >/dev/null
cmake -S examples/cpp -B "$work/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/cmake" >/dev/null
"$work/cmake/quickstart"

flags=$(PKG_CONFIG_PATH="$work/prefix/lib/pkgconfig" pkg-config --cflags --libs velmor-simulated-driver)
# shellcheck disable=SC2086  # the flags are separate words
c++ -std=c++20 examples/cpp/quickstart.cpp $flags -Wl,-rpath,"$work/prefix/lib" -o "$work/quickstart-pkg-config"
"$work/quickstart-pkg-config"
