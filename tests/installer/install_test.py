#!/usr/bin/python3
"""Installs Kestrane silently into a fresh Wine prefix, uses it, uninstalls it
and checks that nothing of ours is left while another maker's filter survives.
Exit code 77 (skipped) when the setup program or the zip has not been built."""
import argparse
import re
import shutil
import struct
import subprocess
import sys
import time
import zipfile
from pathlib import Path

from PIL import Image

SKIPPED = 77
FILTER_ROOT = r"HKLM\Software\Microsoft\Shared Tools\Graphics Filters\Import"
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kestrane"
OTHER_KEY = FILTER_ROOT + r"\Other Maker TIFF"
INSTALL_DIR = r"C:\Program Files (x86)\Kestrane"
SHIPPED = ["kestrane.exe", "kestrane-cli.exe", "kestrane-import.flt", "user-guide.txt"]


class Failure(Exception):
    pass


def check(condition, what):
    print(("ok:   " if condition else "FAIL: ") + what, flush=True)
    if not condition:
        raise Failure(what)


class Prefix:
    def __init__(self, wine_run, path):
        self.wine_run, self.path = wine_run, Path(path)

    def run(self, *args, timeout=300):
        result = subprocess.run([self.wine_run, "--prefix", str(self.path), *args],
                                capture_output=True, text=True, errors="replace", timeout=timeout)
        return result.returncode, result.stdout

    def unix(self, windows_path):
        return self.path / "drive_c" / windows_path[3:].replace("\\", "/")

    def query(self, key, view="32"):
        """{subkey path: {value name: data}} below key, or None when key is absent."""
        code, out = self.run("reg", "query", key, "/s", "/reg:" + view)
        if code != 0:
            return None
        keys, current = {}, None
        for line in out.splitlines():
            if line.startswith("HKEY_"):
                current = keys.setdefault(line.strip().split("\\", 1)[1], {})
            elif current is not None and line.strip():
                parts = re.split(r"\s{4}", line.strip(), maxsplit=2)
                current[parts[0]] = parts[2] if len(parts) == 3 else ""
        return keys

    def stop(self):
        if not self.path.is_dir():
            return
        env = {"WINEPREFIX": str(self.path), "PATH": "/usr/bin:/bin"}
        subprocess.run(["wineserver", "-k"], env=env, capture_output=True)
        subprocess.run(["wineserver", "-w"], env=env, capture_output=True, timeout=60)


def windows_path(path):
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def rgb565(r, g, b):
    return ((r & 0xF8) << 8) | ((g & 0xFC) << 3) | (b >> 3)


def write_images(folder):
    """Three 5 x 3 frames (odd width: padded rows) as PNG, GIF and JPEG."""
    colours = [(255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 255), (0, 0, 0)]
    frames = []
    for shift in range(3):
        image = Image.new("RGB", (5, 3))
        for y in range(3):
            for x in range(5):
                image.putpixel((x, y), colours[(x + y + shift) % len(colours)])
        frames.append(image)
    paths = [folder / "frame0.png", folder / "frame1.gif", folder / "frame2.jpg"]
    frames[0].save(paths[0])
    frames[1].save(paths[1])
    solid = Image.new("RGB", (5, 3), (200, 100, 50))  # JPEG keeps flat colour nearly exact
    solid.save(paths[2], quality=100, subsampling=0)
    return paths, [frames[0], frames[1], solid]


def check_cli(prefix, work):
    folder = work / "cli"
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    paths, expected = write_images(folder)
    cli = INSTALL_DIR + r"\kestrane-cli.exe"
    output = folder / "out.shp"
    code, out = prefix.run(cli, windows_path(output), *map(windows_path, paths))
    check(code == 0, f"installed kestrane-cli converts PNG, GIF and JPEG (exit {code}: {out.strip()})")
    data = output.read_bytes()
    w, h, n = 5, 3, 3
    check(len(data) == 8 + n * (24 + 2 * w * h), f"output holds {n} frames of {w} x {h}")
    for i, image in enumerate(expected):
        start = 8 + 24 * n + i * 2 * w * h
        got = struct.unpack_from(f"<{w * h}H", data, start)
        want = [rgb565(*image.getpixel((x, y))) for y in range(h) for x in range(w)]
        if i < 2:
            check(list(got) == want, f"frame {i} pixels are the source's, in argument order")
        else:
            close = all(abs((g >> 11) - (v >> 11)) <= 1 and abs(((g >> 5) & 63) - ((v >> 5) & 63)) <= 2
                        and abs((g & 31) - (v & 31)) <= 1 for g, v in zip(got, want))
            check(close, "JPEG frame pixels match the source's colour")

    before = output.read_bytes()
    wider = folder / "wider.png"
    Image.new("RGB", (6, 3)).save(wider)
    code, _ = prefix.run(cli, windows_path(output), windows_path(paths[0]), windows_path(wider))
    check(code == 1 and output.read_bytes() == before, "a size mismatch exits 1 and keeps the old output")
    code, _ = prefix.run(cli, windows_path(output))
    check(code == 2, "a missing image argument exits 2")


def check_zip(zip_path, version):
    names = set(zipfile.ZipFile(zip_path).namelist())
    folder = f"kestrane-{version}/"
    check(all(folder + name in names for name in SHIPPED), f"portable zip holds {', '.join(SHIPPED)}")
    guide = zipfile.ZipFile(zip_path).read(folder + "user-guide.txt")
    check(b"regsvr32 /u kestrane-import.flt" in guide, "the zip's guide says how to remove the filter")


def ours(keys, filter_key):
    return {k: v for k, v in (keys or {}).items()
            if k.lower().endswith("\\" + filter_key.lower()) or
            v.get("Path", "").lower().startswith(INSTALL_DIR.lower())}


def main():
    parser = argparse.ArgumentParser()
    for option in ("wine-run", "setup", "zip", "probe", "work", "filter-header", "version"):
        parser.add_argument("--" + option, default="")
    args = parser.parse_args()
    setup, zip_path = Path(args.setup or "/nonexistent"), Path(args.zip or "/nonexistent")
    if not setup.is_file() or not zip_path.is_file():
        print(f"SKIPPED: not built: {setup if not setup.is_file() else zip_path}")
        return SKIPPED
    filter_key = re.search(r'#define WIC_FILTER_KEY_NAME "([^"]+)"',
                           Path(args.filter_header).read_text()).group(1)
    work = Path(args.work)
    prefix = Prefix(args.wine_run, work / "wineprefix")
    prefix.stop()
    shutil.rmtree(prefix.path, ignore_errors=True)
    try:
        check_zip(zip_path, args.version)

        started = time.monotonic()
        prefix.run("cmd", "/c", "exit")
        print(f"fresh prefix in {time.monotonic() - started:.1f} s")
        code, _ = prefix.run("reg", "add", OTHER_KEY, "/v", "Extensions", "/d", "TIF,TIFF", "/reg:32", "/f")
        prefix.run("reg", "add", OTHER_KEY, "/v", "Path", "/d", r"C:\Other\tiff.flt", "/reg:32", "/f")
        other_before = prefix.query(OTHER_KEY)
        check(code == 0 and other_before, "another maker's filter is registered")

        code, _ = prefix.run(windows_path(setup), "/S")
        check(code == 0, f"silent install exits 0 (got {code})")
        install = prefix.unix(INSTALL_DIR)
        check(all((install / name).is_file() for name in SHIPPED + ["uninstall.exe"]),
              "program files are in the 32-bit Program Files")
        menu = prefix.unix(r"C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Kestrane")
        check((menu / "Kestrane.lnk").is_file(), "Start menu shortcut exists")

        registered = ours(prefix.query(FILTER_ROOT), filter_key)
        entry = next(iter(registered.values()), {})
        check(len(registered) == 1 and
              entry.get("Path", "").lower() == (INSTALL_DIR + r"\kestrane-import.flt").lower() and
              "PNG" in entry.get("Extensions", "").upper(),
              f"our filter is registered in the 32-bit view: {registered}")
        check(not ours(prefix.query(FILTER_ROOT, "64"), filter_key), "and not in the 64-bit view")
        uninstall = prefix.query(UNINSTALL_KEY) or {}
        values = next(iter(uninstall.values()), {})
        check(values.get("DisplayName") == "Kestrane" and values.get("DisplayVersion") == args.version
              and values.get("Publisher") and values.get("InstallLocation", "").lower() == INSTALL_DIR.lower()
              and values.get("QuietUninstallString", "").endswith("/S"),
              "Add/Remove Programs entry has name, version, publisher and uninstall command")

        code, out = prefix.run(args.probe, INSTALL_DIR + r"\kestrane.exe")
        print(out, end="")
        check(code == 0, "kestrane.exe starts with its dialog, not the no-filter error")

        check_cli(prefix, work)

        prefix.run(INSTALL_DIR + r"\uninstall.exe", "/S")
        # The uninstaller runs from a copy in %TEMP% and returns at once.
        deadline = time.monotonic() + 120
        while install.exists() and time.monotonic() < deadline:
            time.sleep(0.5)
        check(not install.exists(), "silent uninstall removes the install folder")
        check(not menu.exists(), "and the Start menu folder")
        leftovers = [p for p in (prefix.path / "drive_c").rglob("*") if "kestrane" in p.name.lower()]
        check(not leftovers, f"no file of ours is left: {leftovers}")
        check(not ours(prefix.query(FILTER_ROOT), filter_key), "our filter's registry key is gone")
        check(prefix.query(UNINSTALL_KEY) is None, "the Add/Remove Programs entry is gone")
        check(prefix.query(OTHER_KEY) == other_before, "the other maker's filter is untouched")
    except (Failure, subprocess.TimeoutExpired) as error:
        print(f"installer test failed: {error}; prefix kept at {prefix.path}")
        return 1
    prefix.stop()
    shutil.rmtree(prefix.path, ignore_errors=True)
    print("installer test passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
