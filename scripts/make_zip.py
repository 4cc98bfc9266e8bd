#!/usr/bin/env python3
"""Zips a folder so the same files give the same bytes, wherever and whenever.

Usage: make_zip.py <zip file> <folder>

Entries in byte order of their names, each dated SOURCE_DATE_EPOCH (seconds
since 1970, UTC; at least 1980, the first date a zip can hold), with the same
attributes and compression for all; the files' own dates, owners and
permissions are left out.
"""
import os
import sys
import time
import zipfile

ZIP_EPOCH = 315532800  # 1980-01-01 00:00:00 UTC
COMPRESS_LEVEL = 9
MS_DOS = 0  # made on: no Unix permissions to carry


def main(zip_path, folder):
    stamp = max(int(os.environ.get("SOURCE_DATE_EPOCH", ZIP_EPOCH)), ZIP_EPOCH)
    date_time = time.gmtime(stamp)[:6]
    names = []
    for directory, subdirectories, files in os.walk(folder):
        for name in files:
            full = os.path.join(directory, name)
            names.append(os.path.relpath(full, folder).replace(os.sep, "/"))
    with zipfile.ZipFile(zip_path, "w") as archive:
        for name in sorted(names, key=lambda n: n.encode()):
            entry = zipfile.ZipInfo(name, date_time)
            entry.compress_type = zipfile.ZIP_DEFLATED
            entry.create_system = MS_DOS
            entry.external_attr = 0
            with open(os.path.join(folder, name), "rb") as f:
                archive.writestr(entry, f.read(), compresslevel=COMPRESS_LEVEL)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
