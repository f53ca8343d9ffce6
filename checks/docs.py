#!/usr/bin/env python3
"""Checks the docs against the files they quote: a fenced block after `<!-- quoted from PATH -->`
in README.md, CONTRIBUTING.md or examples/README.md is that file, and after `<!-- quoted in part
from PATH -->` whole lines of it. (The Output suite checks what the README says of the programs.)
    python3 checks/docs.py"""
import pathlib
import re
import sys

root = pathlib.Path(__file__).resolve().parent.parent
failures, count = [], 0
for doc in ("README.md", "CONTRIBUTING.md", "examples/README.md"):
    text = (root / doc).read_text()
    quotes = re.findall(r"<!-- quoted (in part )?from (\S+) -->\n```[^\n]*\n(.*?)```\n", text, re.S)
    for part, path, block in quotes:
        source = (root / path).read_text().replace("\r\n", "\n")
        if not (("\n" + block) in ("\n" + source) if part else block == source):
            failures.append(f"{doc}'s copy of {path} differs from the file")
    failures += [f"{doc}: a quote marker without its block"] * (text.count("<!-- quoted ") != len(quotes))
    count += len(quotes)

failures += ["no quoted example found"] * (not count)
print("\n".join(f"FAIL: {f}" for f in failures) or f"docs: {count} quoted examples match their files")
sys.exit(1 if failures else 0)
