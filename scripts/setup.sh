#!/usr/bin/env bash
# Installs what building and testing Velmora needs on Debian (run as root),
# and makes sure 32-bit Wine can run here. Skips apt entirely when everything
# is already there.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/steps.sh

packages=(cmake make g++ clang libclang-rt-14-dev libgtest-dev googletest
          g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-i686-dev
          wine wine32:i386 wine64 xvfb x11-utils fonts-wine imagemagick
          strace tzdata)

missing=()
for package in "${packages[@]}"; do
    dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "missing packages: ${missing[*]}; run this as root to install them" >&2
        exit 1
    fi
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        run_step dpkg --add-architecture i386
    fi
    bash scripts/apt-install.sh "${packages[@]}"
fi

bash scripts/i386-support.sh
