#!/usr/bin/env python3
"""Reads the manifest back out of a built Windows executable and checks its structure: that
it parses, and that each setting stands once, in its place and namespace, with its value.
Windows refuses to start a program whose manifest is malformed and ignores a setting out of
place; Wine does neither, so the tests that run the exe cannot see this.

    check-exe-manifest.py EXE
"""
import pathlib
import re
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

V1 = "urn:schemas-microsoft-com:asm.v1"
V3 = "urn:schemas-microsoft-com:asm.v3"
COMPAT = "urn:schemas-microsoft-com:compatibility.v1"
SETTINGS_2024 = "http://schemas.microsoft.com/SMI/2024/WindowsSettings"
OS = {"35138b9a-5d96-4fbd-8e2d-a2440225f93a": "7", "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38": "8",
      "1f676c76-80e1-4239-95bb-83d0f6d0da78": "8.1",
      "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a": "10 and 11"}


def resource_id(res, at):
    """An ordinal or a UTF-16 name at `at`, and where what follows it starts."""
    if struct.unpack_from("<H", res, at)[0] == 0xFFFF:
        return struct.unpack_from("<H", res, at + 2)[0], at + 4
    end = at
    while res[end:end + 2] != b"\0\0":
        end += 2
    return res[at:end].decode("utf-16-le"), end + 2


def resources(exe):
    """(type, name, data) of every resource, from the .res form windres gives back."""
    with tempfile.TemporaryDirectory() as work:  # windres crashes writing .res to a pipe
        subprocess.run(["x86_64-w64-mingw32-windres", "-J", "coff", "-i", exe, "-O", "res",
                        "-o", f"{work}/res"], check=True)
        res = pathlib.Path(work, "res").read_bytes()
    at = 0
    while at + 8 <= len(res):
        size, header = struct.unpack_from("<II", res, at)
        kind, after = resource_id(res, at + 8)
        name, _ = resource_id(res, after)
        yield kind, name, res[at + header:at + header + size]
        at += header + size + (-size % 4)


def place(*steps):
    return tuple("{%s}%s" % step for step in steps)


exe = sys.argv[1]
manifests = [data for kind, name, data in resources(exe) if kind == 24]
failures = []
if len(manifests) != 1:
    sys.exit(f"FAIL: {exe} holds {len(manifests)} manifests")
try:
    root = ET.fromstring(manifests[0])
except ET.ParseError as error:
    sys.exit(f"FAIL: {exe}'s manifest does not parse: {error}")

# Every element with the path of elements above it, each as {namespace}tag.
places = []
def walk(element, path):
    places.append((path + (element.tag,), element))
    for child in element:
        walk(child, path + (element.tag,))
walk(root, ())


def once(local, *path):
    """The one element named `local` in the whole document, which must be at `path`."""
    found = [(p, e) for p, e in places if p[-1].split("}")[-1] == local]
    want = place(*path)
    if len(found) != 1 or found[0][0] != want:
        failures.append(f"{local}: wanted once, at {'/'.join(want)}; found at "
                        f"{['/'.join(p) for p, _ in found]}")
        return ET.Element(local)
    return found[0][1]


def expect(what, actual, wanted):
    if actual != wanted:
        failures.append(f"{what}: {actual!r}, wanted {wanted!r}")


assembly = once("assembly", (V1, "assembly"))
expect("manifestVersion", assembly.get("manifestVersion"), "1.0")
identity = once("assemblyIdentity", (V1, "assembly"), (V1, "assemblyIdentity"))
version = identity.get("version", "")
if not re.fullmatch(r"(\d{1,5}\.){3}\d{1,5}", version) or \
        max(map(int, version.split("."))) > 65535:
    failures.append(f"assemblyIdentity version: {version!r}, wanted four numbers")
level = once("requestedExecutionLevel", (V1, "assembly"), (V3, "trustInfo"), (V3, "security"),
             (V3, "requestedPrivileges"), (V3, "requestedExecutionLevel"))
expect("requestedExecutionLevel level", level.get("level"), "asInvoker")
expect("requestedExecutionLevel uiAccess", level.get("uiAccess"), "false")
settings = once("windowsSettings", (V1, "assembly"), (V3, "application"), (V3, "windowsSettings"))
policy = once("consoleAllocationPolicy", (V1, "assembly"), (V3, "application"),
              (V3, "windowsSettings"), (SETTINGS_2024, "consoleAllocationPolicy"))
expect("consoleAllocationPolicy", (policy.text or "").strip(), "detached")
tags = [setting.tag for setting in settings]
expect("windowsSettings repeated", sorted({t for t in tags if tags.count(t) > 1}), [])
supported = place((V1, "assembly"), (COMPAT, "compatibility"), (COMPAT, "application"),
                  (COMPAT, "supportedOS"))
ids = [e.get("Id") for p, e in places if p == supported]
expect("supportedOS", sorted(ids), sorted("{%s}" % guid for guid in OS))

for failure in failures:
    print(f"FAIL: {exe}'s manifest: {failure}")
if failures:
    sys.exit(1)
print(f"manifest: well-formed; asInvoker, consoleAllocationPolicy detached, version {version}, "
      f"Windows {', '.join(OS.values())}")
