#!/usr/bin/env bash
# Lays out, around each program of a release zip (as the build lists them), what the Windows
# suites need, so that a Windows machine runs them as it is: the test program, the stand-in
# for a failing broadcast and for the test program, the tools (run-suites.exe runs every
# suite), the zip's licence and README, the examples, and the installers (NSIS per user and
# for all users, MSI), made here from those same exes. The windows preset builds the rest.
#
#   bash release/bundle.sh [ZIP [OUT]]   ZIP: this version's in build/windows; OUT: build/bundle
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/windows
cmake --preset windows >/dev/null
# A reused build folder keeps the zips of earlier versions.
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' $build/CMakeCache.txt)
zip=${1:-$build/Quorvane-$version-win64.zip}
out=${2:-build/bundle}
[ -f "$zip" ] || { echo "FAIL: no release zip: $zip" >&2; exit 1; }

cmake --build --preset windows --target windows_test stand_in listener desktop run-suites \
  >/dev/null

rm -rf "$out"
mkdir -p "$out"
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
cmake -E chdir "$unpacked" cmake -E tar xf "$(realpath "$zip")"
exes=$(cut -d' ' -f1 $build/programs.txt)
for exe in $exes; do
  cp "$unpacked"/Quorvane-*-win64/"$exe" "$out/$exe"
  # The copy, against the zip's own entry as the zip library reads it (CRC checked).
  python3 -c 'import sys, zipfile
zip = zipfile.ZipFile(sys.argv[1])
[name] = [n for n in zip.namelist() if n.endswith("/" + sys.argv[2])]
sys.stdout.buffer.write(zip.read(name))' "$zip" "$exe" | cmp - "$out/$exe"
done
cp "$unpacked"/Quorvane-*-win64/{LICENSE,README.txt} "$out"
cp $build/{windows_test,stand_in,listener,desktop,run-suites}.exe \
  $build/{mytool-home.cmd,mytool-path.ps1,mytool.nsi,mytool.wxs,mytool.txt} "$out"
# The installers the tests build: 64-bit, so that Windows runs what Wine runs here.
target="-XTarget amd64-unicode"
(cd "$out" && makensis -V2 "$target" mytool.nsi && makensis -V2 "$target" -DALL_USERS mytool.nsi &&
  wixl -a x64 -o mytool.msi mytool.wxs)
echo "bundle: $out, around these programs of $(basename "$zip"):" \
  "$(for exe in $exes; do echo "$exe $(sha256sum <"$out/$exe" | cut -c1-16)…"; done | paste -sd ' ')"
