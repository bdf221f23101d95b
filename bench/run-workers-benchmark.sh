#!/usr/bin/env bash
# Worker benchmark (not a test): 2000 PNG frames of 128x128 and 500 of
# 256x256 through kestrane-cli.exe with its default workers (one per logical
# processor) and with -j 1, against ffmpeg, the three in turn for each round
# so that the machine's other load falls on all alike. Then the loader's
# stages for the first 500 frames of each set (where an image's time goes),
# and the peak working set of kestrane-cli.exe itself with the default.
# Other builds may share the machine: each round also times a CPU-bound loop
# alone and two of them at once, which shows how much of a second core the
# machine had to give at that moment, and the one-process job (kestrane-bench
# job) on all frames against two of it at once on the halves: what two
# processes of such work under Wine gained in that round.
# The Windows programs are timed as Wine starts them (`direct`), as ffmpeg is
# timed as the shell starts it.
# Usage: bench/run-workers-benchmark.sh [ROUNDS [BUILD_DIR]]   (default 5, build-bench)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
rounds=${1:-5}
build=${2:-$root/build-bench}
source "$root/bench/common.sh"
bench_prepare workers-bench ffmpeg -- kestrane_cli kestrane_bench kestrane_peak kestrane_wic_filter
spin() { /usr/bin/python3 -c 'x = 0
for i in range(4000000): x += i'; }
# Two of the loop at once against one: 2.0 on two idle cores.
parallel_room() {
  local t0 t1 t2
  t0=$(now); spin; t1=$(now); spin & spin; wait; t2=$(now)
  /usr/bin/python3 -c "print('%.2f' % (2 * ($t1 - $t0) / ($t2 - $t1)))"
}

echo "Generating frames in $work ..."
/usr/bin/python3 - "$work" <<'PY'
import os, sys
from PIL import Image, ImageDraw

def frame(size, i):
    red = Image.linear_gradient("L").rotate(i * 7 % 360).resize((size, size))
    green = Image.effect_noise((size, size), 20 + i % 40)
    blue = Image.radial_gradient("L").resize((size, size))
    image = Image.merge("RGB", (red, green, blue))
    draw = ImageDraw.Draw(image)
    for k in range(4):
        x, y, r = (i * 13 + k * 37) % size, (i * 29 + k * 53) % size, size // 8
        draw.ellipse((x - r, y - r, x + r, y + r), fill=((k * 80 + i) % 256, 40 * k, 255 - 30 * k))
    return image

for name, size, count in (("s128", 128, 2000), ("s256", 256, 500)):
    os.makedirs(os.path.join(sys.argv[1], name))
    for i in range(count):
        frame(size, i).save(os.path.join(sys.argv[1], name, "f%04d.png" % i))
PY

bench_register_filter
cli="$build/cli/kestrane-cli.exe"
direct "$cli" --version >/dev/null  # Wine's server and caches warm

report() {
  local name=$1
  cd "$work/$name"
  echo
  echo "== $name: $(ls f*.png | wc -l) frames, $(du -sh . | cut -f1) of PNG, $(nproc) logical processors"
  local times="" rooms="" jobs=""
  local all first second
  all=$(ls f*.png | tr '\n' ' ')
  first=$(ls f*.png | head -n "$(($(ls f*.png | wc -l) / 2))" | tr '\n' ' ')
  second=$(ls f*.png | tail -n "+$(($(ls f*.png | wc -l) / 2 + 1))" | tr '\n' ' ')
  for round in $(seq "$rounds"); do
    local t0 t1 t2 t3 room job
    room=$(parallel_room)
    rooms="$rooms $room"
    t0=$(now)
    # shellcheck disable=SC2086
    direct "$build/bench/kestrane-bench.exe" job job.shp $all >/dev/null
    t1=$(now)
    # shellcheck disable=SC2086
    { direct "$build/bench/kestrane-bench.exe" job half1.shp $first >/dev/null &
      direct "$build/bench/kestrane-bench.exe" job half2.shp $second >/dev/null; wait; }
    t2=$(now)
    job=$(/usr/bin/python3 -c "print('%.2f' % (($t1 - $t0) / ($t2 - $t1)))")
    jobs="$jobs $job"
    t0=$(now)
    ffmpeg -v error -y -i f%04d.png -f rawvideo -pix_fmt rgb565le -sws_flags neighbor+bitexact -sws_dither none out.raw
    t1=$(now)
    direct "$cli" -j 1 one.shp 'f*.png' >/dev/null
    t2=$(now)
    direct "$cli" all.shp 'f*.png' >/dev/null
    t3=$(now)
    times="$times $t0 $t1 $t2 $t3"
    echo "round $round: two cores gave ${room}x, two one-process jobs ${job}x; ffmpeg $(/usr/bin/python3 -c "print('%.2f s' % ($t1 - $t0))"), -j 1 $(/usr/bin/python3 -c "print('%.2f s' % ($t2 - $t1))"), default $(/usr/bin/python3 -c "print('%.2f s' % ($t3 - $t2))")"
  done
  # shellcheck disable=SC2086
  /usr/bin/python3 - "$rooms" "$jobs" $times <<'PY'
import statistics, sys
print("two CPU-bound processes against one, median of rounds: %.2fx" % statistics.median(map(float, sys.argv[1].split())))
print("two one-process jobs on the halves against one on all, median of rounds: %.2fx"
      % statistics.median(map(float, sys.argv[2].split())))
t = [float(x) for x in sys.argv[3:]]
rounds = [t[i:i + 4] for i in range(0, len(t), 4)]
ff = [r[1] - r[0] for r in rounds]
one = [r[2] - r[1] for r in rounds]
default = [r[3] - r[2] for r in rounds]
med = statistics.median
print("medians: ffmpeg %.2f s, -j 1 %.2f s, default %.2f s" % (med(ff), med(one), med(default)))
print("-j 1 / default: %.2f (median of rounds: %.2f); default / ffmpeg: %.2f (median of rounds: %.2f)"
      % (med(one) / med(default), med([a / b for a, b in zip(one, default)]),
         med(default) / med(ff), med([a / b for a, b in zip(default, ff)])))
PY
  /usr/bin/python3 - <<'PY'
import struct
one, default, raw = (open(n, "rb").read() for n in ("one.shp", "all.shp", "out.raw"))
count = struct.unpack_from("<H", default, 6)[0]
print("-j 1 and default identical:", "yes" if one == default else "NO")
print("frames identical to ffmpeg's:", "yes" if default[8 + 24 * count:] == raw else "NO")
PY
  # shellcheck disable=SC2046
  run "$build/bench/kestrane-bench.exe" stages $(ls f*.png | head -500)
  echo "kestrane-cli.exe (default), the parent alone: $(run "$build/bench/kestrane-peak.exe" "$cli" all.shp 'f*.png')"
  cd - >/dev/null
}

report s128
report s256

