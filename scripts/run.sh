#!/usr/bin/env bash
# Builds the release tree and starts the desktop program on the portable home
# in build/dist/, laid out from the installed defaults. Without a display it
# prints the category tree through the command line instead.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
build/dist/tessaro-cli --home build/dist init >/dev/null
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "run: no display (DISPLAY and WAYLAND_DISPLAY are empty), so here is the category tree from tessaro-cli instead of the window."
    exec build/dist/tessaro-cli --home build/dist tree
fi
# The embedded web engine refuses its sandbox when run as root.
if [ "$(id -u)" -eq 0 ]; then
    export QTWEBENGINE_DISABLE_SANDBOX=1
fi
exec build/dist/tessaro --home build/dist "$@"
