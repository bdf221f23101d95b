#!/usr/bin/env bash
# Splitting benchmark (not a test): an animated GIF of 259 frames of 1000x175
# and a sprite sheet of 4096x4096 in 64 cells of 512x512 (optionally one of
# 16384x16384 in 256 cells of 1024x1024), each split into frame files with
# kestrane-cli.exe --split and converted back with kestrane-cli.exe, each run
# by kestrane-peak.exe, which reports its wall time and the peak working set
# Windows counted for its process.
# Usage: bench/run-split-benchmark.sh [--huge] [BUILD_DIR]   (default build-bench)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
huge=0
if [ "${1:-}" = "--huge" ]; then
  huge=1
  shift
fi
build=${1:-$root/build-bench}
source "$root/bench/common.sh"
bench_prepare split-bench -- kestrane_cli kestrane_peak kestrane_wic_filter

echo "Generating pictures in $work ..."
/usr/bin/python3 - "$work" "$huge" <<'EOF'
import os, sys
from PIL import Image, ImageDraw

work, huge = sys.argv[1], sys.argv[2] == "1"

# A banner: a fixed gradient behind sprites that move, so that most frames
# cover only part of the screen; every third frame is cleared to background.
background = Image.merge("RGB", (Image.linear_gradient("L").rotate(90).resize((1000, 175)),
                                 Image.linear_gradient("L").resize((1000, 175)),
                                 Image.new("L", (1000, 175), 96)))
frames = []
for i in range(259):
    frame = background.copy()
    draw = ImageDraw.Draw(frame)
    for k in range(5):
        x, y = (i * (7 + k) + k * 190) % 1000, 30 + (i * (3 + k) + k * 40) % 120
        draw.ellipse((x - 20, y - 20, x + 20, y + 20), fill=((k * 60) % 256, 255 - k * 40, (i * 5) % 256))
    frames.append(frame.quantize(255))
frames[0].save(os.path.join(work, "banner.gif"), save_all=True, append_images=frames[1:], duration=40,
               loop=0, disposal=[1 if i % 3 else 2 for i in range(259)])

def sheet(side, cells, name):
    """Cells of shapes on a transparent ground, each a sprite of its own."""
    image = Image.new("RGBA", (side, side), (0, 0, 0, 0))
    draw = ImageDraw.Draw(image)
    cell = side // cells
    for n in range(cells * cells):
        x, y = n % cells * cell, n // cells * cell
        colour = ((n * 37) % 256, (n * 91) % 256, 255 - (n * 13) % 256, 255)
        draw.ellipse((x + cell // 8, y + cell // 8, x + cell - cell // 8, y + cell - cell // 8), fill=colour)
        draw.rectangle((x + cell // 3, y + cell // 3, x + cell // 2, y + cell // 2), fill=(255, 255, 255, 128))
    image.save(os.path.join(work, name))

sheet(4096, 8, "sheet.png")
if huge:
    sheet(16384, 16, "huge.png")
EOF

bench_register_filter

cli=$(windows "$build/cli/kestrane-cli.exe")
peak() { run "$build/bench/kestrane-peak.exe" "$cli" "$@" | tail -1; }

cd "$work"
measure() {
  local name=$1
  shift
  echo
  echo "== $name: $(du -h "$name" | cut -f1)"
  echo "split:   $(peak --split "$name" "$name-frames" "$@")"
  echo "         $(ls "$name-frames" | wc -l) frame files, $(du -sh "$name-frames" | cut -f1)"
  echo "convert: $(peak "$name.shp" "$name-frames\\*.png")"
  run "$build/cli/kestrane-cli.exe" --info "$name.shp" | head -3 | tr '\n' ' '
  echo
}
measure banner.gif
measure sheet.png --cell 512x512
if [ "$huge" = 1 ]; then
  measure huge.png --cell 1024x1024
fi

# Frame 0 of the split is the picture the job takes from the GIF itself.
run "$build/cli/kestrane-cli.exe" first.shp banner.gif >/dev/null
/usr/bin/python3 - <<'EOF'
import struct
def frame(path, i):
    data = open(path, "rb").read()
    _, w, h, count = struct.unpack_from("<4H", data)
    offset = struct.unpack_from("<I", data, 28 + 24 * i)[0]
    return data[offset:offset + 2 * w * h]
print("GIF frame 0 as the job takes the GIF:", "yes" if frame("first.shp", 0) == frame("banner.gif.shp", 0) else "NO")
EOF

