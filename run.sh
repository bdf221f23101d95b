#!/usr/bin/env bash
# Builds Kestrane for Windows and starts it under Wine, on this machine's
# display when there is one (otherwise on a virtual one). On Windows, run the
# built kestrane.exe directly after registering the filter with regsvr32.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
tools/install-deps.sh
cmake -S . -B build/win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
cmake --build build/win -j"$(nproc)"

# Kestrane decodes images only through registered import filters: register
# ours the way the installer does, through its DllRegisterServer.
tools/register-filter build/win
exec tools/wine-run --prefix build/win/wineprefix build/win/ui/kestrane.exe
