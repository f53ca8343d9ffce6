#!/usr/bin/env python3
"""Checks that every example the README quotes from a file still matches that file.

A quoted block is the fenced block right after a line `<!-- quoted from PATH -->`.
"""
import pathlib
import re
import sys

root = pathlib.Path(__file__).resolve().parent.parent
readme = (root / "README.md").read_text()
quotes = re.findall(r"<!-- quoted from (\S+) -->\n```[^\n]*\n(.*?)```\n", readme, re.S)
failed = False
for path, block in quotes:
    text = (root / path).read_text().replace("\r\n", "\n")
    if block != text:
        print(f"FAIL: the README's copy of {path} differs from the file")
        failed = True
markers = readme.count("<!-- quoted from ")
if markers != len(quotes) or not quotes:
    print(f"FAIL: {markers} quote markers, {len(quotes)} of them followed by a fenced block")
    failed = True
if failed:
    sys.exit(1)
print(f"README: {len(quotes)} quoted examples match their files")
