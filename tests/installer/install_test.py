#!/usr/bin/python3
"""Installs Kestrane silently into a fresh Wine prefix, uses it, uninstalls it
and checks that nothing of ours is left while another maker's filter survives.
Exit code 77 (skipped) when the setup program or the zip has not been built."""
import argparse
import os
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

    def remove(self):
        self.stop()
        shutil.rmtree(self.path, ignore_errors=True)
        for suffix in (".xvfb", ".xvfb.lock", ".lock"):
            Path(f"{self.path}{suffix}").unlink(missing_ok=True)


def start_display():
    """An X server of the test's own when there is none, so that ending the
    test ends it too (tools/wine-run would keep one alive per prefix)."""
    if os.environ.get("DISPLAY"):
        return None
    for number in range(150, 250):
        if Path(f"/tmp/.X{number}-lock").exists():
            continue
        server = subprocess.Popen(["Xvfb", f":{number}", "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for _ in range(50):
            if server.poll() is not None:
                break
            if subprocess.run(["xdpyinfo", "-display", f":{number}"], capture_output=True).returncode == 0:
                os.environ["DISPLAY"] = f":{number}"
                return server
            time.sleep(0.1)
        server.kill()
        server.wait()
    return None


def windows_path(path):
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def rgb565(r, g, b):
    return ((r & 0xF8) << 8) | ((g & 0xFC) << 3) | (b >> 3)


def check_cli(prefix, work):
    """The installed companion converts one PNG, GIF and JPEG each; its own
    failure cases are covered by the command-line tests."""
    folder = work / "cli"
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    w, h = 5, 3  # odd width: padded source rows
    first = Image.new("RGB", (w, h))
    first.putdata([(x * 60, y * 120, 255 - x * 50) for y in range(h) for x in range(w)])
    paths = [folder / "frame0.png", folder / "frame1.gif", folder / "frame2.jpg"]
    first.save(paths[0])
    first.save(paths[1])
    Image.new("RGB", (w, h), (200, 100, 50)).save(paths[2], quality=100, subsampling=0)
    output = folder / "out.shp"
    code, out = prefix.run(INSTALL_DIR + r"\kestrane-cli.exe", windows_path(output), *map(windows_path, paths))
    check(code == 0, f"installed kestrane-cli converts PNG, GIF and JPEG (exit {code}: {out.strip()})")
    data = output.read_bytes()
    check(len(data) == 8 + 3 * (24 + 2 * w * h), "output holds 3 frames")
    frame0 = struct.unpack_from(f"<{w * h}H", data, 8 + 24 * 3)
    check(list(frame0) == [rgb565(*first.getpixel((x, y))) for y in range(h) for x in range(w)],
          "the first frame holds the PNG's pixels")


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
    for option in ("wine-run", "setup", "zip", "driver", "work", "filter-header", "version"):
        parser.add_argument("--" + option, default="")
    args = parser.parse_args()
    setup, zip_path = Path(args.setup or "/nonexistent"), Path(args.zip or "/nonexistent")
    if not setup.is_file() or not zip_path.is_file():
        missing = "setup program (is makensis installed?)" if not setup.is_file() else "portable zip"
        print(f"SKIPPED: the {missing} was not built; the installer needs kestrane, kestrane_cli "
              "and kestrane_wic_filter")
        return SKIPPED
    filter_key = re.search(r'#define WIC_FILTER_KEY_NAME "([^"]+)"',
                           Path(args.filter_header).read_text()).group(1)
    work = Path(args.work)
    prefix = Prefix(args.wine_run, work / "wineprefix")
    prefix.remove()
    display = start_display()
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

        code, out = prefix.run(args.driver, "start", INSTALL_DIR + r"\kestrane.exe")
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
    finally:
        prefix.stop()  # Wine first: it must not outlive its display
        if display:
            display.terminate()
            display.wait()
    prefix.remove()
    print("installer test passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
