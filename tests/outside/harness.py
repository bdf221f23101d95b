"""What every outside-in test of Kestrane needs: Windows programs run under
Wine in a prefix of the test's choosing, the registry, a display, the RGB565
rule and an SHP16 reader of our own, and test pictures made with PIL."""
import math
import os
import random
import re
import shutil
import struct
import subprocess
import time
import zlib
from pathlib import Path

from PIL import Image, ImageDraw

FILTER_ROOT = r"HKLM\Software\Microsoft\Shared Tools\Graphics Filters\Import"


class Prefix:
    """A Wine prefix, created by tools/wine-run on first use."""

    def __init__(self, wine_run, path):
        self.wine_run, self.path = wine_run, Path(path)
        self.env, self.cwd = {}, None  # for the programs started (start), not for run's

    def command(self, args, env=None):
        # Wine builds the Windows command line in the Unix locale's character
        # set: only a UTF-8 locale passes every name through.
        return dict(args=[self.wine_run, "--prefix", str(self.path), *map(str, args)],
                    env=dict(os.environ, LC_ALL="C.UTF-8", **(env or {})))

    def run(self, *args, cwd=None, timeout=300, env=None):
        return subprocess.run(**self.command(args, env), cwd=cwd, capture_output=True, encoding="utf-8",
                              errors="replace", timeout=timeout)

    def unix(self, windows_path):
        return self.path / "drive_c" / windows_path[3:].replace("\\", "/")

    def query(self, key, view="32"):
        """{subkey: {value: data}} below key (itself included), or None when absent."""
        result = self.run("reg", "query", key, "/s", "/reg:" + view)
        if result.returncode != 0:
            return None
        keys, current = {}, None
        for line in result.stdout.splitlines():
            if line.startswith("HKEY_"):
                current = keys.setdefault(line.strip().split("\\", 1)[1], {})
            elif current is not None and line.strip():
                parts = re.split(r"\s{4}", line.strip(), maxsplit=2)
                current[parts[0]] = parts[2] if len(parts) == 3 else ""
        return keys

    def add_filter(self, name, extensions, path):
        for value, data in (("Extensions", extensions), ("Path", path)):
            self.run("reg", "add", FILTER_ROOT + "\\" + name, "/v", value, "/d", data, "/reg:32", "/f")

    def start(self, *args):
        """A program left running while the test works it."""
        return subprocess.Popen(**self.command(args, self.env), cwd=self.cwd, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)

    def stop(self):
        env = dict(os.environ, WINEPREFIX=str(self.path))
        subprocess.run(["wineserver", "-k"], env=env, capture_output=True)
        subprocess.run(["wineserver", "-w"], env=env, capture_output=True, timeout=60)

    def display(self):
        """The caller's display, or the one tools/wine-run started for the prefix."""
        return os.environ.get("DISPLAY") or Path(f"{self.path}.xvfb").read_text().strip()

    def remove(self):
        """The prefix, its server and the display tools/wine-run started for it."""
        if self.path.is_dir():
            self.stop()
        subprocess.run([self.wine_run, "--prefix", str(self.path), "--end-xvfb"])
        shutil.rmtree(self.path, ignore_errors=True)
        for suffix in (".xvfb", ".xvfb.pid", ".xvfb.lock", ".lock"):
            Path(f"{self.path}{suffix}").unlink(missing_ok=True)


def windows_path(path):
    return "Z:" + str(Path(path).absolute()).replace("/", "\\")


def screenshot(display, path, colours_shown):
    """Takes screenshots until one shows every colour asked for (what a
    closed window uncovered is repainted some time later), or 10 s pass."""
    for _ in range(20):
        subprocess.run(["import", "-display", display, "-window", "root", str(path)], check=True)
        shown = {c for _, c in Image.open(path).convert("RGB").getcolors(1 << 24)}
        if set(colours_shown) <= shown:
            return True
        time.sleep(0.5)
    return False


def rgb565(r, g, b):
    return ((r & 0xF8) << 8) | ((g & 0xFC) << 3) | (b >> 3)


def over_black(r, g, b, a):
    return tuple((c * a + 127) // 255 for c in (r, g, b))


def frame_of(path):
    """The RGB565 frame our filter and the job should make of an image file."""
    with Image.open(path) if isinstance(path, Path) else path as image:
        return [rgb565(*over_black(*p)) for p in image.convert("RGBA").getdata()]


def read_frames(path):
    """The frames of an SHP16 file, each a list of RGB565 values, found
    through their records; the file must end with the last one."""
    data = Path(path).read_bytes()
    _, width, height, count = struct.unpack_from("<4H", data)
    assert len(data) == 8 + count * (24 + 2 * width * height), f"{path}: size"
    offsets = [struct.unpack_from("<I", data, 28 + 24 * i)[0] for i in range(count)]
    return [list(struct.unpack_from(f"<{width * height}H", data, offset)) for offset in offsets]


def noise_image(width, height, seed):
    """Random pixels: every bit of every channel varies."""
    rng = random.Random(seed)
    image = Image.new("RGB", (width, height))
    image.putdata([(rng.randrange(256), rng.randrange(256), rng.randrange(256)) for _ in range(width * height)])
    return image


def alpha_image(width, height):
    image = Image.new("RGBA", (width, height))
    image.putdata([((x * 53) & 255, (y * 71) & 255, 200, (x * 40 + y * 90) % 256)
                   for y in range(height) for x in range(width)])
    image.putpixel((0, 0), (255, 255, 255, 0))
    return image


def save_transparent_gif(path, width, height):
    image = Image.new("P", (width, height), 0)
    palette = [255, 0, 255, 10, 200, 30, 240, 240, 240, 1, 2, 3, 128, 64, 32]
    image.putpalette(palette + [0] * (768 - len(palette)))
    image.putdata([(x + 2 * y) % 5 for y in range(height) for x in range(width)])
    image.save(path, transparency=0)  # the magenta index is transparent


def save_gif(path, width, height, frames, local=None):
    """Frames (left, top, width, height, disposal, indices) of up to 200 pixels, index 0 transparent. The
    LZW codes are stored, never combined: 9 bits each, all in one block. With `local`, no global colour
    table: frame i has one of its own where local[i] is true, else none at all."""
    table = bytes(range(256)) * 3
    data = b"GIF89a" + struct.pack("<2H3B", width, height, 0x77 if local else 0xF7, 0, 0) + (b"" if local else table)
    for i, (x, y, w, h, d, indices) in enumerate(frames):
        own = bool(local and local[i])
        data += bytes([0x21, 0xF9, 4, d << 2 | 1, 0, 0, 0, 0, 0x2C]) + struct.pack("<4HB", x, y, w, h, 0x87 * own)
        data += (table if own else b"") + bytes([8, 255])
        data += sum(c << 9 * k for k, c in enumerate([256, *indices, 257])).to_bytes(255, "little") + b"\0"
    Path(path).write_bytes(data + b";")


def rgb888(value):
    """An RGB565 value widened back to 8 bits a channel, top bits repeated."""
    r, g, b = value >> 11, (value >> 5) & 63, value & 31
    return (r << 3 | r >> 2, g << 2 | g >> 4, b << 3 | b >> 2)


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def swing_frames(count, side):
    """A figure swinging a sword on black, one frame for each step: drawn
    boxes of other sizes around the same body."""
    frames = []
    for k in range(count):
        image = Image.new("RGB", (side, side))
        draw = ImageDraw.Draw(image)
        draw.rectangle((40, 40, 52, 80), fill=(200, 150, 90))
        angle = math.pi * k / (count - 1)
        draw.line((46, 50, 46 + 40 * math.cos(angle), 50 - 40 * math.sin(angle)), fill=(180, 190, 255), width=3)
        draw.point((46 + 5 * k % 7, 78), fill=(255, 0, 0))
        frames.append(image)
    return frames
