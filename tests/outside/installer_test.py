#!/usr/bin/python3
"""Installs Kestrane silently into a fresh Wine prefix, uses both programs,
uninstalls it, and checks that nothing of ours is left while another maker's
filter survives. Also checks the portable zip's contents.
Usage: installer_test.py WINE_RUN WORK SETUP ZIP DRIVER VERSION"""
import subprocess
import sys
import time
import zipfile
from pathlib import Path

import harness

INSTALL_DIR = r"C:\Program Files (x86)\Kestrane"
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kestrane"
OTHER_KEY = harness.FILTER_ROOT + r"\Other Maker TIFF"
SHIPPED = ["kestrane.exe", "kestrane-cli.exe", "kestrane-import.flt", "user-guide.txt"]


def check(condition, what):
    print(("ok:   " if condition else "FAIL: ") + what, flush=True)
    if not condition:
        raise AssertionError(what)


def ours(prefix, view="32"):
    return [v for v in (prefix.query(harness.FILTER_ROOT, view) or {}).values()
            if v.get("Path", "").startswith(INSTALL_DIR)]


def scenario(prefix, work, setup, zip_path, driver, version):
    names = set(zipfile.ZipFile(zip_path).namelist())
    check({f"kestrane-{version}/{name}" for name in SHIPPED} <= names, "the portable zip holds " + ", ".join(SHIPPED))

    prefix.add_filter("Other Maker TIFF", "TIF,TIFF", r"C:\Other\tiff.flt")
    other = prefix.query(OTHER_KEY)
    check(prefix.run(harness.windows_path(setup), "/S").returncode == 0, "silent install exits 0")
    install = prefix.unix(INSTALL_DIR)
    check(all((install / name).is_file() for name in SHIPPED + ["uninstall.exe"]),
          "the files are in the 32-bit Program Files")
    menu = prefix.unix(r"C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Kestrane")
    check((menu / "Kestrane.lnk").is_file(), "a Start menu shortcut exists")
    registered = ours(prefix)
    check(len(registered) == 1 and registered[0].get("Path") == INSTALL_DIR + r"\kestrane-import.flt"
          and "PNG" in registered[0].get("Extensions", ""), f"our filter is registered: {registered}")
    check(not ours(prefix, "64"), "in the 32-bit registry view only")
    values = next(iter((prefix.query(UNINSTALL_KEY) or {}).values()), {})
    check(values.get("DisplayName") == "Kestrane" and values.get("DisplayVersion") == version
          and values.get("Publisher") and values.get("InstallLocation") == INSTALL_DIR
          and values.get("QuietUninstallString", "").endswith("/S"),
          "the Add/Remove Programs entry has name, version, publisher and uninstall command")

    program = subprocess.Popen([prefix.wine_run, "--prefix", str(prefix.path), INSTALL_DIR + r"\kestrane.exe"])
    steps = [prefix.run(driver, *step).returncode for step in (("box", "warning"), ("status",), ("press", "2"))]
    check(steps == [0, 0, 0] and program.wait(60) == 0, "kestrane.exe starts with the warning and its dialog")
    images = [work / "frame0.png", work / "frame1.gif", work / "frame2.jpg"]
    picture = harness.noise_image(5, 3, 7)  # odd width: padded rows
    picture.save(images[0])
    picture.save(images[1])
    picture.save(images[2], quality=100, subsampling=0)
    result = prefix.run(INSTALL_DIR + r"\kestrane-cli.exe", harness.windows_path(work / "out.shp"),
                        *map(harness.windows_path, images))
    check(result.returncode == 0, "the installed command line converts PNG, GIF and JPEG " + result.stderr)
    _, _, frames = harness.read_shp(work / "out.shp")
    check(frames[0] == harness.frame_of(images[0]) and len(frames) == 3, "with the PNG's pixels in frame 0")

    prefix.run(INSTALL_DIR + r"\uninstall.exe", "/S")
    deadline = time.monotonic() + 120  # it runs from a copy in %TEMP% and returns at once
    while install.exists() and time.monotonic() < deadline:
        time.sleep(0.5)
    check(not install.exists() and not menu.exists(), "uninstalling removes the folder and the Start menu entry")
    left = [p for p in (prefix.path / "drive_c").rglob("*") if "kestrane" in p.name.lower()]
    check(not left and not ours(prefix) and prefix.query(UNINSTALL_KEY) is None,
          f"nothing of ours is left: {left}")
    check(prefix.query(OTHER_KEY) == other, "the other maker's filter is untouched")


def main(wine_run, work, setup, zip_path, driver, version):
    work = Path(work)
    work.mkdir(parents=True, exist_ok=True)
    prefix = harness.Prefix(wine_run, work / "wineprefix")
    prefix.remove()
    display = harness.start_display()
    try:
        scenario(prefix, work, setup, zip_path, driver, version)
    finally:
        prefix.stop()  # Wine first: it must not outlive its display
        if display:
            display.terminate()
    prefix.remove()
    return 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
