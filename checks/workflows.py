#!/usr/bin/env python3
"""Checks what the workflows promise together, which actionlint cannot see in one file: a rule for
each property, so that a new step, reordered keys or a reworded comment needs no change. Names
come from their own files (RELEASING.md, release/packaging, tools/). A failed rule prints its
property and what breaks it.
    python3 checks/workflows.py"""
import fnmatch
import json
import pathlib
import re
import shlex
import sys

import yaml

root = pathlib.Path(__file__).resolve().parent.parent
texts = {p.stem: p.read_text() for p in (root / ".github/workflows").glob("*.yml")}
# The base loader keeps `on` a key and every value a string, as the runner reads them.
flows = {flow: yaml.load(text, Loader=yaml.BaseLoader) for flow, text in texts.items()}
jobs = {(flow, name): job for flow, f in flows.items() for name, job in f.get("jobs", {}).items()}
steps = [step for job in jobs.values() for step in job.get("steps", [])]
READ, PUBLIC = {"contents": "read"}, "${{ !github.event.repository.private }}"


def when(broken, problem):
    return [problem] if broken else []


def commands(step):
    """A run step's commands: its lines, continuations joined, each && part alone."""
    return [c.strip() for line in step.get("run", "").replace("\\\n", " ").splitlines()
            for c in line.split("&&") if c.strip()]


def ran(job):
    return [c for s in job.get("steps", []) for c in commands(s)]


def using(job, action):
    return [s for s in job.get("steps", []) if s.get("uses", "").startswith(action + "@")]


def job_that(test):
    return next(key for key, job in jobs.items() if test(job))


def waits_for(key):
    seen, todo = set(), [key[1]]
    while todo:
        needs = jobs.get((key[0], todo.pop()), {}).get("needs", [])
        todo += [n for n in ([needs] if isinstance(needs, str) else needs) if n not in seen]
        seen |= set(todo)
    return {(key[0], n) for n in seen}


def uncovered(patterns, files):
    return [f for f in files if not any(fnmatch.fnmatch(f, p) for p in patterns)]


publish = job_that(lambda j: any(c.startswith("gh release create") for c in ran(j)))
attest = job_that(lambda j: using(j, "actions/attest"))
legs = job_that(lambda j: "run-suites.exe" in ran(j))
msvc = job_that(lambda j: any("--preset msvc" in c for c in ran(j)))
signing = next((s for s in steps if any("release/build.sh" in c for c in commands(s))), {})
release = next((s for s in jobs[publish]["steps"] if any(c.startswith("gh release create") for c in commands(s))), {})
folder = using(jobs[publish], "actions/download-artifact")[0].get("with", {}).get("path", ".")
# What a release publishes, as publish downloads it: the zip, its .sha256, and the manifests
# of release/packaging's templates.
published = [f"{folder}/Quorvane-0.0.0-win64.zip", f"{folder}/Quorvane-0.0.0-win64.zip.sha256"] + [
    f"{folder}/{p.relative_to(root / 'release').with_suffix('').as_posix()}"
    for p in (root / "release/packaging").rglob("*.in")]


def actions_pinned():
    """every action is GitHub's own, pinned by a full commit with its version in a comment"""
    return [f"{flow}: {action}{rest}" for flow, text in texts.items()
            for action, rest in re.findall(r"^[ -]*uses: (\S+)(.*)$", text, re.M) if not action.startswith("./")
            and not (re.fullmatch(r"actions/[\w-]+@[0-9a-f]{40}", action) and re.fullmatch(r" # v\d+\.\d+\.\d+", rest))]


def least_permissions():
    """every job reads only, but publish (contents write) and attest (id-token and attestations
    write)"""
    writes = {publish: {"contents": "write"}, attest: {**READ, "id-token": "write", "attestations": "write"}}
    return [f"{f}: {flows[f].get('permissions')}" for f in flows if flows[f].get("permissions") != READ] + [
        f"{key}: {job.get('permissions')}" for key, job in jobs.items()
        if job.get("permissions", READ) != writes.get(key, READ)]


def settings_for_signing_alone():
    """no secrets: inherit; each signing secret and variable reaches the step that runs
    release/build.sh alone, for a tag's build alone, named as RELEASING.md names it; a change's
    build gets none and installs nothing to sign; no checkout keeps its credentials"""
    named = set(re.findall(r"\bQUORVANE_\w+", (root / "RELEASING.md").read_text()))
    declared = list(flows["build"]["on"]["workflow_call"].get("secrets", {}))
    problems = [f"{key}: {job.get('secrets')}" for key, job in jobs.items() if job.get("uses", "").endswith("/build.yml")
                and (job.get("secrets") != {s: f"${{{{ secrets.{s} }}}}" for s in declared} if key[0] == "release"
                     else set(job) != {"uses"})]
    problems += [f"{key}: secrets: inherit" for key, job in jobs.items() if job.get("secrets") == "inherit"]
    holders = steps + [f.get("env") for f in flows.values()] + [
        {k: v for k, v in j.items() if k not in ("steps", "secrets")} for j in jobs.values()]
    problems += [f"a setting reaches {json.dumps(h)[:80]}" for h in holders
                 if h is not signing and re.search(r"\b(secrets|vars)\.", json.dumps(h))]
    problems += [f"{s}: for a build without a tag too" for s in re.findall(r"\$\{\{[^}]*\}\}", json.dumps(signing))
                 if re.search(r"\b(secrets|vars)\.", s) and not re.fullmatch(r"\$\{\{ inputs\.tag && (vars|secrets)\.\w+ \|\| '' \}\}", s)]
    problems += [f"{u}: named nowhere in RELEASING.md" for u in set(re.findall(r"\b(?:secrets|vars)\.(\w+)", "\n".join(texts.values()))) - named]
    problems += [f"{u}: not declared in build.yml" for u in set(re.findall(r"\bsecrets\.(\w+)", texts["build"])) - set(declared)]
    problems += when(re.search(r"setup\.sh[ \t]+[^\s&|;]", texts["build"]), "build.yml installs extras")
    return problems + [f"{s['uses']} keeps its credentials" for s in steps if s.get("uses", "").startswith("actions/checkout@")
                       and s.get("with", {}).get("persist-credentials") != "false"]


def legs_run_the_bundle():
    """the Windows legs look at the runner's desktop, then run the one runner, every suite, on the
    bundle; the msvc job builds the tools too"""
    bundle = next((s["with"].get("name") for s in steps if s.get("uses", "").startswith("actions/upload-artifact@")
                   and s["with"].get("path", "").rstrip("/") == "build/bundle"), None)
    where = jobs[legs].get("defaults", {}).get("run", {}).get("working-directory")
    built = [c.split("msvc.cmd ")[-1] for c in ran(jobs[msvc])]
    targets = {t for c in built if c.startswith("cmake --build --preset msvc --target") for t in c.split()[5:]}
    tools = {p.stem for p in (root / "tools").glob("*.cc")}
    return when({"name": bundle, "path": where} not in [s.get("with") for s in using(jobs[legs], "actions/download-artifact")],
                f"the bundle ({bundle}) is not downloaded where the legs run ({where})") + \
        when([c for c in ran(jobs[legs]) if ".exe" in c] != ["desktop.exe", "run-suites.exe"],
             f"the legs run {[c for c in ran(jobs[legs]) if '.exe' in c]}") + \
        when("cmake --build --preset msvc" not in built or not tools <= targets, f"the msvc job builds {sorted(targets)}")


def publish_after_every_leg():
    """publish runs only after attest, and both only after every Windows leg of the release's
    matrix passed: Server 2025, Server 2022, and Windows 11 on Arm in a public repository, each
    leg on its own image, with nothing on the way that lets a failure through"""
    matrix = jobs[legs].get("strategy", {}).get("matrix", {})
    chosen = re.fullmatch(r"\$\{\{ fromJSON\(github\.event\.repository\.private && '(.*)' \|\| '(.*)'\) \}\}",
                          matrix.get("image", ""))
    private, public = [set(json.loads(x)) for x in chosen.groups()] if chosen else (set(), set())
    callers = {key for key, job in jobs.items() if job.get("uses", "").endswith(f"/{legs[0]}.yml")}
    way = [jobs[k] for k in waits_for(publish) | {publish}] + [j for k, j in jobs.items() if k[0] in ("build", legs[0])]
    return [f"{k[1]} does not wait for the legs" for k in (publish, attest) if not waits_for(k) & callers] + \
        when(attest not in waits_for(publish), "publish does not wait for attest") + \
        when(jobs[legs].get("runs-on") != "${{ matrix.image }}" or set(matrix) != {"image"} or not {
            "windows-2025", "windows-2022"} <= private or not {"windows-2025", "windows-2022", "windows-11-arm"} <= public,
            f"the legs run on {jobs[legs].get('runs-on')}, {matrix}") + [
        f"{x.get('name') or x.get('uses') or 'a job'} lets a failure through" for j in way for x in [j] + j.get("steps", [])
        if x.get("continue-on-error", "false") != "false"
        or x.get("if") != (PUBLIC if x in using(jobs[attest], "actions/attest") else None)]


def publish_whole_and_as_tagged():
    """publish makes the release of the run's own tag, with the version's notes, and uploads the
    zip, its .sha256 and both manifests, failing on a missing file, only after comparing the
    tag's commit with the run's; release runs of one tag do not overlap"""
    lines, env = commands(release), release.get("env", {})
    at = next((i for i, c in enumerate(lines) if c.startswith("gh release create")), 0)
    args, before = shlex.split(lines[at]), lines[:at]
    named = lambda value: [value] + [f"${n}" for n, v in env.items() if v == value]  # noqa: E731
    looked = [m[1] for c in before for m in [re.match(r"(\w+)=\$\(gh api \S*commits/tags/", c)] if m]
    compared = [i for i, c in enumerate(before) for t in looked for b in named("${{ github.sha }}")
                if f'"${t}" != "{b}"' in c or f'"{b}" != "${t}"' in c]
    group = flows["release"].get("concurrency", {})
    return [f"not uploaded: {f}" for f in uncovered(args, published)] + \
        when(args[3:4] not in [[t] for t in named("${{ github.ref_name }}")] or "--verify-tag" not in args
             or f"--notes-file {folder}/release-notes.md" not in lines[at], "not the run's own tag with the version's notes") + \
        when(release.get("shell") != "bash" or "shopt -s failglob" not in before or "nullglob" in str(lines),
             "a missing file would not fail it (bash, failglob)") + \
        when(not compared or not any(re.fullmatch(r"exit [1-9]\d*", c) for c in before[compared[0]:]),
             "nothing stops it when the tag names another commit") + \
        when("github.ref" not in group.get("group", "") or group.get("cancel-in-progress") != "false",
             f"runs of one tag may overlap: {group}")


def attest_every_program():
    """attest covers every program in the zip, in a public repository, and runs nothing but
    GitHub's actions and the unzip"""
    unzips = [shlex.split(c) for c in ran(jobs[attest])]
    programs = [f"{u[u.index('-d') + 1]}/Any.exe" for u in unzips if u[0] == "unzip" and "-d" in u
                and any(a.endswith("*.exe") for a in u)] or ["(no program unzipped)"]
    subjects = using(jobs[attest], "actions/attest")[0].get("with", {}).get("subject-path", "").split()
    return [f"not attested: {f}" for f in uncovered(subjects, published + programs)] + [
        f"it runs {' '.join(u)}" for u in unzips if u[0] != "unzip"]


def triggers():
    """every push and pull request runs the Windows workflow; a v* tag alone runs the release"""
    on = {f: flows[f].get("on", {}) for f in ("windows", "release")}
    return when(set(on["windows"]) != {"push", "pull_request"} or set(on["windows"]["push"]) != {"branches"},
                f"windows.yml runs on {on['windows']}") + \
        when(on["release"] != {"push": {"tags": ["v*"]}}, f"release.yml runs on {on['release']}")


rules = [actions_pinned, least_permissions, settings_for_signing_alone, legs_run_the_bundle,
         publish_after_every_leg, publish_whole_and_as_tagged, attest_every_program, triggers]
failed = [(rule, problem) for rule in rules for problem in rule()]
for rule, problem in failed:
    print(f"FAIL: workflows: {' '.join(rule.__doc__.split())}\n  {problem}")
if failed:
    sys.exit(1)
print(f"workflows: {len(rules)} properties hold")
