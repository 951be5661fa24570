#!/usr/bin/env bash
# Builds the release tree and starts Tessaro on the portable home in build/dist/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
if [ -x build/dist/tessaro-cli ]; then
    build/dist/tessaro-cli --home build/dist init
    exec build/dist/tessaro-cli --home build/dist tree
fi
echo "run: no program is built yet; the libraries and plug-ins are in build/dist/"
