"""kestrane-cli.exe from outside: real PNG, GIF and JPEG files decoded by
the installed filter, every pixel compared; wildcards, --info, --extract and
names in any script, --split, --canvas; workers, --batch, @FILE and --json.
The scenario sets PREFIX and CLI first."""
import json
import os
import random
import re
import shutil
import subprocess
import tempfile
import unittest
from pathlib import Path

from PIL import Image

import harness

PREFIX = CLI = None  # the prefix, the program


class CommandLine(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.temp = tempfile.TemporaryDirectory(prefix="kestrane-cli-")
        cls.work = w = Path(cls.temp.name)
        harness.noise_image(7, 5, 1).save(w / "noise.png")  # 7 pixels: padded rows
        harness.alpha_image(7, 5).save(w / "alpha.png")
        harness.noise_image(7, 5, 2).convert("L").save(w / "grey.png")
        harness.noise_image(7, 5, 3).convert("P").save(w / "palette.png")
        harness.save_transparent_gif(w / "transparent.gif", 7, 5)
        harness.noise_image(7, 5, 4).save(w / "photo.jpg", quality=100, subsampling=0)
        (w / "truncated.png").write_bytes((w / "noise.png").read_bytes()[:60])
        (w / "noframes.gif").write_bytes(b"GIF89a\x07\x00\x05\x00\x00\x00\x00\x3b")
        # Its second frame has no colour table at all: the imaging component faults on it under Wine.
        harness.save_gif(w / "nocolours.gif", 2, 2, [(0, 0, 2, 2, 1, [1, 2, 3, 4])] * 2, local=[True, False])
        harness.noise_image(256, 257, 5).save(w / "big.png")  # 65792 cells of 1 x 1

    @classmethod
    def tearDownClass(cls):
        cls.temp.cleanup()

    def cli(self, *args):
        return PREFIX.run(CLI, *args, cwd=self.work)

    def bytes_of(self, name):
        return (self.work / name).read_bytes()

    def test_frames_follow_the_arguments_pixel_for_pixel(self):
        names = ["alpha.png", "transparent.gif", "noise.png", "grey.png", "palette.png", "alpha.png"]
        (self.work / "linked.shp").write_bytes(b"old bytes")
        os.symlink("linked.shp", self.work / "frames.shp")  # the file it leads to gets the frames
        result = self.cli("frames.shp", *names)
        self.assertEqual((result.returncode, result.stdout + result.stderr), (0, "Successfully finished\n"))
        expected = [harness.frame_of(self.work / name) for name in names]
        self.assertEqual(harness.read_frames(self.work / "frames.shp"), expected)
        self.assertEqual((os.readlink(self.work / "frames.shp"), list(self.work.glob("~kst*"))), ("linked.shp", []))

    def test_failures_say_why_exit_1_or_2_and_keep_the_old_file(self):
        deep = os.path.join("кадры", "漢" * 60, "字" * 60)  # under 260 characters, over 260 bytes
        (self.work / deep).mkdir(parents=True)
        shutil.copy(self.work / "noise.png", self.work / deep / "a.png")
        self.assertEqual(self.cli("valid.shp", "noise.png", "alpha.png").returncode, 0)
        shutil.copy(self.work / "valid.shp", self.work / "damaged.shp")
        os.truncate(self.work / "damaged.shp", 100)
        kept, usage = "kept.shp", r"(Error: .*\n)?Usage: kestrane-cli OUTPUT\.shp IMAGE\.\.\."
        split = ["--split", "noise.png", "none"]
        (self.work / "held" / "frame0001.png").mkdir(parents=True)  # a folder of that name holds it as well
        cases = [([kept, "noise.png", bad], 1, r"Can't read image file: Z:.*\\" + re.escape(bad) + "\n")
                 for bad in ("truncated.png", "noframes.gif", "missing.png")]
        cases += [(["--info", "valid.shp"], 0, "Width: 7\nHeight: 5\nFrames: 2\nFrame 0: offset 56\nFrame 1: offset 126\n$"),
                  ([kept, "set\\*.gif"], 1, r"Error: No file matches set\\\*\.gif\n"),
                  ([kept, "s?t\\A.png"], 1, r"Can't read image file: Z:.*\\s\?t\\A\.png\n"),  # names only
                  ([kept, deep + "/a.png"], 1, re.escape(f"Error: The path is too long: {deep}/a.png\n")),
                  ([deep + "/o.shp", "noise.png"], 1, "Error: Can't create output file!\nCheck file name!\n"),
                  (["--info", "damaged.shp"], 1,
                   r"Error: damaged.shp is not a valid SHP16 file: frame 1: offset 126 past the end of "
                   r"the file \(100 bytes\)\n"),
                  (["--extract", "valid.shp", deep], 1, re.escape(f"Error: The path is too long: {deep}\n")),
                  (["--split", "missing.png", "none"], 1, r"Can't read image file: missing\.png\n"),
                  (split, 1, r"Error: noise\.png is a single picture;"),
                  (split + ["--cell", "3x5"], 1, r"Error: Cells of 3 x 5 pixels do not divide the picture"),
                  (split + ["--cell", "7x2"], 1, r"Error: Cells of 7 x 2 pixels do not divide the picture"),
                  (["--split", "big.png", "none", "--cell", "1x1"], 1, re.escape("Error: SHP files hold at most")),
                  (["--split", "nocolours.gif", "new\\deep\\none"], 1, r"Can't read image file: nocolours\.gif\n$"),
                  (split + ["--cell", "7x6"], 1, r"Error: Cells of 7 x 6 pixels are larger than the picture"),
                  (split + ["--cell", "0x5"], 1, r"Error: Cells of 0 x 5 pixels are empty"),
                  (split[:2] + ["held", "--cell", "1x1"], 1, r"Error: Z:.*\\held already holds frame files"),
                  (split + ["--cell", "7by5"], 2, usage), (split[:2], 2, usage),
                  (["only.shp"], 2, usage), (["noise.png", "alpha.png"], 2, usage),
                  (["--info"], 2, usage), (["--bogus", "x.shp"], 2, usage),
                  ([kept, "noise.png", "--canvas", "6x5"], 1,
                   r"Error: Z:.*\\noise\.png \(7 x 5 pixels\) is larger than the canvas of 6 x 5 pixels\.\n"),
                  ([kept, "noise.png", "--canvas", "7by5"], 2, r'Error: --canvas takes .*, not "7by5"\nUsage:'),
                  ([kept, "noise.png", "--canvas", "--anchor", "middle"], 2, r"Error: --anchor takes .*\nUsage:"),
                  ([kept, "noise.png", "--canvas", "--anchor"], 2, r"Error: --anchor needs a value.*\nUsage:"),
                  ([kept, "noise.png", "--anchor", "top"], 2, r"Error: --anchor needs --canvas\nUsage:"),
                  (split + ["--margin", "2"], 2, r"Error: --margin needs --cell\nUsage:")]
        before = self.bytes_of("noise.png")
        for args, code, message in cases:
            with self.subTest(args=args):
                (self.work / kept).write_bytes(b"previous contents")
                result = self.cli(*args)
                shown, other = (result.stdout, result.stderr) if code == 0 else (result.stderr, result.stdout)
                self.assertEqual((result.returncode, other), (code, ""))
                self.assertRegex(shown, "^" + message)
                self.assertEqual(self.bytes_of(kept), b"previous contents")
        self.assertEqual(self.bytes_of("noise.png"), before, "a forgotten output name destroys nothing")
        self.assertFalse((self.work / "none").exists() or (self.work / "new").exists(),
                         "a refused or failed split leaves no file and no folder")

    def test_images_of_different_sizes_go_on_one_canvas(self):
        harness.noise_image(3, 2, 5).save(self.work / "small.png")
        result = self.cli("--canvas", "--anchor", "bottom-right", "canvas.shp", "small.png", "noise.png")
        self.assertEqual(result.returncode, 0, result.stderr)
        placed = Image.new("RGB", (7, 5))
        with Image.open(self.work / "small.png") as small:
            placed.paste(small, (4, 3))
        expected = [harness.frame_of(placed), harness.frame_of(self.work / "noise.png")]
        self.assertEqual(harness.read_frames(self.work / "canvas.shp"), expected)

    def test_trimmed_frames_go_back_where_they_were(self):
        """Twelve frames trimmed by ImageMagick, which records their place in
        caNv, and the same with oFFs alone, as other editors write it (older
        ImageMagick's vpAg with oFFs: tests/core)."""
        originals = harness.swing_frames(12, 96)
        (self.work / "swing").mkdir()
        for k, image in enumerate(originals):
            image.save(self.work / "swing" / f"{k:02}.png")
            trimmed = self.work / "swing" / f"canvas{k:02}.png"
            subprocess.run(["/usr/bin/convert", self.work / "swing" / f"{k:02}.png", "-trim", trimmed], check=True)
            png = trimmed.read_bytes()
            at = png.index(b"caNv") - 4  # its length, type, 16 bytes and CRC replaced
            offset = harness.png_chunk(b"oFFs", png[at + 16:at + 24] + b"\0")
            (self.work / "swing" / f"offset{k:02}.png").write_bytes(png[:at] + offset + png[at + 28:])
        expected = [harness.frame_of(image) for image in originals]
        for kind in ("canvas", "offset"):
            # oFFs names no page: the smallest canvas from (0, 0) would be smaller, so it is named.
            canvas = ["--canvas", "96x96"] if kind == "offset" else ["--canvas"]
            result = self.cli(kind + ".shp", f"swing\\{kind}*.png", *canvas)
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertEqual(harness.read_frames(self.work / (kind + ".shp")), expected, kind)

    def test_sheets_cut_by_their_data_or_a_spaced_grid(self):
        originals = harness.swing_frames(5, 96)
        sheet, frames, x = Image.new("RGB", (5 * 96, 96)), {}, 0
        for k, image in enumerate(originals):  # trimmed, every other one stored turned clockwise
            box = image.getbbox()
            trimmed = image.crop(box)
            w, h = trimmed.size
            stored = trimmed.transpose(Image.Transpose.ROTATE_270) if k % 2 else trimmed
            sheet.paste(stored, (x, 0))
            frames[f"swing{k}.png"] = {"frame": {"x": x, "y": 0, "w": w, "h": h}, "rotated": bool(k % 2), "trimmed": True,
                                       "spriteSourceSize": {"x": box[0], "y": box[1], "w": w, "h": h},
                                       "sourceSize": {"w": 96, "h": 96}}
            x += stored.width
        sheet.save(self.work / "swing.png")
        (self.work / "hash.json").write_text(json.dumps({"frames": frames}))  # the array form: tests/core
        frames["swing3.png"]["frame"]["x"] = sheet.width - 1
        (self.work / "outside.json").write_text(json.dumps({"frames": frames}))
        # A grid two cells across and down, 2 pixels in, 1 apart, and the same border right and below.
        grid = harness.noise_image(2 + 4 + 1 + 4 + 2, 2 + 3 + 1 + 3 + 2, 11)
        grid.save(self.work / "grid.png")
        cells = [harness.frame_of(grid.crop((x, y, x + 4, y + 3))) for y in (2, 6) for x in (2, 7)]
        for image, args, expected in (("swing.png", ["--data", "hash.json"], [harness.frame_of(i) for i in originals]),
                                      ("grid.png", ["--cell", "4x3", "--margin", "2", "--spacing", "1"], cells)):
            self.assertEqual(self.cli("--split", image, image + "-cut", *args).returncode, 0)
            self.assertEqual(self.cli(image + ".shp", image + "-cut\\*.png").returncode, 0)
            self.assertEqual(harness.read_frames(self.work / (image + ".shp")), expected, image)
        for args, message in ((["swing.png", "--data", "outside.json"], r"Error: Frame swing3\.png \(\d+ x \d+ pixels at "),
                              (["grid.png", "--cell", "4x3", "--margin", "1", "--spacing", "1"], r"Error: Cells of 4 x 3")):
            result = self.cli("--split", args[0], "refused", *args[1:])
            self.assertEqual(result.returncode, 1, args)
            self.assertRegex(result.stdout + result.stderr, "^" + message)
            self.assertFalse((self.work / "refused").exists(), "nothing written")

    def test_wildcards_expand_in_the_lists_name_order(self):
        (self.work / "set" / "dir.png").mkdir(parents=True, exist_ok=True)
        # Case and hyphens weigh less than letters. The file system also
        # matches *.png against the 8.3 name it gives b.png_old.
        for name, image in [("B.png", "noise.png"), ("a-c.png", "palette.png"), ("ab.png", "grey.png"),
                            ("A.png", "alpha.png"), ("b.png_old", "noise.png")]:
            shutil.copy(self.work / image, self.work / "set" / name)
        self.assertEqual(self.cli("w.shp", "alpha.png", "set\\*.png", "set/a?c.png").returncode, 0)
        listed = ["set\\A.png", "set\\ab.png", "set\\a-c.png", "set\\B.png", "set\\a-c.png"]
        self.assertEqual(self.cli("e.shp", "alpha.png", *listed).returncode, 0)
        self.assertEqual(self.bytes_of("w.shp"), self.bytes_of("e.shp"))

    def test_extracted_frames_convert_back_to_the_same_file_in_any_script(self):
        self.assertEqual(self.cli("trip.shp", "photo.jpg", "transparent.gif", "alpha.png").returncode, 0)
        (self.work / "кадры" / "漢字").mkdir(parents=True)
        (self.work / "кадры" / "漢字" / "notes.txt").write_text("mine")  # other files are left alone
        result = self.cli("--extract", "trip.shp", "кадры\\漢字")
        self.assertRegex(result.stdout, r"^Frames written to Z:.*\\кадры\\漢字: frame0000\.png to frame0002\.png")
        self.assertEqual(self.cli("кадры\\выход.shp", "кадры\\漢字\\*.png").returncode, 0)
        self.assertEqual(self.bytes_of("кадры/выход.shp"), self.bytes_of("trip.shp"))
        self.assertEqual((self.work / "кадры" / "漢字" / "notes.txt").read_text(), "mine")

    def test_sheets_and_gifs_split_into_frames_that_convert_as_they_show(self):
        sheet = harness.noise_image(12, 6, 8).convert("RGBA")
        sheet.paste(harness.alpha_image(4, 3), (4, 3))  # one cell keeps alpha, the others need none
        sheet.save(self.work / "sheet.png")
        # Each disposal at an offset, a quarter transparent; 0 first only: Pillow 9.4 carries the last over 0.
        rng, places = random.Random(9), [(1, 1, 4, 3, 0), (0, 0, 3, 2, 2), (2, 1, 3, 3, 3), (0, 0, 6, 4, 1)]
        harness.save_gif(self.work / "anim.gif", 6, 4,
                         [p + ([rng.randrange(4) for _ in range(p[2] * p[3])],) for p in places])
        with Image.open(self.work / "anim.gif") as gif:  # disposal 2 to transparent, as in browsers
            shown = [harness.frame_of(gif.seek(i) or gif.convert("RGBA")) for i in range(gif.n_frames)]
        cells = [harness.frame_of(sheet.crop((x, y, x + 4, y + 3))) for y in (0, 3) for x in (0, 4, 8)]
        # A still GIF cut into cells, and a GIF whose first frame reaches past its screen: as the filter shows them.
        harness.save_gif(self.work / "still.gif", 6, 4, [(0, 0, 6, 4, 0, [rng.randrange(1, 256) for _ in range(24)])])
        harness.save_gif(self.work / "past.gif", 3, 2, [(1, 1, 4, 3, 0, [rng.randrange(1, 256) for _ in range(12)]),
                                                        (0, 0, 2, 2, 1, [5] * 4)])
        for image in ("still.gif", "past.gif"):
            self.assertEqual(self.cli(image + "-whole.shp", image).returncode, 0)
        [still], [past] = (harness.read_frames(self.work / (n + "-whole.shp"))[:1] for n in ("still.gif", "past.gif"))
        still_cells = [[still[(y + k) * 6 + x + j] for k in (0, 1) for j in (0, 1)] for y in (0, 2) for x in (0, 2, 4)]
        for image, cell, frames in (("sheet.png", ["--cell", "4x3"], cells), ("anim.gif", [], shown),
                                    ("still.gif", ["--cell", "2x2"], still_cells), ("past.gif", [], [past])):
            self.assertEqual(self.cli("--split", image, image + "-frames", *cell).returncode, 0)
            self.assertEqual(self.cli(image + ".shp", image + "-frames\\*.png").returncode, 0)
            split = harness.read_frames(self.work / (image + ".shp"))
            self.assertEqual(split[:1] if image == "past.gif" else split, frames, image)

    def test_workers_batch_lists_and_json(self):
        mixed = ["photo.jpg", "transparent.gif", "noise.png", "palette.png", "alpha.png", "photo.jpg"]
        for workers in ("1", "3"):
            self.assertEqual(self.cli("-j", workers, "j" + workers + ".shp", *mixed).returncode, 0)
        self.assertEqual(self.bytes_of("j1.shp"), self.bytes_of("j3.shp"), "the same bytes from any number of workers")
        # Images of over 1 MB come back through the pipe rather than the workers' slots.
        big = [f"big{i}.png" for i in range(3)]
        for i, name in enumerate(big):
            harness.noise_image(700, 500, 10 + i).save(self.work / name)
        self.assertEqual(self.cli("-j", "2", "big.shp", *big).returncode, 0)
        self.assertEqual(harness.read_frames(self.work / "big.shp"), [harness.frame_of(self.work / n) for n in big])
        # A list: BOM, CRLF, a comment, blank lines, paths from the list's folder.
        (self.work / "lists").mkdir()
        (self.work / "lists" / "walk.txt").write_bytes(
            "\ufeff# walk\r\n\r\n../noise.png\r\n   \r\n..\\alpha.png\r\n#../grey.png\r\n".encode())
        self.assertEqual(self.cli("listed.shp", "@lists/walk.txt").returncode, 0)
        self.assertEqual(harness.read_frames(self.work / "listed.shp"),
                         [harness.frame_of(self.work / n) for n in ("noise.png", "alpha.png")])
        # Folders in name order: one good, one failing, one without images, one named in another script.
        for folder, names in (("walk", ["noise.png", "grey.png"]), ("run", ["noise.png", "photo.jpg", "truncated.png"]),
                              ("notes", []), ("прыжок 1", ["transparent.gif"])):
            (self.work / "units" / folder).mkdir(parents=True)
            for i, name in enumerate(names):
                shutil.copy(self.work / name, self.work / "units" / folder / f"{i}{Path(name).suffix}")
        (self.work / "units" / "notes" / "read.txt").write_text("not an image")
        result = self.cli("--batch", "units", "shp", "--json")
        summary = json.loads(result.stdout)
        out = harness.windows_path(self.work / "shp") + "\\"
        self.assertEqual(result.returncode, 1)
        self.assertEqual([(o["path"], o["ok"], o["frames"]) for o in summary["outputs"]],
                         [(out + "run.shp", False, None), (out + "walk.shp", True, 2),
                          (out + "прыжок 1.shp", True, 1)])
        self.assertEqual((summary["written"], summary["failed"]), (2, 1))
        self.assertRegex(summary["outputs"][0]["error"], r"^Can't read image file: .*\\run\\2\.png$")
        self.assertEqual(summary["outputs"][1]["bytes"], (self.work / "shp" / "walk.shp").stat().st_size)
        self.assertRegex(result.stderr, r"Not written: .*run\.shp\n  Can't read image file: .*\n2 files written, 1 failed\n$")
        self.assertEqual(sorted(p.name for p in (self.work / "shp").iterdir()), ["walk.shp", "прыжок 1.shp"])

    def test_orders_sequences_and_what_is_warned(self):
        w, frames = self.work, {}
        for folder in ("seq", "pad", "units2/a", "units2/b"):
            (w / folder).mkdir(parents=True)
        for i in range(1, 13):
            image = harness.noise_image(3, 2, 20 + i)
            for name in (f"seq/f{i}.png", f"pad/f{i:02}.png", f"units2/a/f{i}.png"):
                image.save(w / name)
            frames[i] = harness.frame_of(image)
        harness.noise_image(2, 2, 40).save(w / "units2/b/f2.png")
        shutil.copy(w / "seq/f1.png", w / "units2/b/f1.png")
        harness.save_gif(w / "two.gif", 3, 2, [(0, 0, 3, 2, 1, [1, 2, 3, 4, 5, 6]), (1, 0, 2, 2, 1, [7] * 4)])
        with Image.open(w / "two.gif") as gif:  # as it shows: the second frame drawn over the first
            frames["g0"], frames["g1"] = [harness.frame_of(gif.seek(i) or gif.convert("RGBA")) for i in (0, 1)]
        text, natural, small = [1, 10, 11, 12, *range(2, 10)], list(range(1, 13)), r"Z:.*\\units2\\b\\f2\.png"
        (w / "seq.txt").write_text("".join(f"seq\\f{i}.png\n" for i in text))
        order = r"Warning: Z:.*\\seq\\f1\d\.png stands before f\d\.png: numbers in the names are in text order; " \
                r"--order natural orders them by value\n"
        refused = r"Error: All images must be the same size\.\nImage 1 have another size\.\n" + small + \
                  r" is 2 x 2 pixels; the first image is 3 x 2 pixels\.\n$"
        gif = r"Warning: Z:.*\\two\.gif is an animated GIF of 2 frames; only the first is taken \(--gif-frames: all\)\n"
        three = ["pad\\f01.png", "pad\\f02.png", "pad\\f03.png"]
        cases = [(["seq\\*.png"], 0, order, text), (["seq\\*.png", "--order", "natural"], 0, "$", natural),
                 (["pad\\*.png"], 0, "$", natural), (["@seq.txt", "--order", "natural", "--reverse"], 0, "$", natural[::-1]),
                 ([*three, "--pingpong"], 0, "$", [1, 2, 3, 2]), ([*three, "--reverse", "--pingpong"], 0, "$", [3, 2, 1, 2]),
                 (["pad\\f01.png", "two.gif"], 0, gif, None), (["seq\\f1.png", "units2\\b\\f2.png"], 1, refused, None),
                 (["two.gif", "pad\\f01.png", "--gif-frames", "-j", "1"], 0, "$", ["g0", "g1", 1]),
                 (["pad\\f01.png", "--order", "by-name"], 2, r'Error: --order takes natural or text, not "by-name"\n', None)]
        for args, code, message, expected in cases:
            with self.subTest(args=args):
                result = self.cli("o.shp", *args)
                self.assertEqual(result.returncode, code)
                self.assertRegex(result.stderr, "^" + message)
                if expected:
                    self.assertEqual(harness.read_frames(w / "o.shp"), [frames[i] for i in expected])
        # --gif-frames leaves none of its frames behind; its warning, once, is in --json.
        self.assertEqual(list(PREFIX.path.glob("drive_c/users/*/**/kst*.tmp")), [], "no frames left behind")
        summary = json.loads(self.cli("once.shp", "two.gif", "--json").stdout)
        self.assertRegex(summary["outputs"][0]["warnings"][0], gif[9:-2])
        summary = json.loads(self.cli("--batch", "units2", "batch", "--order", "natural", "--json").stdout)
        [a, b] = summary["outputs"]
        self.assertEqual((a["ok"], a["warnings"], b["ok"]), (True, [], False))
        self.assertRegex(b["error"] + "\n", refused)
        self.assertEqual(harness.read_frames(w / "batch/a.shp"), [frames[i] for i in natural])
