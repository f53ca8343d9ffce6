#!/usr/bin/env bash
# Prints the size, imported DLLs, subsystem and security flags of a Windows executable, and
# fails when it is over 20 KiB, imports anything beyond KERNEL32, USER32 and msvcrt, lacks
# ASLR, high-entropy VA or NX, or is not of the subsystem the build lists it with in the
# programs.txt beside it (gui: 2; console, or not listed: 3); then checks its manifest's
# structure (check-exe-manifest.py), unless --headers-only (the benchmark's look at whatever
# program it times).
#
#   bash release/check-exe.sh [--headers-only] [EXE]
set -euo pipefail
manifest=yes
[[ ${1-} != --headers-only ]] || { manifest=; shift; }
exe=${1:-build/windows/Quorvane.exe}
limit=$((20 * 1024))

headers=$(x86_64-w64-mingw32-objdump -p "$exe")
size=$(stat -c %s "$exe")
imports=$(sed -n 's/^\s*DLL Name: //p' <<<"$headers" | sort -f | paste -sd ' ')
subsystem=$(sed -n 's/^Subsystem\s*0*\([0-9]*\).*/\1/p' <<<"$headers")
listed=$(awk -v exe="$(basename "$exe")" '$1 == exe {print $2}' "$(dirname "$exe")/programs.txt" 2>/dev/null)
wanted=3
[[ $listed != gui ]] || wanted=2
flags=$(sed -n '/^DllCharacteristics/,/^[A-Z]/p' <<<"$headers" | grep -oE 'HIGH_ENTROPY_VA|DYNAMIC_BASE|NX_COMPAT' | sort | paste -sd ' ')

printf 'file:    %s\nsize:    %d bytes (limit %d)\nimports: %s\nsubsystem: %s (wanted %s)\nflags:   %s\n' \
  "$exe" "$size" "$limit" "$imports" "$subsystem" "$wanted" "$flags"

status=0
((size <= limit)) || { echo "FAIL: larger than $((limit / 1024)) KiB"; status=1; }
[[ ${imports^^} == "KERNEL32.DLL MSVCRT.DLL USER32.DLL" ]] || { echo "FAIL: unexpected imports"; status=1; }
[[ $subsystem == "$wanted" ]] || { echo "FAIL: subsystem $subsystem, wanted $wanted"; status=1; }
[[ $flags == "DYNAMIC_BASE HIGH_ENTROPY_VA NX_COMPAT" ]] || { echo "FAIL: missing security flags"; status=1; }
if [[ -n $manifest ]]; then
  python3 "$(dirname "$0")/check-exe-manifest.py" "$exe" || status=1
fi
exit $status
