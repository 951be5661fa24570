#!/usr/bin/env bash
# Builds the release tree and runs every benchmark; exits non-zero when a
# target is missed.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
status=0
for bench in build/bench/*; do
    [ -f "$bench" ] && [ -x "$bench" ] || continue
    echo "== $(basename "$bench")"
    "$bench" || status=1
done
exit $status
