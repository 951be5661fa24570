#!/usr/bin/env bash
# Builds the release tree into build/ (portable home in build/dist/).
# Usage: scripts/build.sh [extra cmake -D options]
set -euo pipefail
cd "$(dirname "$0")/.."
# Clones in other folders share compiled objects through ccache.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}" CCACHE_NOHASHDIR="${CCACHE_NOHASHDIR:-1}"
scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release "$@"
cmake --build build
