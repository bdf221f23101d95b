#!/usr/bin/env bash
# Canvas benchmark (not a test): 300 frames of 256x256, and the same frames
# trimmed to their sprite's box (sizes from about 120x120 up to 256x256, the
# largest last, so that the automatic canvas grows to the end; and in a
# shuffled order), converted by
# kestrane-cli.exe without and with --canvas, each run by kestrane-peak.exe,
# which reports its wall time and the peak working set Windows counted for
# its process. The file is 38 MB.
# Usage: bench/run-canvas-benchmark.sh [BUILD_DIR]   (default build-bench)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build-bench}
source "$root/bench/common.sh"
bench_prepare canvas-bench -- kestrane_cli kestrane_peak kestrane_wic_filter

echo "Generating frames in $work ..."
/usr/bin/python3 - "$work" <<'EOF2'
import os, random, sys
from PIL import Image, ImageDraw

work = sys.argv[1]
os.makedirs(os.path.join(work, "full"))
os.makedirs(os.path.join(work, "trimmed"))
os.makedirs(os.path.join(work, "shuffled"))
order = list(range(300))
random.Random(1).shuffle(order)
for i in range(300):
    # A figure on black that swings and grows: trimmed, each frame is its box.
    frame = Image.new("RGB", (256, 256))
    draw = ImageDraw.Draw(frame)
    reach = 60 + i * 68 // 299
    x = 128 + (i * 7 % 41) - 20 if i < 299 else 128
    draw.ellipse((x - reach, 128 - reach // 2, x + reach, 128 + reach // 2), fill=(200, (i * 5) % 256, 90))
    draw.rectangle((x - reach // 3, 128 - reach, x + reach // 3, 128 + reach), fill=(40, 120, (i * 3) % 256))
    frame.save(os.path.join(work, "full", "f%03d.png" % i))
    frame.crop(frame.getbbox()).save(os.path.join(work, "trimmed", "f%03d.png" % i))
    frame.crop(frame.getbbox()).save(os.path.join(work, "shuffled", "f%03d.png" % order[i]))
EOF2

bench_register_filter

cli=$(windows "$build/cli/kestrane-cli.exe")
peak() { run "$build/bench/kestrane-peak.exe" "$cli" "$@" | tail -1; }

cd "$work"
echo "same size, no canvas:        $(peak full.shp 'full\*.png')"
echo "same size, --canvas:         $(peak full-canvas.shp 'full\*.png' --canvas)"
echo "trimmed, --canvas:           $(peak trimmed.shp 'trimmed\*.png' --canvas)"
echo "shuffled, --canvas:          $(peak shuffled.shp 'shuffled\*.png' --canvas)"
echo "trimmed, --canvas 256x256:   $(peak trimmed-256.shp 'trimmed\*.png' --canvas 256x256)"
run "$build/cli/kestrane-cli.exe" --info trimmed.shp | head -3 | tr '\n' ' '
echo
cmp -s full.shp full-canvas.shp && echo "same size with --canvas: the same bytes" || echo "same size with --canvas: OTHER BYTES"

