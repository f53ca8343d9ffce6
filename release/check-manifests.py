#!/usr/bin/env python3
"""Checks the winget and Scoop manifests that the package build wrote for a zip: they parse,
carry every field a package manager needs, name the zip by the hash in its .sha256, and each
program the zip holds.

    check-manifests.py ZIP PACKAGING_DIR RELEASE_URL HOMEPAGE_URL
"""
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
failures = []


def expect(what, actual, wanted):
    if actual != wanted:
        failures.append(f"{what}: {actual!r}, wanted {wanted!r}")


def winget(kind):
    name = "Quorvane.Quorvane" + ("" if kind == "version" else "." + kind) + ".yaml"
    # The base loader keeps every scalar a string, as winget reads them.
    doc = yaml.load((packaging / "winget" / name).read_text(), Loader=yaml.BaseLoader)
    # Unquoted, 1.10 would read as the number 1.1: the version must be quoted.
    line = next(l for l in (packaging / "winget" / name).read_text().splitlines()
                if l.startswith("PackageVersion:"))
    expect(f"{name} PackageVersion line", line, f'PackageVersion: "{version}"')
    for field, wanted in [("PackageIdentifier", "Quorvane.Quorvane"),
                          ("PackageVersion", version), ("ManifestVersion", "1.12.0")]:
        expect(f"{name} {field}", doc.get(field), wanted)
    return doc


version_doc = winget("version")
expect("version ManifestType", version_doc.get("ManifestType"), "version")
expect("version DefaultLocale", version_doc.get("DefaultLocale"), "en-US")

locale = winget("locale.en-US")
expect("locale ManifestType", locale.get("ManifestType"), "defaultLocale")
for field, wanted in [("PackageLocale", "en-US"), ("PackageName", "Quorvane"),
                      ("License", "MIT"), ("PackageUrl", homepage)]:
    expect(f"locale {field}", locale.get(field), wanted)
expect("locale Description lacks", [e for e in exes if e not in locale.get("Description", "")], [])
for field in ("Publisher", "ShortDescription"):
    if not locale.get(field):
        failures.append(f"locale {field} is missing")

installer = winget("installer")
expect("installer ManifestType", installer.get("ManifestType"), "installer")
expect("installer InstallerType", installer.get("InstallerType"), "zip")
expect("installer NestedInstallerType", installer.get("NestedInstallerType"), "portable")
expect("installer NestedInstallerFiles",
       sorted(installer.get("NestedInstallerFiles") or [], key=str),
       sorted(({"RelativeFilePath": f"{folder}\\{exe}", "PortableCommandAlias": exe[:-4].lower()}
               for exe in exes), key=str))
entries = installer.get("Installers") or [{}]
expect("installer count", len(entries), 1)
expect("installer Architecture", entries[0].get("Architecture"), "x64")
expect("installer InstallerUrl", entries[0].get("InstallerUrl"), url)
expect("installer InstallerSha256", str(entries[0].get("InstallerSha256")).lower(), sha256)

scoop = json.loads((packaging / "scoop" / "quorvane.json").read_text())
for field, wanted in [("version", version), ("homepage", homepage), ("license", "MIT"),
                      ("url", url), ("hash", sha256), ("extract_dir", folder)]:
    expect(f"scoop {field}", scoop.get(field), wanted)
expect("scoop bin", sorted(scoop.get("bin") or []), exes)
expect("scoop checkver", scoop.get("checkver"), "github")
for field in ("description", "autoupdate"):
    if not scoop.get(field):
        failures.append(f"scoop {field} is missing")
next_url = scoop.get("autoupdate", {}).get("url", "")
# A version written in by hand would equal the URL now, and fetch this zip for every later one.
expect("scoop autoupdate url names $version", "$version" in next_url, True)
expect("scoop autoupdate url, for this version", next_url.replace("$version", version), url)

for failure in failures:
    print("FAIL:", failure)
if failures:
    sys.exit(1)
print(f"winget and Scoop manifests for {zip_path.name}: parsed, complete, hash {sha256[:12]}…")
