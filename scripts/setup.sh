#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those missing.
set -euo pipefail

packages=(
    build-essential cmake git
    qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libqt6sql6-sqlite
    libbenchmark-dev
    libsqlite3-dev
    libarchive-dev
    libcpp-httplib-dev
    qtkeychain-qt6-dev
    # the sign-in test drives the real page in a real browser; window tests need an X server
    chromium chromium-driver
    xvfb xauth openbox
    # floors for the backup benchmark
    zip unzip
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done

if ((${#missing[@]} > 0)); then
    sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        sudo=(sudo)
    fi
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" apt-get update
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi
