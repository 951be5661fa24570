#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the benchmarks need.
# Idempotent: it asks apt only for what is missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    libcurl4-openssl-dev libpcre2-dev libsqlite3-dev sqlite3
    libcli11-dev nlohmann-json3-dev
    libgtest-dev libgmock-dev libbenchmark-dev duktape-dev
    tinyproxy microsocks clang-format
    clang-14 libclang-rt-14-dev
    qt6-base-dev qt6-svg-dev qt6-webengine-dev xvfb xauth fonts-noto-cjk
    dpkg-dev lintian desktop-file-utils appstream librsvg2-bin
    libcpp-httplib-dev libpugixml-dev
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
    echo "deps: missing packages: ${missing[*]}; run this script as root to install them" >&2
    exit 1
fi

echo "deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
