#!/usr/bin/env python3
"""Checks the winget and Scoop manifests that the package build wrote for a zip: they parse,
carry every field a package manager needs, name the zip by the hash in its .sha256, and each
program the zip holds.
    /usr/bin/python3 checks/manifests.py ZIP PACKAGING_DIR RELEASE_URL HOMEPAGE_URL"""
import json
import pathlib
import sys
import zipfile

import yaml

zip_path, packaging, release_url, homepage = sys.argv[1:5]
zip_path, packaging = pathlib.Path(zip_path), pathlib.Path(packaging)
sha256 = zip_path.with_name(zip_path.name + ".sha256").read_text().split()[0].lower()
folder = zip_path.name.removesuffix(".zip")
version = folder.split("-")[1]
url = f"{release_url.rstrip('/')}/{zip_path.name}"
exes = sorted(n.split("/")[-1] for n in zipfile.ZipFile(zip_path).namelist() if n.endswith(".exe"))


# Each winget manifest, read with the base loader, which keeps every scalar a string as winget
# reads them, and its lines.
texts = {kind: (packaging / "winget" / f"Quorvane.Quorvane{'' if kind == 'version' else '.' + kind}.yaml").read_text()
         for kind in ("version", "locale.en-US", "installer")}
docs = {kind: (yaml.load(text, Loader=yaml.BaseLoader), text.splitlines()) for kind, text in texts.items()}
(version_doc, _), (locale, _), (installer, _) = docs.values()
scoop = json.loads((packaging / "scoop" / "quorvane.json").read_text())
entry = (installer.get("Installers") or [{}])[0]
next_url = scoop.get("autoupdate", {}).get("url", "")
checks = [(f"{kind} {field}", doc.get(field), wanted) for kind, (doc, _) in docs.items() for field, wanted in
          [("PackageIdentifier", "Quorvane.Quorvane"), ("PackageVersion", version), ("ManifestVersion", "1.12.0")]] + [
    # Unquoted, 1.10 would read as the number 1.1: the version must be quoted.
    (f"{kind} PackageVersion line", [l for l in lines if l.startswith("PackageVersion:")], [f'PackageVersion: "{version}"'])
    for kind, (_, lines) in docs.items()] + [
    (f"{kind} {field}", doc.get(field), wanted) for kind, doc, fields in [
        ("version", version_doc, [("ManifestType", "version"), ("DefaultLocale", "en-US")]),
        ("locale", locale, [("ManifestType", "defaultLocale"), ("PackageLocale", "en-US"), ("PackageName", "Quorvane"),
                            ("License", "MIT"), ("PackageUrl", homepage)]),
        ("installer", installer, [("ManifestType", "installer"), ("InstallerType", "zip"),
                                  ("NestedInstallerType", "portable")])] for field, wanted in fields] + [
    ("locale Description lacks", [e for e in exes if e not in locale.get("Description", "")], []),
    ("locale Publisher and ShortDescription", all(locale.get(f) for f in ("Publisher", "ShortDescription")), True),
    ("installer NestedInstallerFiles", sorted(installer.get("NestedInstallerFiles") or [], key=str),
     sorted(({"RelativeFilePath": f"{folder}\\{exe}", "PortableCommandAlias": exe[:-4].lower()} for exe in exes), key=str)),
    ("installer count", len(installer.get("Installers") or [{}]), 1),
    ("installer Architecture", entry.get("Architecture"), "x64"),
    ("installer InstallerUrl", entry.get("InstallerUrl"), url),
    ("installer InstallerSha256", str(entry.get("InstallerSha256")).lower(), sha256)] + [
    (f"scoop {field}", scoop.get(field), wanted) for field, wanted in [
        ("version", version), ("homepage", homepage), ("license", "MIT"), ("url", url), ("hash", sha256),
        ("extract_dir", folder), ("checkver", "github")]] + [
    ("scoop bin", sorted(scoop.get("bin") or []), exes),
    ("scoop description and autoupdate", all(scoop.get(f) for f in ("description", "autoupdate")), True),
    # A version written in by hand would equal the URL now, and fetch this zip for every later one.
    ("scoop autoupdate url names $version", "$version" in next_url, True),
    ("scoop autoupdate url, for this version", next_url.replace("$version", version), url)]
failures = [f"{what}: {actual!r}, wanted {wanted!r}" for what, actual, wanted in checks if actual != wanted]
for failure in failures:
    print("FAIL:", failure)
if failures:
    sys.exit(1)
print(f"winget and Scoop manifests for {zip_path.name}: parsed, complete, hash {sha256[:12]}…")
