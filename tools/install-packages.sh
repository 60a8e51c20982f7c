#!/usr/bin/env bash
# Installs the Debian packages named on the command line that are missing:
# as root with apt-get (without recommended packages when
# QUARNEL_NO_RECOMMENDS=1); otherwise it prints the command to run and
# fails. setup.sh, tools/build-windows.sh and tools/package.sh use it.
set -euo pipefail
missing=()
for package in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
[ "${#missing[@]}" -gt 0 ] || exit 0
options=(-y)
[ "${QUARNEL_NO_RECOMMENDS:-0}" = 1 ] && options+=(--no-install-recommends)
if [ "$(id -u)" -eq 0 ]; then
    echo "Installing Debian packages: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update
    apt-get install "${options[@]}" "${missing[@]}"
else
    echo "These Debian packages are missing: ${missing[*]}"
    echo "Install them with:"
    echo "  sudo apt-get update && sudo apt-get install ${options[*]} ${missing[*]}"
    exit 1
fi
