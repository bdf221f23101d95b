#!/usr/bin/python3
"""kestrane-cli.exe end to end under Wine, decoding real PNG, GIF and JPEG
files through our import filter registered in the build tree's prefix.

Usage: cli_end_to_end.py --wine-run TOOL --prefix DIR --cli EXE --filter FLT
                         --decoder EXE
"""
import argparse
import functools
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

from PIL import Image, ImageDraw

FILTER_KEY = (r"HKLM\Software\Microsoft\Shared Tools\Graphics Filters\Import"
              r"\Kestrane PNG GIF JPEG")
ARGS = None


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def wine(*args, cwd=None):
    # Wine builds the Windows command line from the arguments in the Unix
    # locale's character set: only a UTF-8 locale passes any name through.
    command = [ARGS.wine_run, "--prefix", ARGS.prefix] + [str(a) for a in args]
    return subprocess.run(command, cwd=cwd, capture_output=True, encoding="utf-8", timeout=300,
                          env=dict(os.environ, LC_ALL="C.UTF-8"))


def rgb565(r, g, b):
    return ((r & 0xF8) << 8) | ((g & 0xFC) << 3) | (b >> 3)


def over_black(rgba):
    r, g, b, a = rgba
    return tuple((c * a + 127) // 255 for c in (r, g, b))


def expected_pixels(path):
    """R, G, B rows, top row first, as the filter should deliver them."""
    with Image.open(path) as image:
        image = image.convert("RGBA")
        width, height = image.size
        data = [over_black(p) for p in image.getdata()]
    return width, height, data


@functools.lru_cache(maxsize=None)
def decoder_pixels(path, work):
    """The imaging component's own decode of a file (for JPEG)."""
    raw = os.path.join(work, os.path.basename(path) + ".raw")
    result = wine(ARGS.decoder, os.path.basename(path), os.path.basename(raw), cwd=work)
    if result.returncode != 0:
        raise AssertionError("wic_decode failed on %s: %s" % (path, result.stderr))
    with open(raw, "rb") as f:
        bytes_ = f.read()
    width, height = struct.unpack_from("<II", bytes_)
    rgb = bytes_[8:]
    return width, height, [tuple(rgb[i:i + 3]) for i in range(0, len(rgb), 3)]


def read_shp(path):
    with open(path, "rb") as f:
        data = f.read()
    zero, width, height, count = struct.unpack_from("<4H", data)
    frames = []
    for i in range(count):
        x, y, w, h, flags, _, _, offset = struct.unpack_from("<4HB3xIII", data, 8 + 24 * i)
        assert (x, y, w, h, flags) == (0, 0, width, height, 8), "frame record %d" % i
        frames.append(list(struct.unpack_from("<%dH" % (width * height), data, offset)))
    assert zero == 0
    assert len(data) == 8 + count * (24 + 2 * width * height), "file size"
    return width, height, frames


# Test images: realistic content at small, odd sizes.

def gradient_noise(width, height, seed):
    image = Image.new("RGB", (width, height))
    state = seed
    pixels = []
    for y in range(height):
        for x in range(width):
            state = (state * 1103515245 + 12345) & 0x7FFFFFFF
            noise = state >> 27
            pixels.append(((x * 255 // max(width - 1, 1) + noise) & 255,
                           (y * 255 // max(height - 1, 1) + 3 * noise) & 255,
                           (x * y * 37 + seed) & 255))
    image.putdata(pixels)
    draw = ImageDraw.Draw(image)
    draw.ellipse((1, 1, width - 2, height - 2), outline=(250, 250, 7))
    return image


def alpha_image(width, height):
    image = Image.new("RGBA", (width, height))
    image.putdata([((x * 53) & 255, (y * 71) & 255, 200, (x * 40 + y * 90) % 256)
                   for y in range(height) for x in range(width)])
    image.putpixel((0, 0), (255, 255, 255, 0))
    image.putpixel((1, 0), (255, 255, 255, 255))
    return image


def transparent_gif(path, width, height):
    image = Image.new("P", (width, height), 0)
    palette = [255, 0, 255, 10, 200, 30, 240, 240, 240, 1, 2, 3, 128, 64, 32]
    image.putpalette(palette + [0] * (768 - len(palette)))
    image.putdata([(x + 2 * y) % 5 for y in range(height) for x in range(width)])
    image.save(path, transparency=0)  # the magenta index is transparent


def make_images(work):
    paths = {}

    def keep(name, save):
        path = os.path.join(work, name)
        save(path)
        paths[name] = path

    keep("noise.png", lambda p: gradient_noise(7, 5, 1).save(p))
    keep("alpha.png", lambda p: alpha_image(7, 5).save(p))
    keep("grey.png", lambda p: gradient_noise(7, 5, 2).convert("L").save(p))
    keep("palette.png", lambda p: gradient_noise(7, 5, 3).convert("P").save(p))
    keep("transparent.gif", lambda p: transparent_gif(p, 7, 5))
    # 4:4:4 at quality 100, so PIL's decode is close to the imaging component's.
    keep("photo.jpg", lambda p: gradient_noise(7, 5, 4).save(p, quality=100, subsampling=0))
    keep("small.gif", lambda p: transparent_gif(p, 5, 4))
    keep("small.png", lambda p: alpha_image(5, 4).save(p))
    with open(os.path.join(work, "text.png"), "w") as f:
        f.write("this is not an image\n")
    paths["text.png"] = os.path.join(work, "text.png")
    with open(paths["noise.png"], "rb") as f:
        truncated = f.read()[:60]
    paths["truncated.png"] = os.path.join(work, "truncated.png")
    with open(paths["truncated.png"], "wb") as f:
        f.write(truncated)
    paths["noframes.gif"] = os.path.join(work, "noframes.gif")
    with open(paths["noframes.gif"], "wb") as f:
        f.write(b"GIF89a\x07\x00\x05\x00\x00\x00\x00\x3b")
    return paths


def registered_values():
    result = wine("reg", "query", FILTER_KEY, "/reg:32")
    if result.returncode != 0:
        return None
    values = {}
    for line in result.stdout.splitlines():
        parts = line.strip().split(None, 2)
        if len(parts) == 3 and parts[1] == "REG_SZ":
            values[parts[0]] = parts[2]
    return values


class CliEndToEnd(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.temp = tempfile.TemporaryDirectory(prefix="kestrane-cli-")
        cls.work = cls.temp.name
        cls.images = make_images(cls.work)
        # A registration made outside the tests is put back afterwards.
        cls.previous = registered_values()
        result = wine("regsvr32", "/s", windows_path(ARGS.filter))
        if result.returncode != 0:
            raise AssertionError("regsvr32 failed: %s" % result.stderr)

    @classmethod
    def tearDownClass(cls):
        wine("regsvr32", "/u", "/s", windows_path(ARGS.filter))
        if cls.previous:
            for name, value in cls.previous.items():
                wine("reg", "add", FILTER_KEY, "/v", name, "/t", "REG_SZ", "/d", value, "/f", "/reg:32")
        cls.temp.cleanup()

    def run_cli(self, *names):
        return wine(ARGS.cli, *names, cwd=self.work)

    def check_frames(self, output, names, reference):
        width, height, frames = read_shp(os.path.join(self.work, output))
        self.assertEqual(len(frames), len(names))
        for index, name in enumerate(names):
            w, h, rgb = reference(self.images[name])
            self.assertEqual((width, height), (w, h), name)
            expected = [rgb565(*p) for p in rgb]
            mismatches = [(i % w, i // w) for i, (a, b) in enumerate(zip(frames[index], expected)) if a != b]
            self.assertEqual(mismatches, [], "frame %d (%s): pixels (x, y) differ" % (index, name))

    def test_frames_follow_argument_order_pixel_exact(self):
        names = ["alpha.png", "transparent.gif", "noise.png", "grey.png", "palette.png", "alpha.png"]
        result = self.run_cli("frames.shp", *names)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout.splitlines(), ["Successfully finished"])
        self.assertEqual(result.stderr, "")
        self.check_frames("frames.shp", names, expected_pixels)

    def test_odd_width_five(self):
        names = ["small.gif", "small.png"]
        result = self.run_cli("small.shp", *names)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.check_frames("small.shp", names, expected_pixels)

    def test_jpeg_matches_the_decoders_own_output(self):
        # Exact against the imaging component's own RGB; PIL's decode of the
        # same 4:4:4 file only confirms it is the right picture.
        names = ["photo.jpg", "noise.png"]
        result = self.run_cli("photo.shp", *names)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.check_frames("photo.shp", names, lambda p: decoder_pixels(p, self.work)
                          if p.endswith(".jpg") else expected_pixels(p))
        _, _, wic = decoder_pixels(self.images["photo.jpg"], self.work)
        _, _, pil = expected_pixels(self.images["photo.jpg"])
        worst = max(abs(a - b) for p, q in zip(wic, pil) for a, b in zip(p, q))
        self.assertLessEqual(worst, 4, "the imaging component and PIL disagree on the JPEG")

    def test_unreadable_image_fails_and_keeps_the_old_output(self):
        for bad in ["text.png", "truncated.png", "noframes.gif", "missing.png"]:
            with self.subTest(bad=bad):
                output = os.path.join(self.work, "kept.shp")
                with open(output, "wb") as f:
                    f.write(b"previous contents")
                result = self.run_cli("kept.shp", "noise.png", bad)
                self.assertEqual(result.returncode, 1)
                self.assertEqual(result.stdout, "")
                lines = result.stderr.splitlines()
                self.assertEqual(len(lines), 1, result.stderr)
                self.assertTrue(lines[0].startswith("Can't read image file: "), lines[0])
                self.assertTrue(lines[0].endswith("\\" + bad), lines[0])
                with open(output, "rb") as f:
                    self.assertEqual(f.read(), b"previous contents")

    def test_size_mismatch_names_the_image(self):
        result = self.run_cli("mismatch.shp", "noise.png", "alpha.png", "small.png")
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stderr.splitlines(),
                         ["Error: All images must be the same size.", "Image 2 have another size."])
        self.assertFalse(os.path.exists(os.path.join(self.work, "mismatch.shp")))

    def test_bad_usage(self):
        for args in [(), ("only.shp",), ("noise.png", "alpha.png"), ("--info",), ("--bogus", "x.shp")]:
            with self.subTest(args=args):
                with open(self.images["noise.png"], "rb") as f:
                    before = f.read()
                result = self.run_cli(*args)
                self.assertEqual(result.returncode, 2)
                self.assertIn("Usage: kestrane-cli OUTPUT.shp IMAGE...", result.stderr)
                with open(self.images["noise.png"], "rb") as f:
                    self.assertEqual(f.read(), before)

    def read_work(self, name):
        with open(os.path.join(self.work, name), "rb") as f:
            return f.read()

    def test_wildcards_expand_in_the_lists_name_order(self):
        os.makedirs(os.path.join(self.work, "set", "dir.png"), exist_ok=True)
        # Case and hyphens weigh less than letters. The file system also matches
        # *.png against the 8.3 name it gives b.png_old, which ends in .PNG.
        for name, image in [("B.png", "noise.png"), ("a-c.png", "palette.png"), ("ab.png", "grey.png"),
                            ("A.png", "alpha.png"), ("b.png_old", "noise.png")]:
            shutil.copy(self.images[image], os.path.join(self.work, "set", name))
        self.assertEqual(self.run_cli("w.shp", "alpha.png", "set\\*.png", "set/a?c.png").returncode, 0)
        listed = ["set\\A.png", "set\\ab.png", "set\\a-c.png", "set\\B.png", "set\\a-c.png"]
        self.assertEqual(self.run_cli("e.shp", "alpha.png", *listed).returncode, 0)
        self.assertEqual(self.read_work("w.shp"), self.read_work("e.shp"))
        for pattern, message in [("set\\*.gif", r"^Error: No file matches set\\\*\.gif\n$"),
                                 ("s?t\\A.png", r"^Can't read image file: Z:.*\\s\?t\\A\.png\n$")]:
            result = self.run_cli("none.shp", pattern)
            self.assertEqual(result.returncode, 1)
            self.assertRegex(result.stderr, message)
            self.assertFalse(os.path.exists(os.path.join(self.work, "none.shp")))

    def test_info_shows_the_layout_or_the_first_fault(self):
        self.assertEqual(self.run_cli("info.shp", "noise.png", "alpha.png").returncode, 0)
        result = self.run_cli("--info", "info.shp")
        self.assertEqual((result.returncode, result.stdout.splitlines()), (0, [
            "Width: 7", "Height: 5", "Frames: 2", "Frame 0: offset 56", "Frame 1: offset 126"]))
        os.truncate(os.path.join(self.work, "info.shp"), 100)
        result = self.run_cli("--info", "info.shp")
        self.assertEqual((result.returncode, result.stdout, result.stderr), (1, "", "Error: info.shp is not "
                         "a valid SHP16 file: frame 1: offset 126 past the end of the file (100 bytes)\n"))

    def test_extracted_frames_convert_back_to_the_same_file(self):
        result = self.run_cli("trip.shp", "photo.jpg", "transparent.gif", "alpha.png")
        self.assertEqual(result.returncode, 0, result.stderr)
        result = self.run_cli("--extract", "trip.shp", "trip\\frames")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(sorted(os.listdir(os.path.join(self.work, "trip", "frames"))),
                         ["frame0000.png", "frame0001.png", "frame0002.png"])
        self.assertEqual(self.run_cli("again.shp", "trip\\frames\\*.png").returncode, 0)
        self.assertEqual(self.read_work("again.shp"), self.read_work("trip.shp"))

    def test_names_in_any_script_pass_whole_or_are_refused(self):
        deep = os.path.join("кадры", "漢" * 60, "字" * 60)  # under 260 characters, over 260 bytes
        os.makedirs(os.path.join(self.work, deep))
        shutil.copy(self.images["noise.png"], os.path.join(self.work, "кадры", "漢字.png"))
        shutil.copy(self.images["noise.png"], os.path.join(self.work, deep, "a.png"))
        self.assertEqual(self.run_cli("кадры\\выход.shp", "кадры\\*.png").returncode, 0)
        self.assertEqual(self.run_cli("plain.shp", "noise.png").returncode, 0)
        self.assertEqual(self.read_work("кадры/выход.shp"), self.read_work("plain.shp"))
        result = self.run_cli("--extract", "кадры\\выход.shp", "кадры\\漢字")
        self.assertRegex(result.stdout, r"^Frames written to Z:.*\\кадры\\漢字: frame0000\.png to frame0000")
        for args, message in [
                (("out.shp", deep + "/a.png"), "Can't read image file: " + deep + "/a.png"),
                ((deep + "/o.shp", "noise.png"), "Error: Can't create output file!\nCheck file name!"),
                (("--extract", "кадры\\выход.shp", deep), "Error: The path is too long: " + deep)]:
            result = self.run_cli(*args)
            self.assertEqual((result.returncode, result.stderr), (1, message + "\n"))


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    for option in ("--wine-run", "--prefix", "--cli", "--filter", "--decoder"):
        parser.add_argument(option, required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
