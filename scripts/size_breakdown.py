#!/usr/bin/env python3
"""Where the bytes of Velmora.exe go, from the linker's map.

Usage: size_breakdown.py <build folder>...   (each holding Velmora.exe and
Velmora.map, e.g. build/win32 build/win64). Prints two Markdown tables: the
file by kind of content, and the program's own code by object file.

Every input section the map places in a section of the file is counted to the
file it came from; what the sections' file alignment and the PE headers add is
the rest of the file's size, so each column sums to the file.
"""
import os
import re
import struct
import sys

RESOURCES = "Resources (dialogs, menu, icon, bitmap, manifests, version)"
OWN = "The program's own code and data"
STARTUP = ("Start-up and run-time library code (the program's entry point, "
           "libgcc, libmingwex)")
IMPORTS = "Import tables and thunks (system DLLs)"
RELOCATIONS = "Base relocations"
HEADERS = "PE headers and section alignment"
KINDS = [RESOURCES, OWN, STARTUP, IMPORTS, RELOCATIONS, HEADERS]

# " .text  0x00401000  0x4e0 file", or the name alone on one line and the
# rest on the next when the name is long.
INPUT_LINE = re.compile(r"^ (\S+)\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(.+)$")
NAME_ONLY = re.compile(r"^ (\S+)$")
CONTINUATION = re.compile(r"^\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(.+)$")
# Words the linker script itself places, such as the ends of the import lists.
SCRIPT_DATA = re.compile(r"^\s+0x[0-9a-f]+\s+0x([0-9a-f]+)\s+(BYTE|SHORT|LONG|QUAD) ")
OUTPUT_LINE = re.compile(r"^(\.\S+)(\s+0x[0-9a-f]+\s+0x[0-9a-f]+)?\s*$")
# Members of the DLLs' import libraries: one thunk or import entry each.
IMPORT_MEMBER = re.compile(r"\((lib\w+?(s|_defs)\d+|lib\w+?(h|t|_defh|_deft))\.o\)$")
# The program's own entry point stands where the run-time's start-up stood.
ENTRY_FILE = re.compile(r"process_entry\.cpp\.obj")
OWN_FILE = re.compile(r"(^|/)CMakeFiles/[^/]+\.dir/|(^|/)libvelmora_\w+\.a\(|"
                      r"\.ltrans\d*\.ltrans\.o$")
# With link-time optimisation the program's files reach the linker as one
# or more objects compiled at the link, under temporary names.
LINK_TIME_OBJECT = re.compile(r"\.ltrans\d*\.ltrans\.o$")
LINK_TIME_NAME = "all files, compiled together at the link"


def pe_sections(path):
    """(name, size in the file) of every section, and the file's size."""
    with open(path, "rb") as f:
        data = f.read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    count = struct.unpack_from("<H", data, pe + 6)[0]
    optional_size = struct.unpack_from("<H", data, pe + 20)[0]
    table = pe + 24 + optional_size
    sections = []
    for i in range(count):
        entry = table + 40 * i
        name = data[entry:entry + 8].rstrip(b"\0").decode()
        raw_size = struct.unpack_from("<I", data, entry + 16)[0]
        sections.append((name, raw_size))
    return sections, len(data)


def kind_of(output_section, source):
    if output_section == ".rsrc":
        return RESOURCES
    if output_section == ".reloc":
        return RELOCATIONS
    if IMPORT_MEMBER.search(source) or output_section == ".idata":
        return IMPORTS
    if OWN_FILE.search(source) and not ENTRY_FILE.search(source):
        return OWN
    return STARTUP


def own_object(source):
    """settings.cpp for 'libvelmora_portable.a(settings.cpp.obj)' and the like."""
    if LINK_TIME_OBJECT.search(source):
        return LINK_TIME_NAME
    name = re.sub(r"^.*\(|\)$", "", source)
    return re.sub(r"\.obj$|\.o$", "", os.path.basename(name))


def input_sections(map_path):
    """(output section, input section, size, source file) for every input
    section."""
    output = None
    pending = None
    with open(map_path, encoding="utf-8", errors="replace") as f:
        for line in f:
            line = line.rstrip("\n")
            header = OUTPUT_LINE.match(line)
            if header:
                output = header.group(1)
                pending = None
                continue
            if output is None:
                continue
            if pending is not None:
                rest = CONTINUATION.match(line)
                name, pending = pending, None
                if rest:
                    yield output, name, int(rest.group(2), 16), rest.group(3)
                    continue
            data = SCRIPT_DATA.match(line)
            if data:
                yield output, data.group(2), int(data.group(1), 16), "linker script"
                continue
            found = INPUT_LINE.match(line)
            if found:
                if found.group(1) != "*fill*":
                    yield (output, found.group(1), int(found.group(3), 16),
                           found.group(4))
                continue
            if NAME_ONLY.match(line) and not line.startswith(" *"):
                pending = line.strip()


def breakdown(folder):
    sections, file_size = pe_sections(os.path.join(folder, "Velmora.exe"))
    # PE keeps eight characters of a section's name: ".eh_fram".
    in_file = {name: size for name, size in sections if size > 0}
    totals = dict.fromkeys(KINDS, 0)
    own = {}
    for output, _, size, source in input_sections(
            os.path.join(folder, "Velmora.map")):
        if output[:8] not in in_file or size == 0:
            continue
        kind = kind_of(output, source)
        totals[kind] += size
        if kind == OWN:
            name = own_object(source)
            own[name] = own.get(name, 0) + size
    totals[HEADERS] = file_size - sum(totals.values())
    return totals, own, file_size


def kib(size):
    return f"{size / 1024:.1f} KiB ({size:,} bytes)"


def main(folders):
    results = [breakdown(folder) for folder in folders]
    names = [os.path.basename(os.path.normpath(folder)) for folder in folders]
    print("| Part of Velmora.exe | " + " | ".join(names) + " |")
    print("|---|" + "---|" * len(names))
    for kind in KINDS:
        print(f"| {kind} | " + " | ".join(kib(r[0][kind]) for r in results) + " |")
    print("| **Total** | " + " | ".join(f"**{kib(r[2])}**" for r in results) + " |")
    print()
    objects = sorted(set().union(*(r[1] for r in results)),
                     key=lambda name: -results[0][1].get(name, 0))
    print("| The program's own, by object file | " + " | ".join(names) + " |")
    print("|---|" + "---|" * len(names))
    for name in objects:
        print(f"| {name} | " + " | ".join(f"{r[1].get(name, 0):,} bytes"
                                          for r in results) + " |")


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    main(sys.argv[1:])
