#!/usr/bin/env bash
# End-to-end test of kestrane.exe under Wine: start-up without filters, then a
# whole conversion driven through the program's windows by e2e_driver.exe.
# Screenshots of the dialog, the open File menu and a preview go to <build>/artifacts.
# Usage: tests/ui/e2e.sh <source dir> <build dir>
set -euo pipefail
src=$(cd "$1" && pwd)
build=$(cd "$2" && pwd)
prefix=$build/wineprefix
run() { "$src/tools/wine-run" --prefix "$prefix" "$@"; }
winpath() { echo "Z:${1//\//\\}"; }

work=$build/tests/ui/e2e
artifacts=$build/artifacts
rm -rf "$work"
mkdir -p "$work" "$artifacts"
kestrane=$(winpath "$build/ui/kestrane.exe")
driver=$build/tests/ui/e2e_driver.exe
filter=$(winpath "$build/filters/wic/kestrane-import.flt")

# One display for the program and the screenshots: the caller's, or the
# prefix's own Xvfb.
if [ -z "${DISPLAY:-}" ]; then
  run cmd /c exit
  DISPLAY=$(cat "$prefix.xvfb")
  export DISPLAY
fi

echo "== no filter registered"
run regsvr32 /u /s "$filter" || true
run "$driver" nofilter "$kestrane"

echo "== conversion through the dialog"
run regsvr32 /s "$filter"
/usr/bin/python3 - "$work" <<'PY'
import sys
from PIL import Image
# Three 24x16 images, each with its own gradient, so frames can be told apart.
for n, name in enumerate(["b.png", "a.png", "c.png"]):
    image = Image.new("RGB", (24, 16))
    image.putdata([((x * 10 + n * 70) % 256, (y * 15 + n * 50) % 256, (x * y + n * 90) % 256)
                   for y in range(16) for x in range(24)])
    image.save(f"{sys.argv[1]}/{name}")
PY
# One conversion through the dialog; the driver asks for each screenshot
# through a file and waits until it is taken.
convert_once() {
  rm -f "$work/out.shp" "$work"/shot-*
  run "$driver" convert "$kestrane" "$(winpath "$work")" "$(winpath "$work/out.shp")" \
    "$(winpath "$work/b.png")" "$(winpath "$work/a.png")" "$(winpath "$work/c.png")" \
    > "$work/driver.log" 2>&1 &
  local driver_pid=$! status=0 ready name
  while kill -0 "$driver_pid" 2>/dev/null; do
    for ready in "$work"/shot-*.ready; do
      [ -e "$ready" ] || continue
      name=$(basename "$ready" .ready)
      sleep 0.5
      import -display "$DISPLAY" -window root "$artifacts/${name#shot-}.png"
      rm -f "$ready"
      touch "$work/$name.done"
    done
    sleep 0.2
  done
  wait "$driver_pid" || status=$?
  cat "$work/driver.log"
  return "$status"
}

# Where wine32 runs under qemu-user (tools/install-deps.sh), Wine now and then
# loses a multi-threaded process (the file dialog's) with "wine client error".
# That is the emulator, not Kestrane: try again then, and only then.
attempt=1
until convert_once; do
  if [ "$attempt" -ge 3 ] || [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ] ||
     ! grep -q 'wine client error' "$work/driver.log"; then
    exit 1
  fi
  attempt=$((attempt + 1))
  echo "kestrane.exe was lost by Wine under qemu-user; attempt $attempt"
done

# Rows are sorted a, b, c; moving the last up gives the frame order a, c, b.
/usr/bin/python3 - "$work" <<'PY'
import struct, sys
from PIL import Image
work = sys.argv[1]
data = open(f"{work}/out.shp", "rb").read()
_, width, height, count = struct.unpack_from("<4H", data, 0)
assert (width, height, count) == (24, 16, 3), (width, height, count)
for i, name in enumerate(["a.png", "c.png", "b.png"]):
    offset = struct.unpack_from("<I", data, 8 + 24 * i + 20)[0]
    pixels = Image.open(f"{work}/{name}").convert("RGB").getdata()
    expected = b"".join(struct.pack("<H", ((r & 0xF8) << 8) | ((g & 0xFC) << 3) | (b >> 3))
                        for r, g, b in pixels)
    assert data[offset:offset + len(expected)] == expected, f"frame {i} is not {name}"
    print(f"frame {i}: {name} matches")
assert len(data) == 8 + 24 * 3 + 3 * 24 * 16 * 2
PY
# The screenshots show the link in blue, the hovered menu item's fill and
# frame, and the first row's frame: each RGB565 value widened back to 8 bits.
/usr/bin/python3 - "$artifacts" "$work" <<'PY'
import sys
from PIL import Image
def colours(name):
    return {c for _, c in Image.open(f"{sys.argv[1]}/{name}").convert("RGB").getcolors(1 << 24)}
assert (0, 0, 255) in colours("dialog.png"), "no blue link text"
assert {(193, 210, 238), (49, 106, 197)} <= colours("menu.png"), "no highlighted menu item"
def widened(r, g, b):
    r, g, b = r >> 3, g >> 2, b >> 3
    return (r << 3 | r >> 2, g << 2 | g >> 4, b << 3 | b >> 2)
frame = {widened(*p) for p in Image.open(f"{sys.argv[2]}/a.png").convert("RGB").getdata()}
assert frame <= colours("preview.png"), f"{len(frame - colours('preview.png'))} colours of a.png not in the preview"
PY
echo "screenshots: $artifacts/dialog.png $artifacts/menu.png $artifacts/preview.png"
