#!/usr/bin/env bash
# Sets up a machine for quarnel and builds it, in three steps:
#   1. installs the Debian packages listed in tools/debian-packages.txt that
#      are missing (as root; otherwise it prints the command to run);
#   2. configures with CMake and Ninja into build/;
#   3. builds the targets named on the command line, or everything (the
#      programs build/quarnel and build/bytediff, the sample makers, the
#      tests and the benchmarks) when none is named.
#   ./setup.sh                          everything
#   ./setup.sh quarnel bytediff         only the two programs
set -euo pipefail
cd "$(dirname "$0")"

packages=()
while read -r package; do
    package="${package%%#*}"
    package="${package//[[:space:]]/}"
    if [ -n "$package" ]; then packages+=("$package"); fi
done < tools/debian-packages.txt
./tools/install-packages.sh "${packages[@]}"

cmake -S . -B build -G Ninja

if [ "$#" -gt 0 ]; then
    cmake --build build -j 2 --target "$@"
    echo "Built in build/: $*"
else
    cmake --build build -j 2
    echo "Built: build/quarnel and build/bytediff"
fi
