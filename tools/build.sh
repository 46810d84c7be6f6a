#!/usr/bin/env bash
# Configures and builds the project in build/ (Ninja, RelWithDebInfo unless BUILD_TYPE says).
set -euo pipefail
cd "$(dirname "$0")/.."
# Work trees of one repository share ccache's objects: paths are taken relative to the tree.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}" CCACHE_NOHASHDIR=1
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" >/dev/null
cmake --build build -j "$(nproc)" "$@"
