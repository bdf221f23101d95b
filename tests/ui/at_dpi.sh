#!/bin/sh
# Runs a Windows test program with the display at DPI dots per inch in the Wine prefix PREFIX (made on
# first use, kept at that scale); the program learns the scale asked for from KESTRANE_TEST_DPI.
# Usage: at_dpi.sh WINE_RUN PREFIX DPI PROGRAM [ARGS...]
set -eu
run=$1 prefix=$2 dpi=$3
shift 3
key='HKCU\Control Panel\Desktop'
if ! "$run" --prefix "$prefix" reg query "$key" /v LogPixels 2>/dev/null | grep -qiw "$(printf '0x%x' "$dpi")"; then
  "$run" --prefix "$prefix" reg add "$key" /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null
  # Read as the prefix's processes start: its server (which outlives them a minute) and they start again.
  WINEPREFIX=$(cd "$prefix" && pwd) wineserver -k || true
  WINEPREFIX=$(cd "$prefix" && pwd) wineserver -w
fi
KESTRANE_TEST_DPI=$dpi exec "$run" --prefix "$prefix" "$@"
