#!/usr/bin/env python3
"""Checks that every example the README and the developers' guide quote from a file still
matches that file.

A quoted block is the fenced block right after a line `<!-- quoted from PATH -->`, which
must be the whole file, or `<!-- quoted in part from PATH -->`, which must be whole lines
of it.
"""
import pathlib
import re
import sys

root = pathlib.Path(__file__).resolve().parent.parent
failed = False
count = 0
for doc in ("README.md", "CONTRIBUTING.md"):
    text = (root / doc).read_text()
    quotes = re.findall(r"<!-- quoted (in part )?from (\S+) -->\n```[^\n]*\n(.*?)```\n", text, re.S)
    for part, path, block in quotes:
        source = (root / path).read_text().replace("\r\n", "\n")
        if not (("\n" + block) in ("\n" + source) if part else block == source):
            print(f"FAIL: {doc}'s copy of {path} differs from the file")
            failed = True
    markers = len(re.findall(r"<!-- quoted (in part )?from ", text))
    if markers != len(quotes):
        print(f"FAIL: {doc}: {markers} quote markers, {len(quotes)} of them followed by a fenced block")
        failed = True
    count += len(quotes)
if failed or not count:
    sys.exit(1)
print(f"README.md and CONTRIBUTING.md: {count} quoted examples match their files")
