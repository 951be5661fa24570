#!/usr/bin/env bash
# Unpacks the Debian package into a temporary root and runs the unpacked
# tessaro-cli there: its help, a fresh home laid out from the unpacked
# defaults in the XDG data folder, and every plug-in loaded through the links.
# Usage: tests/package/check_package.sh build/tessaro_<version>_amd64.deb
set -euo pipefail
package=$1
root=$(mktemp -d /tmp/tessaro-package-XXXXXX)
trap 'rm -rf "$root"' EXIT
fail() {
    echo "check_package: $*" >&2
    exit 1
}

dpkg-deb -x "$package" "$root"
for path in usr/bin/tessaro-cli usr/share/tessaro/global.ini usr/share/tessaro/global.zh_CN.ini \
    usr/share/tessaro/dllmgr.ini usr/share/tessaro/help.txt \
    usr/lib/systemd/user/tessaro-daemon.service usr/share/man/man1/tessaro-cli.1.gz \
    usr/share/bash-completion/completions/tessaro-cli usr/share/doc/tessaro/copyright; do
    [ -e "$root/$path" ] || fail "the package lacks /$path"
done
depends=$(dpkg-deb -f "$package" Depends)
for dependency in fonts-noto-cjk libcurl4 libsqlite3-0 libc6; do
    [[ $depends == *"$dependency"* ]] || fail "Depends lacks $dependency: $depends"
done

# The desktop files come with the desktop program.
if [ -e "$root/usr/bin/tessaro" ]; then
    for path in usr/share/applications/tessaro.desktop usr/share/metainfo/tessaro.metainfo.xml \
        usr/share/man/man1/tessaro.1.gz; do
        [ -e "$root/$path" ] || fail "the package lacks /$path"
    done
    desktop-file-validate "$root/usr/share/applications/tessaro.desktop"
    appstreamcli validate --no-net --override=cid-desktopapp-is-not-rdns=info \
        "$root/usr/share/metainfo/tessaro.metainfo.xml" > /dev/null
fi

# Nothing may still look for libraries in the tree it was built in.
while IFS= read -r -d '' file; do
    if readelf -d "$file" 2>/dev/null | grep -E 'R(UN)?PATH' | grep -vq '\$ORIGIN'; then
        fail "$file has a search path outside the package: $(readelf -d "$file" | grep PATH)"
    fi
done < <(find "$root/usr/bin" "$root/usr/lib/tessaro" -type f -print0)

cli=$root/usr/bin/tessaro-cli
"$cli" --help | grep -q '^Usage: tessaro-cli' || fail "--help prints no usage"

# The home is looked up in the XDG data folder of a user without one yet.
run() {
    env -u TESSARO_HOME HOME="$root/user" XDG_DATA_HOME="$root/user/data" TESSARO_LANG=en "$cli" "$@"
}
home=$root/user/data/tessaro
run init > "$root/init.out" || fail "init failed"
grep -qx "home	$home/" "$root/init.out" || fail "init laid out another home: $(cat "$root/init.out")"
# The program adds its settings to the tree; every installed line stays.
if diff "$home/kernel/global.ini" "$root/usr/share/tessaro/global.ini" | grep -q '^>'; then
    fail "the new home's global.ini is not the installed English one"
fi

run plugins > "$root/plugins.out" 2> "$root/plugins.err" || fail "plugins failed"
[ ! -s "$root/plugins.err" ] || fail "plugins reported: $(cat "$root/plugins.err")"
loaded=$(awk -F '\t' '$3 == "loaded"' "$root/plugins.out" | wc -l)
[ "$loaded" -eq 15 ] || fail "$loaded of 15 plug-ins loaded: $(cat "$root/plugins.out")"
echo "check_package: $package unpacks and runs"
