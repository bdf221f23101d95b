#!/usr/bin/python3
"""The headers of the binaries that ship: subsystem and OS version 6.0 or later
(below it, Windows keeps old behaviours such as going on after heap corruption),
ASLR, DEP, large-address-aware; and, in the build's copies, whose symbols say
where the stack protector's guard is, code that reads it.
Usage: check_headers.py OBJDUMP NM SHIPPED... --built BUILT..."""
import re
import subprocess
import sys


def main(objdump, nm, *args):
    split, failures = args.index("--built"), []
    for path in args[:split]:
        header = dict(re.findall(r"^(\w+)\s+(\w+)$", subprocess.check_output([objdump, "-p", path], text=True), re.M))
        versions = [int(header["MajorOSystemVersion"]), int(header["MajorSubsystemVersion"])]
        dll, image = int(header["DllCharacteristics"], 16), int(header["Characteristics"], 16)
        ok = min(versions) >= 6 and dll & 0x40 and dll & 0x100 and image & 0x20  # DYNAMIC_BASE, NX_COMPAT, LAA
        print(f"{path}: versions {versions}, DllCharacteristics {dll:#x}, Characteristics {image:#x}")
        failures += [] if ok else [path]
    for path in args[split + 1:]:
        guard = re.search(r"^0*(\w+) B ___stack_chk_guard$", subprocess.check_output([nm, path], text=True), re.M)
        code = subprocess.check_output([objdump, "-d", path], text=True)
        reads = len(re.findall(rf"\b0x{guard.group(1)}\b", code)) if guard else 0
        print(f"{path}: the stack protector's guard read {reads} times")  # twice per protected function
        failures += [] if reads >= 2 else [path]
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
