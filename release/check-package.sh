#!/usr/bin/env bash
# Makes the Windows release zip with its package-manager manifests and checks them: the
# checksum file, that the zip holds exactly the programs the build lists, each with its own
# checksum, the user's README, which names each program and this version, the licence, and
# the examples as committed with their own README, that the NSIS example builds 32-bit
# installers with NSIS as downloaded for Windows, and that the manifests describe it.
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

listing=$(cd $build && cmake -E tar tf "$zip" | sort | paste -sd ' ')
examples=$(git ls-files examples | grep -vx examples/README.md)
expected=$(printf "Quorvane-$version-win64/%s\n" LICENSE README.txt $exes ${exes//.exe/.exe.sha256} \
  examples/ examples/README.txt $examples | sort | paste -sd ' ')
[[ $listing == "$expected" ]] || { echo "FAIL: $zip holds other files (<) than expected (>):" &&
  diff <(tr ' ' '\n' <<<"$listing") <(tr ' ' '\n' <<<"$expected"); exit 1; }

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
# characters, and nothing of building, testing or releasing.
for page in README:220 examples/README:200; do
  text=$folder/${page%:*}.txt
  cmp "$text" <(sed '/^<!-- for developers/,$d' "${page%:*}.md" | sed -e :a -e '/^\n*$/{$d;N;ba' -e '}' |
    grep -vx '<!--.*-->' | sed 's/$/\r/')
  if grep -n '<!--' "$text" || grep -vn $'\r$' "$text"; then
    echo "FAIL: the zip's ${page%:*}.txt has an HTML comment, or a line without CR LF"
    exit 1
  fi
  lines=$(wc -l <"$text")
  ((lines <= ${page#*:})) || { echo "FAIL: the zip's ${page%:*}.txt has $lines lines"; exit 1; }
  python3 - "$text" "${page%:*}.txt" <<'PYTHON'
import sys
fenced = False
for number, line in enumerate(open(sys.argv[1], encoding="utf-8", newline="").read().split("\r\n"), 1):
    fenced ^= line.lstrip().startswith("```")
    if not fenced and len(line) > 100:
        sys.exit(f"FAIL: the zip's {sys.argv[2]}, line {number}, is {len(line)} characters wide")
PYTHON
  # What building or releasing would speak of; the README may still name the developer guide.
  if grep -niE 'apt-get|fuzz|SOURCE_DATE_EPOCH|osslsigncode|cmake|CONTRIBUTING|RELEASING' "$text"; then
    echo "FAIL: the zip's ${page%:*}.txt speaks of developing Quorvane"
    exit 1
  fi
  for exe in $exes; do
    grep -qF "$exe" "$text" || { echo "FAIL: the zip's ${page%:*}.txt does not name $exe"; exit 1; }
  done
  ! grep -noE 'Quorvane-[0-9.]+-win64' "$text" | grep -v ":Quorvane-$version-win64$" ||
    { echo "FAIL: the zip's ${page%:*}.txt names another version than $version"; exit 1; }
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
for setup in "$folder"/examples/mytool-setup{,-all-users}.exe; do
  header=$(od -An -tu4 -j60 -N4 "$setup")
  [[ $(od -An -tx2 -j$((header + 4)) -N2 "$setup") == " 014c" ]] ||
    { echo "FAIL: $(basename "$setup"), built with x86-only NSIS, is not a 32-bit program"; exit 1; }
done
/usr/bin/python3 release/check-manifests.py $build/$zip $build/packaging \
  "$QUORVANE_RELEASE_URL" "$QUORVANE_HOMEPAGE_URL"
echo "$zip: checksum, contents and files OK; the NSIS example builds 32-bit with x86-only NSIS"
