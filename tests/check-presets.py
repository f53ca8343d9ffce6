#!/usr/bin/env python3
"""Fails unless every test preset in CMakePresets.json, with what it inherits, fails a run
that finds no test (noTestsAction "error"), so that no preset can pass by running nothing."""
import json
import pathlib
import sys

root = pathlib.Path(__file__).resolve().parent.parent
presets = {p["name"]: p for p in json.loads((root / "CMakePresets.json").read_text())["testPresets"]}


def setting(name):
    """noTestsAction as the preset gets it: its own, or else that of the first it inherits."""
    preset = presets[name]
    own = preset.get("execution", {}).get("noTestsAction")
    inherits = preset.get("inherits", [])
    for parent in [inherits] if isinstance(inherits, str) else inherits:
        own = own or setting(parent)
    return own


wrong = [name for name, p in presets.items() if not p.get("hidden") and setting(name) != "error"]
if wrong or not presets:
    sys.exit(f"FAIL: test presets that pass when they find no test: {wrong or 'no presets'}")
print(f"CMakePresets.json: all {len(presets)} test presets fail when they find no test")
