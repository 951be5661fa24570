#!/usr/bin/env bash
# Builds the release tree and starts Tessaro on the portable home in build/dist/,
# laid out from the embedded defaults.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
build/dist/tessaro-cli --home build/dist init
exec build/dist/tessaro-cli --home build/dist tree
