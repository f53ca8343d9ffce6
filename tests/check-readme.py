#!/usr/bin/env python3
"""Checks the docs against what they show: every example the README, the examples' README and
the developers' guide quote from a file still matches that file, and the README's output of a
broadcast and its table of exit statuses are the program's own.

A quoted block is the fenced block right after a line `<!-- quoted from PATH -->`, which
must be the whole file, or `<!-- quoted in part from PATH -->`, which must be whole lines
of it. The output block follows `<!-- checked: the output of /broadcast -->`, the status
table `<!-- checked: the exit statuses -->`; both are compared with src/quorvane.cc, each
status's row with the line (and the usage text) that the program writes right before
returning it. The paragraph after `<!-- checked: each program's subsystem -->` names each program
in build/windows/programs.txt (the windows preset's) as a console or a Windows (GUI) program.
"""
import ast
import pathlib
import re
import sys

root = pathlib.Path(__file__).resolve().parent.parent
failures = []
count = 0
for doc in ("README.md", "CONTRIBUTING.md", "examples/README.md"):
    text = (root / doc).read_text()
    quotes = re.findall(r"<!-- quoted (in part )?from (\S+) -->\n```[^\n]*\n(.*?)```\n", text, re.S)
    for part, path, block in quotes:
        source = (root / path).read_text().replace("\r\n", "\n")
        if not (("\n" + block) in ("\n" + source) if part else block == source):
            failures.append(f"{doc}'s copy of {path} differs from the file")
    markers = len(re.findall(r"<!-- quoted (in part )?from ", text))
    if markers != len(quotes):
        failures.append(f"{doc}: {markers} quote markers, {len(quotes)} of them followed by a fenced block")
    count += len(quotes)

# The program's texts: the C string literals that envupdate writes, and its statuses.
program = (root / "src/quorvane.cc").read_text()
envupdate = program[program.index("int envupdate()"):]
envupdate = envupdate[:envupdate.index("\n}\n")]
LITERAL = r'("(?:[^"\\]|\\.)*")'


def written(call):
    """The text of each string literal that follows `call` in envupdate, in order."""
    return [ast.literal_eval(text) for text in re.findall(call + r"\s*" + LITERAL, envupdate)]


progress, completion = written(r"fputs\(")
output = progress + completion
statuses = {int(v): name for name, v in re.findall(r"const int (k\w+) = (\d+);", program)}
# What tells each status: the line written, and whether the usage text follows, right before
# each `return kStatus;` in the program.
told = {}
for literal, usage, name in re.findall(r"(?:(?:fputs|fprintf)\((?:stderr,\s*)?" + LITERAL +
                                       r"[^;]*;\s*)?(help\(\);\s*)?return (k\w+);", program):
    line = ast.literal_eval(literal).strip().replace("%lu", "N") if literal else ""
    told.setdefault(name, set()).update({f"`{line}`"} if line else set(), {"usage text"} if usage else set())

readme = (root / "README.md").read_text()
block = re.search(r"<!-- checked: the output of /broadcast -->\n```\n(.*?)```\n", readme, re.S)
if not block or block[1] != output:
    failures.append(f"README.md's output of /broadcast is not {output!r}")
table = re.search(r"<!-- checked: the exit statuses -->\n((?:\|.*\n)+)", readme)
rows = {int(m[1]): m[2] for m in re.finditer(r"^\| (\d+) \| (.*) \|$", table[1] if table else "", re.M)}
if sorted(rows) != sorted(statuses):
    failures.append(f"README.md's exit statuses are {sorted(rows)}, the program's {sorted(statuses)}")
for value, name in statuses.items():
    missing = sorted(t for t in told.get(name, {"(no return of it)"}) if t not in rows.get(value, ""))
    if missing:
        failures.append(f"README.md's row for status {value} ({name}) does not name {missing}")

said = re.search(r"<!-- checked: each program's subsystem -->\n(.*?)\n\n", readme, re.S)
claims = {name: "gui" if "(GUI)" in kind else "console" for name, kind in re.findall(
    r"`(\w+\.exe)`, (a console program|[^,]*Windows\s+\(GUI\) program)", said[1] if said else "")}
built = dict(line.split() for line in (root / "build/windows/programs.txt").read_text().splitlines())
if claims != built:
    failures.append(f"README.md says the programs are {claims}; the build made {built}")

for failure in failures:
    print("FAIL:", failure)
if failures or not count:
    sys.exit(1)
print(f"README.md, CONTRIBUTING.md and examples/README.md: {count} quoted examples match their files; the output "
      f"of /broadcast, the exit statuses {sorted(statuses)} and the subsystems {built} match")
