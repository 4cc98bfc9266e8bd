#!/usr/bin/env python3
"""Writes the linker's own default script with the read-only data moved into
.text, so that the program's file pads one section less to 512 bytes.

Usage: merged_link_script.py <ld of the target> <script to write>

Moved: .rdata (constants and strings) and, on 64-bit, .xdata (the unwind
records .pdata points to). Both are read-only like code; in .text they are
executable too, which the Windows loader, XP to 11, accepts as it did in
programs merged that way by Microsoft's own linker, and DEP and ASLR stay.

Kept apart, because GNU ld finds these by the output section's name: .idata
(the import directory is taken from a section called .idata; merged, the
program has no imports at all), .pdata (the exception directory, and the
sorting of its entries that 64-bit unwinding needs), .rsrc and .reloc (the
base relocations are made after the layout is done, so they cannot share a
section laid out before them). .bss takes no room in the file.
"""
import re
import subprocess
import sys

MOVED = (".rdata", ".xdata")
SCRIPT_FENCE = "=" * 50 + "\n"
# An output section of the default script: "  .rdata BLOCK(...) :\n  {\n
# ...\n  }\n", its contents indented deeper than the braces.
OUTPUT_SECTION = r"\n  {name}\s[^\n]*:\n  \{{\n(?P<body>.*?)\n  \}}\n"


def default_script(ld):
    listing = subprocess.run([ld, "--verbose"], check=True,
                             capture_output=True, text=True).stdout
    parts = listing.split(SCRIPT_FENCE)
    if len(parts) != 3:
        sys.exit(f"{ld} --verbose printed no default linker script")
    return parts[1]


def merged(script):
    bodies = []
    for name in MOVED:
        found = re.search(OUTPUT_SECTION.format(name=re.escape(name)), script,
                          re.S)
        if found is None:
            continue
        bodies.append(found.group("body"))
        script = script[:found.start()] + "\n" + script[found.end():]
    if not bodies:
        sys.exit("no .rdata section in the default linker script")
    text = re.search(OUTPUT_SECTION.format(name=re.escape(".text")), script,
                     re.S)
    if text is None:
        sys.exit("no .text section in the default linker script")
    end = text.end("body")
    return script[:end] + "\n" + "\n".join(bodies) + script[end:]


def main(ld, output):
    with open(output, "w") as f:
        f.write(merged(default_script(ld)))


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
