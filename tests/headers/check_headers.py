#!/usr/bin/python3
"""What Windows reads from the headers of the binaries that ship: subsystem
6.0 or later (below it, Windows keeps old behaviours such as going on after
heap corruption), ASLR, DEP and large-address-aware; and, in the build's own
copies, whose symbol tables name the stack protector's guard, code that reads it.
Usage: check_headers.py SHIPPED... --built BUILT..."""
import struct
import sys

LARGE_ADDRESS_AWARE, DYNAMIC_BASE, NX_COMPAT = 0x20, 0x40, 0x100


def read_pe(path):
    data = open(path, "rb").read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    assert data[pe:pe + 4] == b"PE\0\0", f"{path}: not a PE file"
    _, count, _, symbols, symbol_count, optional_size, characteristics = struct.unpack_from("<HHIIIHH", data, pe + 4)
    optional = pe + 24
    image_base = struct.unpack_from("<I", data, optional + 28)[0]
    os_version = struct.unpack_from("<HH", data, optional + 40)
    subsystem_version = struct.unpack_from("<HH", data, optional + 48)
    dll_characteristics = struct.unpack_from("<H", data, optional + 70)[0]
    sections = []
    for i in range(count):
        name, _, address, size, offset = struct.unpack_from("<8sIIII", data, optional + optional_size + 40 * i)
        sections.append((name.rstrip(b"\0"), address, data[offset:offset + size]))
    return dict(data=data, symbols=symbols, symbol_count=symbol_count, characteristics=characteristics,
                image_base=image_base, os_version=os_version, subsystem_version=subsystem_version,
                dll_characteristics=dll_characteristics, sections=sections)


def symbol_address(pe, wanted):
    """The virtual address of a symbol of the COFF symbol table, or None."""
    data, table = pe["data"], pe["symbols"]
    strings = table + 18 * pe["symbol_count"]
    i = 0
    while table and i < pe["symbol_count"]:
        raw, value, section, _, _, aux = struct.unpack_from("<8sIhHBB", data, table + 18 * i)
        if raw[:4] == b"\0\0\0\0":
            start = strings + struct.unpack_from("<I", raw, 4)[0]
            name = data[start:data.index(b"\0", start)]
        else:
            name = raw.rstrip(b"\0")
        if name == wanted and section > 0:
            return pe["image_base"] + pe["sections"][section - 1][1] + value
        i += 1 + aux
    return None


def main(args):
    split = args.index("--built")
    failures = []
    for path in args[:split]:
        pe = read_pe(path)
        problems = [what for what, ok in (
            ("subsystem version below 6.0", pe["subsystem_version"] >= (6, 0)),
            ("OS version below 6.0", pe["os_version"] >= (6, 0)),
            ("no ASLR (DYNAMIC_BASE)", pe["dll_characteristics"] & DYNAMIC_BASE),
            ("no DEP (NX_COMPAT)", pe["dll_characteristics"] & NX_COMPAT),
            ("not LARGE_ADDRESS_AWARE", pe["characteristics"] & LARGE_ADDRESS_AWARE)) if not ok]
        print(f"{path}: subsystem {pe['subsystem_version']}, DllCharacteristics {pe['dll_characteristics']:#06x}, "
              f"Characteristics {pe['characteristics']:#06x}" + "".join(f"; {p}" for p in problems))
        failures += problems
    for path in args[split + 1:]:
        pe = read_pe(path)
        guard = symbol_address(pe, b"___stack_chk_guard")
        code = b"".join(body for name, _, body in pe["sections"] if name == b".text")
        reads = code.count(struct.pack("<I", guard)) if guard else 0
        # A protected function reads the guard twice: on entry and before it returns.
        print(f"{path}: the stack protector's guard read {reads} times")
        if reads < 2:
            failures.append(f"{path}: no stack protector")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
