#!/usr/bin/python3
"""Checks each program that build/windows/programs.txt lists (or EXE) as Windows loads it: at most
20 KiB, importing KERNEL32, USER32 and msvcrt alone, with ASLR (high-entropy) and NX, of its
subsystem there (gui, or else console), with one manifest in which each setting stands once, in
place, with its value. Windows refuses a malformed manifest and ignores a setting out of place;
Wine does neither, so no test sees it. --headers-only: all but the manifest, for the benchmark.
    /usr/bin/python3 checks/exe.py [--headers-only] [EXE...]"""
import pathlib
import re
import sys
import xml.etree.ElementTree as ET

import pefile

V1, V3 = "urn:schemas-microsoft-com:asm.v1", "urn:schemas-microsoft-com:asm.v3"
COMPAT = "urn:schemas-microsoft-com:compatibility.v1"
OS = {"35138b9a-5d96-4fbd-8e2d-a2440225f93a": "7", "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38": "8",
      "1f676c76-80e1-4239-95bb-83d0f6d0da78": "8.1", "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a": "10 and 11"}
ASSEMBLY, SETTINGS = f"{{{V1}}}assembly", (f"{{{V3}}}application", f"{{{V3}}}windowsSettings")
PLACES = {  # where each setting stands, once
    "assembly": (ASSEMBLY,), "assemblyIdentity": (ASSEMBLY, f"{{{V1}}}assemblyIdentity"),
    "requestedExecutionLevel": (ASSEMBLY,) + tuple(f"{{{V3}}}{t}" for t in (
        "trustInfo", "security", "requestedPrivileges", "requestedExecutionLevel")),
    "windowsSettings": (ASSEMBLY,) + SETTINGS,
    "consoleAllocationPolicy": (ASSEMBLY,) + SETTINGS + ("{http://schemas.microsoft.com/SMI/2024/WindowsSettings}"
                                                        "consoleAllocationPolicy",)}


def check(exe, headers_only):
    """Prints what it finds of the program; returns what is wrong."""
    pe = pefile.PE(str(exe))
    header = pe.OPTIONAL_HEADER
    listed = exe.parent / "programs.txt"
    kinds = dict(line.split() for line in listed.read_text().splitlines()) if listed.exists() else {}
    imports = sorted(entry.dll.decode() for entry in pe.DIRECTORY_ENTRY_IMPORT)
    flags = [name for name, bit in [("DYNAMIC_BASE", 0x40), ("HIGH_ENTROPY_VA", 0x20), ("NX_COMPAT", 0x100)]
             if header.DllCharacteristics & bit]
    wanted = 2 if kinds.get(exe.name) == "gui" else 3
    print(f"{exe}: {exe.stat().st_size} bytes (limit 20480), imports {' '.join(imports)}, "
          f"subsystem {header.Subsystem} (wanted {wanted}), {' '.join(flags)}")
    failures = [what for what, bad in [
        ("larger than 20 KiB", exe.stat().st_size > 20 * 1024),
        ("imports beyond KERNEL32, USER32 and msvcrt", sorted(i.upper() for i in imports) != ["KERNEL32.DLL", "MSVCRT.DLL", "USER32.DLL"]),
        (f"subsystem {header.Subsystem}, wanted {wanted}", header.Subsystem != wanted),
        ("without ASLR (high-entropy) or NX", len(flags) != 3)] if bad]

    resources = pe.DIRECTORY_ENTRY_RESOURCE.entries if hasattr(pe, "DIRECTORY_ENTRY_RESOURCE") else []
    manifests = [pe.get_data(lang.data.struct.OffsetToData, lang.data.struct.Size)
                 for kind in resources if kind.id == pefile.RESOURCE_TYPE["RT_MANIFEST"]
                 for name in kind.directory.entries for lang in name.directory.entries]
    if not headers_only:
        try:
            document = ET.fromstring(manifests[0]) if len(manifests) == 1 else ET.Element(f"{len(manifests)}-manifests")
        except ET.ParseError as error:
            document = ET.Element(f"unparsed: {error}")
        places = []  # every element, with the {namespace}tags of the path down to it
        def walk(element, path):
            places.append((path + (element.tag,), element))
            for child in element:
                walk(child, path + (element.tag,))
        walk(document, ())
        found = {name: [(p, e) for p, e in places if p[-1].split("}")[-1] == name] for name in PLACES}
        failures += [f"the manifest's {name}: wanted once, at {'/'.join(path)}; found at {[p for p, _ in found[name]]}"
                     for name, path in PLACES.items() if [p for p, _ in found[name]] != [path]]
        get = {name: at[0][1] if len(at) == 1 else ET.Element("missing") for name, at in found.items()}
        version = get["assemblyIdentity"].get("version", "")
        tags = [setting.tag for setting in get["windowsSettings"]]
        supported = (ASSEMBLY, f"{{{COMPAT}}}compatibility", f"{{{COMPAT}}}application", f"{{{COMPAT}}}supportedOS")
        failures += [f"the manifest's {what}: {actual!r}, wanted {expected!r}" for what, actual, expected in [
            ("manifestVersion", get["assembly"].get("manifestVersion"), "1.0"),
            ("version of four numbers to 65535", bool(re.fullmatch(r"(\d{1,5}\.){3}\d{1,5}", version))
             and max(map(int, version.split("."))) <= 65535, True),
            ("level", get["requestedExecutionLevel"].get("level"), "asInvoker"),
            ("uiAccess", get["requestedExecutionLevel"].get("uiAccess"), "false"),
            ("consoleAllocationPolicy", (get["consoleAllocationPolicy"].text or "").strip(), "detached"),
            ("windowsSettings repeated", sorted({t for t in tags if tags.count(t) > 1}), []),
            ("supportedOS", sorted(e.get("Id") for p, e in places if p == supported), sorted("{%s}" % g for g in OS))]
            if actual != expected]
        if not failures:
            print(f"{exe.name}'s manifest: asInvoker, consoleAllocationPolicy detached, version {version}, "
                  f"Windows {', '.join(OS.values())}")
    return [f"FAIL: {exe}: {failure}" for failure in failures]


headers_only = "--headers-only" in sys.argv
exes = [pathlib.Path(a) for a in sys.argv[1:] if a != "--headers-only"] or [
    pathlib.Path("build/windows", line.split()[0]) for line in pathlib.Path("build/windows/programs.txt").read_text().splitlines()]
failures = [failure for exe in exes for failure in check(exe, headers_only)]
print("\n".join(failures) or f"programs: {len(exes)} as Windows will load them")
sys.exit(1 if failures else 0)
