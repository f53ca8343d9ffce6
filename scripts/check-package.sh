#!/usr/bin/env bash
# Makes the Windows release zip and checks it: its checksum file, and that it holds
# exactly the built Quorvane.exe and the README.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/windows

cmake --build --preset windows --target package
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' $build/CMakeCache.txt)
zip=Quorvane-$version-win64.zip
(cd $build && sha256sum -c "$zip.sha256")

listing=$(cd $build && cmake -E tar tf "$zip" | sort | paste -sd ' ')
expected="Quorvane-$version-win64/Quorvane.exe Quorvane-$version-win64/README.md"
[[ $listing == "$expected" ]] || { echo "FAIL: $zip holds: $listing"; exit 1; }

unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
(cd "$unpacked" && cmake -E tar xf "$OLDPWD/$build/$zip")
cmp "$unpacked/Quorvane-$version-win64/Quorvane.exe" $build/Quorvane.exe
cmp "$unpacked/Quorvane-$version-win64/README.md" README.md
echo "$zip: checksum, contents and files OK"
