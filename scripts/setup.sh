#!/usr/bin/env bash
# Installs what building and testing Velmora needs on Debian (run as root).
# Skips apt entirely when everything is already there.
set -euo pipefail

packages=(cmake make g++ clang libclang-rt-14-dev libgtest-dev googletest
          g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-i686-dev
          wine wine32:i386 wine64 xvfb x11-utils fonts-wine imagemagick
          strace tzdata)

missing=()
for package in "${packages[@]}"; do
    dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
    echo "missing packages: ${missing[*]}; run this as root to install them" >&2
    exit 1
fi
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
fi
apt-get update -qq
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "${packages[@]}" >/dev/null
