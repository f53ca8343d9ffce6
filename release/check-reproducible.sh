#!/usr/bin/env bash
# Builds the release twice from two clean clones of the last commit, in different folders,
# a few seconds apart, with different time zones and umasks (and, as root, as another
# user), and fails unless each program the build lists, the zip and its .sha256 are the same
# to the byte; and checks that a tree with neither git history nor SOURCE_DATE_EPOCH makes
# no release.
set -euo pipefail
cd "$(dirname "$0")/.."

work=$(mktemp -d /tmp/quorvane-reproducible.XXXXXX)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"

# build DIR TZ UMASK [USER]: clones into DIR and makes the package there.
build() {
  local dir=$1 tz=$2 mask=$3 user=${4-}
  git clone -q "$PWD" "$dir"
  local as=()
  if [[ -n $user ]]; then
    chown -R "$user" "$dir"
    as=(setpriv --reuid="$user" --regid="$(id -g "$user")" --clear-groups)
  fi
  (cd "$dir" && umask "$mask" && env -u SOURCE_DATE_EPOCH TZ="$tz" HOME="$dir" "${as[@]}" \
    sh -c 'cmake --preset windows -DQUORVANE_TESTS=OFF >/dev/null &&
           cmake --build --preset windows --target package >/dev/null')
}

other=
if ((EUID == 0)) && id nobody >/dev/null 2>&1 && command -v setpriv >/dev/null; then
  other=nobody
fi
build "$work/one" UTC 022
sleep 3
build "$work/two/a/longer/path" Pacific/Kiritimati 077 $other

status=0
for file in $(cut -d' ' -f1 "$work/one/build/windows/programs.txt") Quorvane-*-win64.zip \
            Quorvane-*-win64.zip.sha256; do
  a=$(cd "$work/one/build/windows" && ls $file)
  if cmp "$work/one/build/windows/$a" "$work/two/a/longer/path/build/windows/$a"; then
    printf '%-36s %s\n' "$a" "$(sha256sum <"$work/one/build/windows/$a" | cut -c1-16)…"
  else
    status=1
  fi
done
echo "built by root and ${other:-root}, in UTC and UTC+14, with umask 022 and 077"
((status == 0)) && echo "reproducible: both builds are identical" || echo "FAIL: the builds differ"

mkdir "$work/bare"
git archive HEAD | tar -x -C "$work/bare"
if (cd "$work/bare" && env -u SOURCE_DATE_EPOCH sh -c 'cmake --preset windows -DQUORVANE_TESTS=OFF &&
    cmake --build --preset windows --target package') >"$work/bare.log" 2>&1; then
  echo "FAIL: a tree with no time of its own made a release"
  status=1
elif grep -q "No release without its time" "$work/bare.log"; then
  echo "refused: a release from a tree with no git history and no SOURCE_DATE_EPOCH"
else
  cat "$work/bare.log"
  echo "FAIL: the release from a tree with no time of its own failed for another reason"
  status=1
fi
exit $status
