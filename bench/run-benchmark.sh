#!/usr/bin/env bash
# Conversion benchmark (not a test): 200 PNG frames of 256x256 and 20 of
# 1024x1024 through kestrane-cli.exe and our import filter, against the bare
# imaging-component decode of the same files and against ffmpeg; then the
# metafile records a filter could hand over, and the RGB565 kernel against
# memcpy, in the Windows build and in an optimised host build. The job and the
# kernel also run dithered (ordered, diffusion).
# Usage: bench/run-benchmark.sh [BUILD_DIR [HOST_BUILD_DIR]]
#        (defaults build-bench and BUILD_DIR-host)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build-bench}
host=${2:-$build-host}
source "$root/bench/common.sh"
bench_prepare bench ffmpeg -- kestrane_cli kestrane_bench kestrane_kernel_bench kestrane_wic_filter
# Figures need optimised code without sanitizers, unlike the host test build.
mkdir -p "$host"
host=$(cd "$host" && pwd)
if [ ! -e "$host/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$host" -DCMAKE_BUILD_TYPE=Release -DKESTRANE_SANITIZE=OFF -DBUILD_TESTING=OFF >/dev/null
fi
cmake --build "$host" -j2 --target kestrane_kernel_bench >/dev/null

ms() { /usr/bin/python3 -c "print('%.0f' % (($2 - $1) * 1000))"; }
per_frame() { sed -n 's/.*per_frame_ms=\([0-9.]*\).*/\1/p' <<<"$1"; }

echo "Generating images in $work ..."
/usr/bin/python3 - "$work" <<'EOF'
import os, sys
from PIL import Image, ImageDraw

def frame(size, i):
    red = Image.linear_gradient("L").rotate(i * 7 % 360).resize((size, size))
    green = Image.effect_noise((size, size), 20 + i % 40)
    blue = Image.radial_gradient("L").resize((size, size))
    image = Image.merge("RGB", (red, green, blue))
    draw = ImageDraw.Draw(image)
    for k in range(6):
        x = (i * 13 + k * 37) % size
        y = (i * 29 + k * 53) % size
        r = size // 8 + k * size // 32
        colour = ((k * 80 + i) % 256, (k * 40 + 2 * i) % 256, (255 - k * 30) % 256)
        if k % 2:
            draw.ellipse((x - r, y - r, x + r, y + r), fill=colour)
        else:
            draw.rectangle((x - r, y - r // 2, x + r, y + r // 2), outline=colour, width=3)
    return image

for name, size, count in (("small", 256, 200), ("large", 1024, 20)):
    os.makedirs(os.path.join(sys.argv[1], name))
    for i in range(count):
        frame(size, i).save(os.path.join(sys.argv[1], name, "f%03d.png" % i))
EOF

bench_register_filter

cli="$build/cli/kestrane-cli.exe"
bench="$build/bench/kestrane-bench.exe"
# A run that does no work: Wine start-up and the runner's own overhead.
run "$cli" >/dev/null 2>&1 || true
t0=$(now); run "$cli" >/dev/null 2>&1 || true; t1=$(now)
startup_ms=$(ms "$t0" "$t1")

report() {
  local name=$1 size=$2
  local dir="$work/$name"
  local files
  files=$(cd "$dir" && ls f*.png | tr '\n' ' ')
  cd "$dir"
  echo
  echo "== $name: $(ls f*.png | wc -l) frames of ${size}x${size}, $(du -sh . | cut -f1) of PNG"
  t0=$(now); run "$cli" out.shp $files >/dev/null; t1=$(now)
  echo "kestrane-cli.exe wall_ms=$(ms "$t0" "$t1") (Wine start-up and runner about ${startup_ms} ms of it)"
  # The job against the bare decode, three times in turn: the machine's other
  # load moves single figures a lot; the median ratio moves less.
  local ratios="" job decode
  for _ in 1 2 3; do
    # shellcheck disable=SC2086
    job=$(run "$bench" job job.shp $files)
    # shellcheck disable=SC2086
    decode=$(run "$bench" decode $files)
    printf '%s\n%s\n' "$job" "$decode"
    ratios="$ratios $(per_frame "$job") $(per_frame "$decode")"
  done
  # shellcheck disable=SC2086
  /usr/bin/python3 - $ratios <<'EOF'
import sys
v = [float(x) for x in sys.argv[1:]]
r = sorted(v[i] / v[i + 1] for i in range(0, len(v), 2))
print("job / bare decode: %s, median %.2f" % (" ".join("%.2f" % x for x in r), r[len(r) // 2]))
EOF
  # shellcheck disable=SC2086
  run "$bench" stages $files
  # shellcheck disable=SC2086
  run "$bench" dither job.shp $files
  t0=$(now)
  ffmpeg -v error -y -i f%03d.png -f rawvideo -pix_fmt rgb565le -sws_flags neighbor+bitexact -sws_dither none out.raw
  t1=$(now)
  echo "ffmpeg (native x86-64) wall_ms=$(ms "$t0" "$t1")"
  /usr/bin/python3 - <<'EOF'
import struct
shp = open("out.shp", "rb").read()
raw = open("out.raw", "rb").read()
count = struct.unpack_from("<H", shp, 6)[0]
pixels = shp[8 + 24 * count:]
print("frames identical to ffmpeg's:", "yes" if pixels == raw else "NO (%d vs %d bytes)" % (len(pixels), len(raw)))
EOF
  cd - >/dev/null
}

report small 256
report large 1024


echo
echo "== metafile records a filter could hand over (ms, medians)"
run "$bench" records 1024
run "$bench" records 256

echo
echo "== RGB565 kernel, Windows build under Wine"
run "$build/bench/kestrane-kernel-bench.exe"
echo
echo "== RGB565 kernel, host build ($(uname -m))"
"$host/bench/kestrane-kernel-bench"
