#!/usr/bin/env bash
# Builds the release tree and the Debian package build/tessaro_<version>_amd64.deb,
# then checks the package and its desktop files with Debian's tools.
# Usage: scripts/package.sh [extra cmake -D options]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh "$@"
(cd build && cpack -G DEB -B "$PWD/cpack" > cpack.log) || { cat build/cpack.log >&2; exit 1; }
package=$(ls -t build/cpack/tessaro_*_amd64.deb | head -n 1)
mv "$package" build/
package=build/$(basename "$package")

desktop-file-validate build/packaging/tessaro.desktop
# The id stays the program's plain name: the project owns no domain to build
# a reverse-DNS id from.
appstreamcli validate --no-net --override=cid-desktopapp-is-not-rdns=info packaging/tessaro.metainfo.xml
# Errors fail the build; warnings are shown.
lintian --fail-on error "$package"
echo "package: $package"
