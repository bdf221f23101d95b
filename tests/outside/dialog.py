"""A whole session in kestrane.exe's windows, driven from outside as a user
works: names in Cyrillic and Chinese through the open and save dialogs, rows
sorted, a conversion checked pixel for pixel, paths refused whole, and the
file written opened again from the command line, in the preview.
Screenshots go to the artifacts folder."""
import shutil

import harness

IDCANCEL, IDC_BROWSE, IDC_ADD = 2, 1010, 1013


def session(prefix, driver, kestrane, work, artifacts):
    folder = work / "кадры"
    shutil.rmtree(folder, ignore_errors=True)  # what an earlier run wrote there
    deep = folder / ("漢" * 60) / ("字" * 60)  # under 260 characters, over 260 bytes
    deep.mkdir(parents=True, exist_ok=True)
    artifacts.mkdir(parents=True, exist_ok=True)
    names = ["a 漢.png", "b 字.png", "c кадр.png"]  # pictures that tell each other apart
    for n, name in enumerate(names):
        harness.noise_image(24, 16, 11 * n).save(folder / name)
    harness.noise_image(24, 16, 0).save(deep / "a.png")
    shown = []

    def step(*args, output=None):
        result = prefix.run(driver, *args)
        shown.append(f"driver {' '.join(map(str, args))}: {result.stdout.strip()}")
        lines = result.stdout.splitlines()
        assert result.returncode == 0 and output in (None, lines), "\n".join(shown) + f"\nwanted: {output}"
        return lines

    def shot(name, colours, what):
        assert harness.screenshot(prefix.display(), artifacts / name, colours), f"{name}: {what}"

    program = prefix.start(kestrane)
    step("box", "warning")
    for name in [names[1], names[0], names[2]]:
        step("press", IDC_ADD)
        step("choose", "Choose input file", harness.windows_path(folder / name))
    step("rows", output=names)
    destination = folder / "выход.shp"
    step("press", IDC_BROWSE)
    step("choose", "Choose output file", harness.windows_path(destination))
    shot("dialog.png", [(0, 0, 255)], "no blue link text")
    step("convert", output=["Successfully finished"])
    frames = harness.read_frames(destination)
    assert frames == [harness.frame_of(folder / name) for name in names], "frames"

    # A path too long for 260 bytes of UTF-8 is refused whole, and the status
    # line shows it as it is.
    step("press", IDC_ADD)
    step("choose", "Choose input file", harness.windows_path(deep / "a.png"))
    step("status", output=["Error: The path is too long: " + harness.windows_path(deep / "a.png")])
    step("rows", output=names)
    step("press", IDCANCEL)
    assert program.wait(60) == 0, "exit code after Close"

    # The file named on the command line, as Send To names it, opens in the
    # preview; L makes its frames the list, and Convert writes it again.
    written = destination.read_bytes()
    program = prefix.start(kestrane, harness.windows_path(destination))
    step("box", "warning")
    step("preview")
    shot("opened.png", {harness.rgb888(v) for v in frames[0]}, "not the file's first frame")
    step("key", "L")
    step("rows", output=[f"frame{i:04}.png" for i in range(len(names))])
    step("convert", output=["Successfully finished"])
    assert destination.read_bytes() == written, "the frames loaded convert to other bytes"
    step("press", IDCANCEL)
    assert program.wait(60) == 0, "exit code after Close"


def convert_one(prefix, driver, kestrane, image, destination):
    """Start, Add one image through the file dialog, choose the destination, Convert, Close."""
    program = prefix.start(kestrane)
    for args in (("box", "warning"), ("press", IDC_ADD), ("choose", "Choose input file", harness.windows_path(image)),
                 ("press", IDC_BROWSE), ("choose", "Choose output file", harness.windows_path(destination)),
                 ("convert",), ("press", IDCANCEL)):
        result = prefix.run(driver, *args)
        assert result.returncode == 0, f"driver {' '.join(map(str, args))}: {result.stdout.strip()}"
    assert program.wait(60) == 0, "exit code after Close"
