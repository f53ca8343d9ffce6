#!/usr/bin/env bash
# Makes the Windows release zip with its package-manager manifests and checks them: the
# checksum file, that the zip holds exactly the programs the build lists, each with its own
# checksum, the user's README, which names each program and this version, the licence, and
# the examples as committed with their own README, that the NSIS example builds 32-bit
# installers with NSIS as downloaded for Windows, and that the manifests describe it.
#   bash checks/package.sh   (with the windows preset built)
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/windows

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' $build/CMakeCache.txt)
exes=$(cut -d' ' -f1 $build/programs.txt)
# Addresses of a test release; the manifests are only made when both are set.
export QUORVANE_RELEASE_URL=https://example.org/quorvane/releases/download/v$version
export QUORVANE_HOMEPAGE_URL=https://example.org/quorvane
rm -rf $build/packaging
cmake --build --preset windows --target package
zip=Quorvane-$version-win64.zip
(cd $build && sha256sum -c "$zip.sha256")

examples=$(git ls-files examples | grep -vx examples/README.md)
diff <(cd $build && cmake -E tar tf "$zip" | sort) <(printf "Quorvane-$version-win64/%s\n" LICENSE README.txt \
  $exes ${exes//.exe/.exe.sha256} examples/ examples/README.txt $examples | sort) ||
  { echo "FAIL: $zip holds other files (<) than expected (>)"; exit 1; }

unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
(cd "$unpacked" && cmake -E tar xf "$OLDPWD/$build/$zip")
folder=$unpacked/Quorvane-$version-win64
for exe in $exes; do
  cmp "$folder/$exe" "$build/$exe"
  [[ $(cat "$folder/$exe.sha256") == "$(cd "$folder" && sha256sum "$exe")"$'\r' ]] ||
    { echo "FAIL: $exe.sha256 is not the exe's: $(cat "$folder/$exe.sha256")"; exit 1; }
done
for file in $examples; do cmp "$folder/$file" "$file"; done
# The user's pages, each the repository's up to any developers' section, without its comment
# lines, with CR LF line ends, short, no line outside fenced code wider than Notepad's 100
# characters, naming each program and this version alone, and nothing of building, testing or
# releasing (the README may still name the developers' guide).
for page in README:220 examples/README:200; do
  cmp "$folder/${page%:*}.txt" <(sed '/^<!-- for developers/,$d' "${page%:*}.md" |
    sed -e :a -e '/^\n*$/{$d;N;ba' -e '}' | grep -vx '<!--.*-->' | sed 's/$/\r/')
  python3 - "$folder" "${page%:*}.txt" "${page#*:}" "$version" $exes <<'PYTHON'
import re, sys
folder, page, limit, version, *exes = sys.argv[1:]
text = open(f"{folder}/{page}", encoding="utf-8", newline="").read()
lines, fenced, failures = text.split("\r\n")[:-1], False, []
for number, line in enumerate(lines, 1):
    fenced ^= line.lstrip().startswith("```")
    failures += [f"line {number} is {len(line)} characters wide"] * (not fenced and len(line) > 100)
failures += [what for what, bad in [
    ("an HTML comment, or a line without CR LF", "<!--" in text or "\n" in text.replace("\r\n", "")),
    (f"{len(lines)} lines", len(lines) > int(limit)),
    ("words of developing Quorvane", re.search(r"apt-get|SOURCE_DATE_EPOCH|osslsigncode|cmake|CONTRIBUTING|RELEASING", text, re.I)),
    (f"another version than {version}", set(re.findall(r"Quorvane-([0-9.]+)-win64", text)) - {version})] if bad]
failures += [f"no {exe}" for exe in exes if exe not in text]
for failure in failures:
    print(f"FAIL: the zip's {page}: {failure}")
sys.exit(bool(failures))
PYTHON
done
cmp "$folder/LICENSE" LICENSE
# The NSIS example as its page says to build it, with NSIS as downloaded for Windows: a copy of
# Debian's without the amd64 stubs and plugins. Each build must be a 32-bit program (PE i386).
nsis=$unpacked/nsis
cp -r /usr/share/nsis "$nsis" && rm -r "$nsis"/Stubs/*amd64* "$nsis"/Plugins/amd64*
cp "$folder/Quorvane.exe" "$folder/examples"
for build_option in "" -DALL_USERS; do
  (cd "$folder/examples" && NSISDIR=$nsis makensis -V2 $build_option mytool.nsi) ||
    { echo "FAIL: mytool.nsi${build_option:+ $build_option} does not build with x86-only NSIS"; exit 1; }
done
/usr/bin/python3 -c 'import pefile, sys; sys.exit(any(pefile.PE(f).FILE_HEADER.Machine != 0x14c for f in sys.argv[1:]))' \
  "$folder"/examples/mytool-setup{,-all-users}.exe || { echo "FAIL: x86-only NSIS made a program that is not 32-bit"; exit 1; }
/usr/bin/python3 checks/manifests.py $build/$zip $build/packaging \
  "$QUORVANE_RELEASE_URL" "$QUORVANE_HOMEPAGE_URL"
echo "$zip: checksum, contents and files OK; the NSIS example builds 32-bit with x86-only NSIS"
