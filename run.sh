#!/usr/bin/env bash
# Builds Kestrane for Windows and starts it under Wine (on Windows, run the
# built kestrane.exe directly). Until the dialog exists this runs the tests
# of what exists.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
tools/install-deps.sh
cmake -S . -B build/win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
cmake --build build/win -j"$(nproc)"
ctest --test-dir build/win --output-on-failure
