#!/usr/bin/env python3
"""Checks what the workflows mean, beyond what actionlint sees in each file alone: that a
release waits for every Windows leg, on every image, with nothing on its way able to fail
quietly, publishes and attests all it should (every program inside the zip too), that no
action outside GitHub's own runs and each is pinned, that each job holds only the permissions and secrets its own steps need, that each
leg runs the suites from the bundle, that the msvc job builds the tools, and when each
workflow runs. Each failed rule names itself."""
import json
import pathlib
import re
import shlex
import sys

import yaml

root = pathlib.Path(__file__).resolve().parent.parent / ".github/workflows"
# The base loader keeps `on` a key and every value a string, as the runner reads them.
texts = {p.stem: p.read_text() for p in root.glob("*.yml")}
flows = {flow: yaml.load(text, Loader=yaml.BaseLoader) for flow, text in texts.items()}


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


def kinds(steps):
    """What each step is: the action it uses, or "run"."""
    return [s.get("uses", "").split("@")[0] or "run" for s in steps]


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
attest, publish = steps("release", "attest"), steps("release", "publish")
attestation = one(attest, "actions/attest")
published = ["release/Quorvane-*-win64.zip", "release/Quorvane-*-win64.zip.sha256",
             "release/packaging/winget/*.yaml", "release/packaging/scoop/quorvane.json"]
unzips = [shlex.split(s["run"]) for s in attest if "run" in s]
script = "\n".join(s.get("run", "") for s in publish).replace("\\\n", " ")
gh = [shlex.split(line) for line in script.splitlines() if line.strip()]
# What leads to publishing: the build (and its own job and steps), the Windows legs, attest
# and publish.
needed = [caller("release", "build"), caller("release", "windows-suites")]
on_the_way = [jobs("release").get(n, {}) for n in needed + ["attest", "publish"]]
on_the_way += list(jobs("build").values()) + steps("build", "release") + attest + publish
on = {flow: flows.get(flow, {}).get("on", {}) for flow in ("windows", "release")}
every_step = [s for flow in flows for job in jobs(flow) for s in steps(flow, job)]
uses = re.findall(r"^[ -]*uses: (\S+)(.*)$", "\n".join(texts.values()), re.M)
read = {"contents": "read"}
granted = {("release", "attest"): {**read, "id-token": "write", "attestations": "write"},
           ("release", "publish"): {"contents": "write"}}
declared = list(flows.get("build", {}).get("on", {}).get("workflow_call", {}).get("secrets", {}))
by_name = {name: f"${{{{ secrets.{name} }}}}" for name in declared}
calls = [j for flow in flows for j in jobs(flow).values() if j.get("uses", "").endswith("/build.yml")]
signing = [s for s in steps("build", "release") if "release/build.sh" in s.get("run", "")]
settings = re.findall(r"\$\{\{[^}]*\b(?:vars|secrets)\.[^}]*\}\}", texts.get("build", ""))
# Whatever could hold a secret: every step, every job but its steps and the secrets it passes
# to a workflow it calls, and every workflow's env.
holders = every_step + [f.get("env") for f in flows.values()] + [
    {k: v for k, v in j.items() if k not in ("steps", "secrets")} for flow in flows for j in jobs(flow).values()]
rules = {
    "attest needs the build and the Windows legs, and publish needs attest too":
        set(needed) <= set(jobs("release").get("attest", {}).get("needs", []))
        and set(needed + ["attest"]) <= set(needs),
    "every action is GitHub's own (actions/), pinned by its commit, with its version in a comment":
        all(u.startswith("./") or re.fullmatch(r"actions/[\w-]+@[0-9a-f]{40}", u)
            and re.fullmatch(r" # v\d+\.\d+\.\d+", rest) for u, rest in uses),
    "only attest may write attestations (and id-token), only publish contents; the rest read":
        all(f.get("permissions") == read for f in flows.values())
        and all(j.get("permissions", read) == granted.get((flow, name), read)
                for flow in flows for name, j in jobs(flow).items()),
    "a change's build is called with nothing; the release passes each secret build.yml declares,"
    " by its own name":
        len(calls) == 2 and set(jobs("windows").get(caller("windows", "build"), {})) == {"uses"}
        and jobs("release").get(caller("release", "build"), {}).get("secrets") == by_name,
    "a build without a tag sees no signing setting and installs nothing for signing":
        settings and all(re.fullmatch(r"\$\{\{ inputs\.tag && (vars|secrets)\.\w+ \|\| '' \}\}", s)
                         for s in settings)
        and not re.search(r"setup\.sh[ \t]+[^\s&|;]", texts.get("build", "")),
    "the secrets reach the one step that runs release/build.sh, and only those declared":
        len(signing) == 1 and [x for x in holders if "secrets." in json.dumps(x)] == signing
        and set(re.findall(r"secrets\.(\w+)", json.dumps(signing))) <= set(declared),
    "every checkout leaves no token behind: persist-credentials false":
        all(s.get("with", {}).get("persist-credentials") == "false"
            for s in every_step if s.get("uses", "").startswith("actions/checkout@")),
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
    "publish stops unless the tag still names the commit built, then runs gh release create of"
    " the tag, failglob on, no nullglob, with the zip, its .sha256 and the winget and Scoop"
    " manifests, and the version's notes":
        kinds(publish) == ["actions/download-artifact", "run"] and "nullglob" not in script
        and len(gh) == 7 and gh[:3] == [["shopt", "-s", "failglob"],
                                        ["tagged=$(gh", "api", "repos/$GITHUB_REPOSITORY/commits/tags/$TAG", "--jq", ".sha)"],
                                        ["if", "[", "$tagged", "!=", "$BUILT", "];", "then"]]
        and gh[3][0] == "echo" and gh[4:6] == [["exit", "1"], ["fi"]] and sorted(gh[6][9:]) == sorted(published)
        and gh[6][:9] == ["gh", "release", "create", "$TAG", "--verify-tag", "--repo",
                          "$GITHUB_REPOSITORY", "--notes-file", "release/release-notes.md"]
        and publish[1].get("env") == {"GH_TOKEN": "${{ github.token }}", "TAG": "${{ github.ref_name }}",
                                      "BUILT": "${{ github.sha }}"},
    "attest runs the download, the unzip of every program in the zip into exe/, and the"
    " attestation of those and the published files":
        kinds(attest) == ["actions/download-artifact", "run", "actions/attest"]
        and sorted(attestation.get("with", {}).get("subject-path", "").split())
        == sorted(published + ["exe/*.exe"])
        and unzips == [["unzip", "-j", published[0], "*/*.exe", "-d", "exe"]],
    "windows.yml runs on pushes to branches, not tags, and on pull requests":
        set(on["windows"]) == {"push", "pull_request"} and set(on["windows"]["push"]) == {"branches"},
    "release.yml runs on version tags alone, one run of a tag at a time, none cancelled":
        on["release"] == {"push": {"tags": ["v*"]}}
        and flows["release"].get("concurrency") == {"group": "release-${{ github.ref }}", "cancel-in-progress": "false"},
}
failed = [rule for rule, kept in rules.items() if not kept]
for rule in failed:
    print("FAIL: workflows:", rule)
if failed:
    sys.exit(1)
print(f"workflows: {len(rules)} rules kept")
