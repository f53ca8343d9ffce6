#!/usr/bin/env bash
# Builds the release once more, from a clean clone of this checkout with its uncommitted
# changes, in another folder, a few seconds later, in another time zone, with another umask
# and, as root, as another user, and fails unless each program the build lists, the zip and
# its .sha256 are those of build/windows to the byte; and checks that a tree with neither git
# history nor SOURCE_DATE_EPOCH makes no release. Needs build/windows's package made.
#   bash checks/reproducible.sh
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/windows
work=$(mktemp -d /tmp/quorvane-reproducible.XXXXXX)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"

clone=$work/a/longer/path
git clone -q "$PWD" "$clone" && git diff HEAD | git -C "$clone" apply --allow-empty
git ls-files -z --others --exclude-standard | tar -c --null -T - | tar -x -C "$clone"
user=root as=()
if ((EUID == 0)) && id nobody >/dev/null 2>&1 && command -v setpriv >/dev/null; then
  chown -R nobody "$work/a"
  user=nobody as=(setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups)
fi
# Its SOURCE_DATE_EPOCH, if any, is the caller's, as build/windows's was.
(cd "$clone" && umask 077 && env TZ=Pacific/Kiritimati HOME="$clone" "${as[@]}" \
  sh -c 'cmake --preset windows -DQUORVANE_TESTS=OFF >/dev/null &&
         cmake --build --preset windows --target package >/dev/null')

status=0
for file in $(cut -d' ' -f1 $build/programs.txt) Quorvane-*-win64.zip Quorvane-*-win64.zip.sha256; do
  made=$(cd $build && ls $file)
  cmp "$build/$made" "$clone/$build/$made" || status=1
  printf '%-36s %s\n' "$made" "$(sha256sum <"$build/$made" | cut -c1-16)…"
done
echo "built again by $user in $clone, in UTC+14, with umask 077"
((status == 0)) && echo "reproducible: both builds are identical" || echo "FAIL: the builds differ"

mkdir "$work/bare"
git archive HEAD | tar -x -C "$work/bare"
if ! (cd "$work/bare" && env -u SOURCE_DATE_EPOCH sh -c 'cmake --preset windows -DQUORVANE_TESTS=OFF &&
    cmake --build --preset windows --target package') >"$work/bare.log" 2>&1 &&
    grep -q "No release without its time" "$work/bare.log"; then
  echo "refused: a release from a tree with no git history and no SOURCE_DATE_EPOCH"
else
  cat "$work/bare.log"
  echo "FAIL: a tree with no time of its own made a release, or failed for another reason"
  status=1
fi
exit $status
