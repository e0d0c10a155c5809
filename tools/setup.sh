#!/usr/bin/env bash
# Installs what the build needs on a Debian machine, where it is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-missing.sh cmake g++ ninja-build libgtest-dev libgmock-dev libbenchmark-dev \
    mingw-w64 g++-mingw-w64-x86-64-posix
