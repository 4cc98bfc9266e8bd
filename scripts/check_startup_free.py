#!/usr/bin/env python3
"""Fails the link of a program that starts at its own entry point when the
link still holds work that only the run-time's start-up code would have done.

Usage: check_startup_free.py <program.exe> <its link map>

Without that start-up nothing runs a constructor list, registers a global's
destructor, sets up thread-local storage or applies the runtime pseudo
relocations of data imported without dllimport: a global with a constructor
would silently stay zero. So any such input section in the map, from
whichever file, and a TLS directory in the program, are an error. On an error
the program is deleted, so that the next build links and checks it again
instead of taking it as up to date.
"""
import os
import re
import struct
import sys

from size_breakdown import LINK_TIME_OBJECT, input_sections

# What each kind of input section would have needed the start-up for.
NEEDS = [
    (re.compile(r"^\.(ctors|init_array)([.$]|$)"),
     "a global that needs code at start-up (to construct it or to register "
     "its destructor): the constructor list is never run"),
    (re.compile(r"^\.(dtors|fini_array)([.$]|$)"),
     "a destructor list: it is never run"),
    (re.compile(r"^\.CRT\$X[CI]"),
     "an initialiser in the run-time's table: it is never run"),
    (re.compile(r"^\.CRT\$X[PT]"),
     "a terminator in the run-time's table: it is never run"),
    (re.compile(r"^\.CRT\$XL"),
     "a thread-local storage callback: no TLS directory calls it"),
    (re.compile(r"^\.tls([.$]|$)"), "thread-local data: it is never set up"),
    (re.compile(r"^\.rdata_runtime_pseudo_reloc$"),
     "data imported without dllimport: nothing applies its pseudo "
     "relocation, so the reference stays wrong"),
]

DOS_PE_OFFSET = 0x3C
PE32_PLUS_MAGIC = 0x20B
# Where the data directories start in each kind of optional header, and the
# index of the TLS directory among them.
DIRECTORIES_PE32 = 96
DIRECTORIES_PE32_PLUS = 112
TLS_DIRECTORY = 9
DIRECTORY_SIZE = 8


def has_tls_directory(path):
    with open(path, "rb") as f:
        data = f.read()
    pe = struct.unpack_from("<I", data, DOS_PE_OFFSET)[0]
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    directories = optional + (DIRECTORIES_PE32_PLUS if magic == PE32_PLUS_MAGIC
                              else DIRECTORIES_PE32)
    count = struct.unpack_from("<I", data, directories - 4)[0]
    if count <= TLS_DIRECTORY:
        return False
    address, size = struct.unpack_from(
        "<II", data, directories + TLS_DIRECTORY * DIRECTORY_SIZE)
    return address != 0 or size != 0


def problems(program, map_path):
    found = []
    sections = list(input_sections(map_path))
    if not sections:
        # A map this script cannot read would otherwise pass every program.
        return [f"no input sections found in {map_path}"]
    for _, name, size, source in sections:
        if size == 0:
            continue
        for pattern, why in NEEDS:
            if pattern.match(name):
                found.append(f"{name} ({size} bytes) from {source}: {why}")
                break
    if has_tls_directory(program):
        found.append("the program has a TLS directory: no start-up code "
                     "sets up its thread-local storage")
    return found


def main(program, map_path):
    found = problems(program, map_path)
    if not found:
        return 0
    print(f"error: {os.path.basename(program)} starts at its own entry point, "
          "which runs no start-up code, but the link needs some:",
          file=sys.stderr)
    for line in found:
        print("  " + line, file=sys.stderr)
    if any(LINK_TIME_OBJECT.search(line.split(":")[0]) for line in found):
        print("An object compiled at the link holds all the files compiled "
              "together; a build without link-time optimisation names the "
              "source file.", file=sys.stderr)
    print("Make globals constant-initialised and trivially destructible "
          "(constexpr, no constructor or destructor that does work), and "
          "use no thread_local.", file=sys.stderr)
    os.remove(program)
    return 1


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1], sys.argv[2]))
