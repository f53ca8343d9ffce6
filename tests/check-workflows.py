#!/usr/bin/env python3
"""Checks what the workflows mean, beyond their syntax: that a release waits for every Windows
leg, on every image, with nothing on its way able to fail quietly, publishes and attests all it
should (the programs as the build lists them: scripts/test.sh configures it first), that each
leg runs the suites from the bundle, that the msvc job builds the tools, and when each workflow
runs. Each failed rule names itself."""
import json
import pathlib
import re
import shlex
import sys

import yaml

root = pathlib.Path(__file__).resolve().parent.parent / ".github/workflows"
# The base loader keeps `on` a key and every value a string, as the runner reads them.
flows = {p.stem: yaml.load(p.read_text(), Loader=yaml.BaseLoader) for p in root.glob("*.yml")}
cpack = root.parents[1] / "build/windows/CPackConfig.cmake"
exes = re.search(r'^set\(CPACK_QUORVANE_EXES "(.+)"\)$', cpack.read_text() if cpack.exists() else "", re.M)
if not exes:
    sys.exit(f"FAIL: workflows: no CPACK_QUORVANE_EXES in {cpack}: configure the windows preset")
exes = exes[1].split(";")


def jobs(flow):
    return flows.get(flow, {}).get("jobs", {})


def steps(flow, job):
    return jobs(flow).get(job, {}).get("steps", [])


def caller(flow, called):
    """The job of `flow` that calls the reusable workflow `called`."""
    return next((n for n, j in jobs(flow).items() if j.get("uses", "").endswith(f"/{called}.yml")), None)


def one(steps, action):
    """The one step of `steps` that uses `action`, or nothing when there are none or several."""
    found = [s for s in steps if s.get("uses", "").startswith(action + "@")]
    return found[0] if len(found) == 1 else {}


def quiet(x, allowed_if=None):
    """Whether a job or step could fail without failing the run, or be skipped."""
    return x.get("continue-on-error") not in (None, "false") or x.get("if") != allowed_if


def images(image):
    """The legs' images in a private and in a public repository; a plain list serves both."""
    if isinstance(image, list):
        return image, image
    chosen = re.fullmatch(r"\$\{\{ fromJSON\(github\.event\.repository\.private"
                          r" && '(.*)' \|\| '(.*)'\) \}\}", image or "")
    return [json.loads(x) for x in chosen.groups()] if chosen else ([], [])


def commands(step):
    """The commands of a run step, each without the developer prompt's wrapper."""
    return [c.strip().removeprefix("call scripts\\msvc.cmd ") for c in step.get("run", "").split("&&")]


needs = jobs("release").get("publish", {}).get("needs", [])
legs = steps("windows-suites", "suites")
download = [s for s in legs if s.get("uses", "").startswith("actions/download-artifact@")]
suites = jobs("windows-suites").get("suites", {})
bundle = suites.get("defaults", {}).get("run", {}).get("working-directory")
matrix = suites.get("strategy", {}).get("matrix", {})
private, public = images(matrix.get("image"))
runs = [c for s in legs for c in commands(s)]
msvc = [c for s in steps("windows", "msvc") for c in commands(s)]
publish = steps("release", "publish")
publishing = one(publish, "softprops/action-gh-release")
attestation = one(publish, "actions/attest-build-provenance")
published = ["release/Quorvane-*-win64.zip", "release/Quorvane-*-win64.zip.sha256",
             "release/packaging/winget/*.yaml", "release/packaging/scoop/quorvane.json"]
unzips = [shlex.split(c) for s in publish for c in commands(s) if c.startswith("unzip ")]
# What leads to publishing: the build (and its own job and steps), the Windows legs, publish.
needed = [caller("release", "build"), caller("release", "windows-suites")]
on_the_way = [jobs("release").get(n, {}) for n in needed + ["publish"]]
on_the_way += list(jobs("build").values()) + steps("build", "release") + publish
on = {flow: flows.get(flow, {}).get("on", {}) for flow in ("windows", "release")}
rules = {
    "publish needs the build and the Windows legs":
        set(needed) <= set(needs),
    "each Windows leg downloads the bundle into the folder its steps run in":
        [(s.get("with", {}).get("name"), s.get("with", {}).get("path")) for s in download] == [("windows-bundle", bundle)],
    "each Windows leg runs desktop.exe, then run-suites.exe":
        [c for c in runs if c.endswith(".exe")] == ["desktop.exe", "run-suites.exe"],
    "no Windows leg, and no step of it, may fail quietly":
        not any(quiet(x) for x in legs + [suites]),
    "no job or step on the way to publishing may fail quietly or be skipped, but the attestation":
        not any(quiet(x, "${{ !github.event.repository.private }}" if x is attestation else None) for x in on_the_way),
    "the legs run on windows-2025 and windows-2022, and windows-11-arm in a public repository":
        suites.get("runs-on") == "${{ matrix.image }}" and set(matrix) == {"image"}
        and all({"windows-2025", "windows-2022"} <= set(l) for l in (private, public))
        and "windows-11-arm" in public,
    "the msvc job builds the default targets and the tools":
        {"cmake --build --preset msvc", "cmake --build --preset msvc --target listener desktop run-suites"} <= set(msvc),
    "publishing fails when a file pattern matches nothing":
        publishing.get("with", {}).get("fail_on_unmatched_files") == "true",
    "publishing attaches the zip, its .sha256 and the winget and Scoop manifests":
        sorted(publishing.get("with", {}).get("files", "").split()) == sorted(published),
    "the attestation covers those files and each program the zip ships, unzipped into exe/":
        sorted(attestation.get("with", {}).get("subject-path", "").split())
        == sorted(published + [f"exe/{e}" for e in exes])
        and unzips == [["unzip", "-j", published[0], *[f"*/{e}" for e in exes], "-d", "exe"]],
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
