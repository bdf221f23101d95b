#!/usr/bin/python3
"""kestrane.exe from outside: start-up without filters, then a whole session
through its windows with names in Cyrillic and Chinese, the frames checked
pixel for pixel. Screenshots of the dialog, its menu and a preview go to
<build>/artifacts. Usage: dialog_test.py WINE_RUN BUILD_DIR"""
import subprocess
import sys
from pathlib import Path

import harness

IDOK, IDCANCEL, IDC_BROWSE, IDC_ADD, IDC_UP, IDC_DEST = 1, 2, 1010, 1013, 1014, 1009


def main(wine_run, build):
    build = Path(build)
    prefix = harness.Prefix(wine_run, build / "wineprefix")
    work, artifacts = build / "tests" / "dialog", build / "artifacts"
    folder = work / "кадры"
    folder.mkdir(parents=True, exist_ok=True)
    artifacts.mkdir(exist_ok=True)
    kestrane = harness.windows_path(build / "ui" / "kestrane.exe")
    our_filter = harness.windows_path(build / "filters" / "wic" / "kestrane-import.flt")
    # Three pictures that tell each other apart, added in the order b, a, c.
    names = ["a 漢.png", "b 字.png", "c кадр.png"]
    for n, name in enumerate(names):
        harness.noise_image(24, 16, 11 * n).save(folder / name)
    (folder / "битый.png").write_text("not an image")
    deep = folder / ("漢" * 60) / ("字" * 60)  # under 260 characters, over 260 bytes
    deep.mkdir(parents=True, exist_ok=True)
    harness.noise_image(24, 16, 0).save(deep / "a.png")
    prefix.use_display()
    shown = []

    def step(*args, output=None):
        result = prefix.run(build / "tests" / "outside" / "driver.exe", *args)
        shown.append(f"driver {' '.join(map(str, args))}: {result.stdout.strip()}")
        assert result.returncode == 0, "\n".join(shown)
        lines = result.stdout.splitlines()
        if output is not None:
            assert lines == output, f"{args}: {lines} instead of {output}"
        return lines

    def start():
        return subprocess.Popen([wine_run, "--prefix", str(prefix.path), kestrane], stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, env=dict(harness.os.environ, LC_ALL="C.UTF-8"))

    prefix.run("regsvr32", "/u", "/s", our_filter)
    program = start()
    step("box", "nofilter")
    assert program.wait(60) == 0, "exit code without filters"

    assert prefix.run("regsvr32", "/s", our_filter).returncode == 0
    program = start()
    step("box", "warning")
    step("status", output=["Test version; Please not use 16-Bit SHPs in mods!"])
    for name in ["b 字.png", "a 漢.png", "c кадр.png"]:
        step("press", IDC_ADD)
        step("choose", "Choose input file", harness.windows_path(folder / name))
    step("rows", output=names)
    step("select", 2)
    step("press", IDC_UP)
    step("rows", output=[names[0], names[2], names[1]])
    destination = folder / "выход.shp"
    step("press", IDC_BROWSE)
    step("choose", "Choose output file", harness.windows_path(destination))
    assert harness.screenshot(artifacts / "dialog.png", [(0, 0, 255)]), "no blue link text"
    step("menu")
    assert harness.screenshot(artifacts / "menu.png", [(193, 210, 238), (49, 106, 197)]), "no highlighted item"
    step("keys", "esc", "esc")
    step("convert", output=["Successfully finished"])
    _, _, frames = harness.read_shp(destination)
    assert frames == [harness.frame_of(folder / n) for n in (names[0], names[2], names[1])], "frames"
    step("preview", 0)
    widened = {harness.rgb888(v) for v in harness.frame_of(folder / names[0])}
    assert harness.screenshot(artifacts / "preview.png", widened), "the preview lacks the first frame's colours"
    step("unpreview")

    # The status line shows a name as it is; a name too long for 260 bytes
    # of UTF-8 is refused whole, and so is a file chosen behind one.
    step("press", IDC_ADD)
    step("choose", "Choose input file", harness.windows_path(folder / "битый.png"))
    step("convert", output=["Can't read image file: " + harness.windows_path(folder / "битый.png")])
    step("press", IDC_ADD)
    step("choose", "Choose input file", harness.windows_path(deep / "a.png"))
    step("status", output=["Error: The path is too long: " + harness.windows_path(deep / "a.png")])
    too_long = harness.windows_path(folder / ("漢" * 90 + ".shp"))
    step("settext", IDC_DEST, too_long)
    step("convert", output=["Error: The path is too long: " + too_long])
    program_rows = step("rows")
    step("press", IDCANCEL)
    assert program.wait(60) == 0, "exit code after Close"
    assert len(program_rows) == 4
    print("\n".join(shown))
    return 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
