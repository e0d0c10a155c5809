#!/usr/bin/env bash
# Installs the named Debian packages that are not installed yet (sudo when not root).
#   tools/install-missing.sh [--no-install-recommends] PACKAGE...
set -euo pipefail
options=()
if [ "${1:-}" = "--no-install-recommends" ]; then
    options+=("$1")
    shift
fi
missing=()
for package in "$@"; do
    dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
[ ${#missing[@]} -gt 0 ] || exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${options[@]}" "${missing[@]}"
