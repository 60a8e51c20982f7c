#!/usr/bin/env bash
# Builds the Windows programs on Debian: build-windows/quarnel.exe and
# build-windows/bytediff.exe, cross-compiled with mingw-w64's GCC (posix
# threads) and linked statically, so that they need no DLL beside them;
# GoogleTest is built for the target from Debian's sources, and the test
# programs too. Installs the Debian packages it needs that are missing (as
# root; otherwise it prints the command to run), as setup.sh does. Wine is
# installed too: the tests of the Windows build run through it.
#   tools/build-windows.sh                     everything
#   tools/build-windows.sh quarnel bytediff    only the two programs
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(g++-mingw-w64-x86-64-posix libz-mingw-w64-dev googletest wine wine64 cmake ninja-build)
QUARNEL_NO_RECOMMENDS=1 ./tools/install-packages.sh "${packages[@]}"

# ccache, when the machine has it, keeps what was compiled before.
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

cmake -S . -B build-windows -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARNEL_BENCH=OFF "${launcher[@]}"
if [ "$#" -gt 0 ]; then
    cmake --build build-windows -j "${QUARNEL_JOBS:-2}" --target "$@"
    echo "Built in build-windows/: $*"
else
    cmake --build build-windows -j "${QUARNEL_JOBS:-2}"
    echo "Built: build-windows/quarnel.exe and build-windows/bytediff.exe"
fi
