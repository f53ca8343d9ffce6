#!/usr/bin/env python3
"""Re-packs a zip so that its bytes depend only on the names, contents and modes of its
files and on one time: entries in name order, each dated SOURCE_DATE_EPOCH (in UTC), with
no owner, group or other per-machine fields.

    repack-zip.py ZIP
"""
import os
import sys
import time
import zipfile

path = sys.argv[1]
stamp = time.gmtime(int(os.environ.get("SOURCE_DATE_EPOCH", "315532800")))[:6]
with zipfile.ZipFile(path) as old:
    entries = [(info, old.read(info)) for info in old.infolist()]
with zipfile.ZipFile(path + ".new", "w") as new:
    for info, data in sorted(entries, key=lambda entry: entry[0].filename):
        clean = zipfile.ZipInfo(info.filename, date_time=stamp)
        clean.create_system = 3  # Unix, so that the modes below are read
        clean.external_attr = info.external_attr & 0xFFFF0000
        clean.compress_type = zipfile.ZIP_DEFLATED
        new.writestr(clean, data, compresslevel=9)
os.replace(path + ".new", path)
