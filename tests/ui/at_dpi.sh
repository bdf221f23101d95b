#!/bin/sh
# Runs a Windows test program with the display at DPI dots per inch, in a Wine
# prefix of its own (made on first use), so that the build's prefix keeps its
# scale. The program learns the scale asked for from KESTRANE_TEST_DPI.
# Usage: at_dpi.sh WINE_RUN PREFIX DPI PROGRAM [ARGS...]
set -eu
run=$1 prefix=$2 dpi=$3
shift 3
"$run" --prefix "$prefix" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null
# A process reads the scale as it starts: only those started once the server has gone see a change.
WINEPREFIX=$(cd "$prefix" && pwd) wineserver -w
KESTRANE_TEST_DPI=$dpi exec "$run" --prefix "$prefix" "$@"
