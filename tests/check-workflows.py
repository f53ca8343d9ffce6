#!/usr/bin/env python3
"""Checks what the workflows mean, beyond their syntax: that a release waits for every Windows
leg, that each leg runs the suites from the bundle, that the msvc job builds the tools, that
publishing fails on a missing file, and when each workflow runs. Each failed rule names itself."""
import pathlib
import sys

import yaml

root = pathlib.Path(__file__).resolve().parent.parent / ".github/workflows"
# The base loader keeps `on` a key and every value a string, as the runner reads them.
flows = {p.stem: yaml.load(p.read_text(), Loader=yaml.BaseLoader) for p in root.glob("*.yml")}


def jobs(flow):
    return flows.get(flow, {}).get("jobs", {})


def steps(flow, job):
    return jobs(flow).get(job, {}).get("steps", [])


def caller(flow, called):
    """The job of `flow` that calls the reusable workflow `called`."""
    return next((n for n, j in jobs(flow).items() if j.get("uses", "").endswith(f"/{called}.yml")), None)


def commands(step):
    """The commands of a run step, each without the developer prompt's wrapper."""
    return [c.strip().removeprefix("call scripts\\msvc.cmd ") for c in step.get("run", "").split("&&")]


needs = jobs("release").get("publish", {}).get("needs", [])
legs = steps("windows-suites", "suites")
download = [s for s in legs if s.get("uses", "").startswith("actions/download-artifact@")]
bundle = jobs("windows-suites").get("suites", {}).get("defaults", {}).get("run", {}).get("working-directory")
runs = [c for s in legs for c in commands(s)]
msvc = [c for s in steps("windows", "msvc") for c in commands(s)]
publishing = [s for s in steps("release", "publish") if s.get("uses", "").startswith("softprops/action-gh-release@")]
on = {flow: flows.get(flow, {}).get("on", {}) for flow in ("windows", "release")}
rules = {
    "publish needs the build and the Windows legs":
        {caller("release", "build"), caller("release", "windows-suites")} <= set(needs),
    "each Windows leg downloads the bundle into the folder its steps run in":
        [(s.get("with", {}).get("name"), s.get("with", {}).get("path")) for s in download] == [("windows-bundle", bundle)],
    "each Windows leg runs desktop.exe, then run-suites.exe":
        [c for c in runs if c.endswith(".exe")] == ["desktop.exe", "run-suites.exe"],
    "no Windows leg, and no step of it, may fail quietly":
        all(x.get("continue-on-error") in (None, "false") and "if" not in x
            for x in legs + [jobs("windows-suites").get("suites", {})]),
    "the msvc job builds the default targets and the tools":
        {"cmake --build --preset msvc", "cmake --build --preset msvc --target listener desktop run-suites"} <= set(msvc),
    "publishing fails when a file pattern matches nothing":
        len(publishing) == 1 and publishing[0].get("with", {}).get("fail_on_unmatched_files") == "true",
    "windows.yml runs on pushes to branches, not tags, and on pull requests":
        set(on["windows"]) == {"push", "pull_request"} and set(on["windows"]["push"]) == {"branches"},
    "release.yml runs on version tags alone":
        on["release"] == {"push": {"tags": ["v*"]}},
}
failed = [rule for rule, kept in rules.items() if not kept]
for rule in failed:
    print("FAIL: workflows:", rule)
if failed:
    sys.exit(1)
print(f"workflows: {len(rules)} rules kept")
