#!/usr/bin/python3
"""Kestrane as a user meets it, in a fresh Wine prefix: without filters the
program refuses to start; the setup program installs it; a session in the
dialog and the command line's table run against the installed programs; the
uninstaller leaves nothing of ours and another maker's filter untouched.
Usage: outside_test.py WINE_RUN BUILD_DIR SETUP ZIP DRIVER VERSION PLANTED_DLL"""
import shutil
import sys
import time
import unittest
import zipfile
from pathlib import Path

import command_line
import dialog
import harness

INSTALL_DIR = r"C:\Program Files (x86)\Kestrane"
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kestrane"
OTHER_KEY = harness.FILTER_ROOT + r"\Other Maker TIFF"
SHIPPED = ["kestrane.exe", "kestrane-cli.exe", "kestrane-import.flt", "user-guide.txt"]
# What the file dialogs, themes and the imaging component load by name. (Wine's own
# start-up loads version, shcore, imm32 and oleaut32 before any program code runs.)
PLANTED = ["uxtheme", "msimg32", "propsys", "dwmapi"]


def check(condition, what):
    print(("ok:   " if condition else "FAIL: ") + what, flush=True)
    if not condition:
        raise AssertionError(what)


def ours(prefix, view="32"):
    return [v for v in (prefix.query(harness.FILTER_ROOT, view) or {}).values()
            if v.get("Path", "").startswith(INSTALL_DIR)]


def planting(prefix, driver, planted, work):
    """Copies of a DLL that logs its loading, named as system DLLs, beside the installed
    programs and in their current folder, each loaded native first as Windows searches:
    the window and kestrane-cli with its workers load none of them."""
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir(parents=True)
    install, log = prefix.unix(INSTALL_DIR), work / "planted.log"
    for name in PLANTED:
        shutil.copy(planted, install / f"{name}.dll")
        shutil.copy(planted, work / f"{name}.dll")
    harness.noise_image(8, 6, 9).save(work / "a.png")
    prefix.env = {"WINEDLLOVERRIDES": "mscoree,mshtml=;" + ",".join(PLANTED) + "=n,b",
                  "KESTRANE_PLANTED_LOG": harness.windows_path(log)}
    prefix.cwd = work
    try:
        dialog.convert_one(prefix, driver, INSTALL_DIR + r"\kestrane.exe", work / "a.png", work / "window.shp")
        cli = prefix.run(INSTALL_DIR + r"\kestrane-cli.exe", "-j", "2", "cli.shp", "a.png", "a.png", "a.png",
                         cwd=work, env=prefix.env)
    finally:  # a planted DLL that was loaded may have made the programs fail: that is the diagnosis
        prefix.env, prefix.cwd = {}, None
        for name in PLANTED:
            (install / f"{name}.dll").unlink()
        loads = log.read_text("utf-16-le").splitlines() if log.exists() else []
        ours = [line for line in loads if line.split("\t")[0].lower().endswith(("\\kestrane.exe", "\\kestrane-cli.exe"))]
        check(not ours, f"no planted DLL loaded by our programs: {ours}")
    check(cli.returncode == 0 and (work / "window.shp").is_file(), "both programs convert with the DLLs planted")


def scenario(prefix, build, setup, zip_path, driver, version, planted):
    names = set(zipfile.ZipFile(zip_path).namelist())
    check({f"kestrane-{version}/{name}" for name in SHIPPED} <= names, "the portable zip holds what ships")
    program = prefix.start(harness.windows_path(build / "ui" / "kestrane.exe"))
    check(prefix.run(driver, "box", "nofilter").returncode == 0 and program.wait(60) == 0,
          "without filters kestrane.exe says so and ends with exit code 0")

    prefix.add_filter("Other Maker TIFF", "TIF,TIFF", r"C:\Other\tiff.flt")
    other = prefix.query(OTHER_KEY)
    check(prefix.run(harness.windows_path(setup), "/S").returncode == 0, "silent install exits 0")
    install = prefix.unix(INSTALL_DIR)
    menu = prefix.unix(r"C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Kestrane")
    send_to = [*prefix.path.glob("drive_c/users/*/AppData/Roaming/Microsoft/Windows/SendTo/Kestrane.lnk")]
    check(all((install / name).is_file() for name in SHIPPED + ["uninstall.exe"]) and
          (menu / "Kestrane.lnk").is_file() and len(send_to) == 1
          and b"\\Kestrane\\kestrane.exe\0" in send_to[0].read_bytes(),
          "the files in the 32-bit Program Files, a Start menu shortcut, Send To kestrane.exe")
    registered = ours(prefix)
    check(len(registered) == 1 and registered[0].get("Path") == INSTALL_DIR + r"\kestrane-import.flt"
          and "PNG" in registered[0].get("Extensions", ""), f"our filter is registered: {registered}")
    check(not ours(prefix, "64"), "in the 32-bit registry view only")
    values = next(iter((prefix.query(UNINSTALL_KEY) or {}).values()), {})
    check(values.get("DisplayVersion") == version and values.get("QuietUninstallString", "").endswith("/S"),
          "the Add/Remove Programs entry has the build's version and a quiet uninstall command")

    # Where wine32 runs under qemu-user (tools/install-deps.sh), Wine now and then loses a
    # multi-threaded process such as the file dialog's: only there is a session tried again.
    attempts = 3 if Path("/proc/sys/fs/binfmt_misc/qemu-i386").exists() else 1
    for attempt in range(1, attempts + 1):
        try:
            dialog.session(prefix, driver, INSTALL_DIR + r"\kestrane.exe", build / "tests" / "outside",
                           build / "artifacts")
            break
        except AssertionError as error:
            print(f"session {attempt} of {attempts} failed: {error}")
            prefix.stop()
            if attempt == attempts:
                raise
    command_line.PREFIX = prefix
    command_line.CLI = INSTALL_DIR + r"\kestrane-cli.exe"
    tests = unittest.defaultTestLoader.loadTestsFromTestCase(command_line.CommandLine)
    check(unittest.TextTestRunner(verbosity=2).run(tests).wasSuccessful(), "the installed kestrane-cli.exe")
    planting(prefix, driver, planted, build / "tests" / "outside" / "planted")

    prefix.run(INSTALL_DIR + r"\uninstall.exe", "/S")
    deadline = time.monotonic() + 120  # it runs from a copy in %TEMP% and returns at once
    while install.exists() and time.monotonic() < deadline:
        time.sleep(0.5)
    check(not install.exists() and not menu.exists() and not send_to[0].exists(),
          "uninstalling removes the folder, the Start menu and Send To")
    left = [p for p in (prefix.path / "drive_c").rglob("*") if "kestrane" in p.name.lower()]
    check(not left and not ours(prefix) and prefix.query(UNINSTALL_KEY) is None, f"nothing left: {left}")
    check(prefix.query(OTHER_KEY) == other, "the other maker's filter is untouched")


def main(wine_run, build, setup, zip_path, driver, version, planted):
    build = Path(build)
    prefix = harness.Prefix(wine_run, build / "tests" / "outside" / "wineprefix")
    prefix.remove()
    try:
        scenario(prefix, build, setup, zip_path, driver, version, planted)
    finally:
        prefix.remove()
    return 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
