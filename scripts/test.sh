#!/usr/bin/env bash
# Checks the formatting, builds the test tree (AddressSanitizer and
# UndefinedBehaviorSanitizer) into build-test/, runs every test, runs the
# threaded tests again under ThreadSanitizer in build-tsan/, builds the
# release tree, and runs every fuzz target briefly in build-fuzz/.
set -euo pipefail
cd "$(dirname "$0")/.."
# Clones in other folders share compiled objects through ccache.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}" CCACHE_NOHASHDIR="${CCACHE_NOHASHDIR:-1}"
scripts/deps.sh
scripts/format.sh --check
jobs=$(nproc)

cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTESSARO_SANITIZE=address
cmake --build build-test
# Tests labelled "web" start the web engine, which runs in the release tree
# only: under the sanitizers it is slow and reports the engine's own leaks.
(cd build-test && ctest --output-on-failure -j "$jobs" --timeout 300 -LE web)

cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTESSARO_SANITIZE=thread
cmake --build build-tsan --target tsan_tests
(cd build-tsan && ctest --output-on-failure -L tsan --timeout 300)

# The release tree (what scripts/run.sh starts) compiles everything again with
# optimisation, where the compiler reports things the debug builds do not.
scripts/build.sh
(cd build && ctest --output-on-failure --timeout 300 -L web)

# A fuzz target that no longer builds, or that crashes on its corpus or soon
# after, fails the run.
scripts/fuzz.sh all 15

# The Debian package, unpacked and run, where Debian's packaging tools are.
if command -v dpkg-deb > /dev/null; then
    scripts/package.sh
    tests/package/check_package.sh "$(ls -t build/tessaro_*_amd64.deb | head -n 1)"
fi
