#!/usr/bin/env bash
# Installs what the build needs on a Debian machine, where it is missing.
set -euo pipefail
packages=(cmake g++ ninja-build libgtest-dev libgmock-dev libbenchmark-dev
          mingw-w64 g++-mingw-w64-x86-64-posix)
missing=()
for package in "${packages[@]}"; do
    dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
