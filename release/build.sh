#!/usr/bin/env bash
# Builds a release the way RELEASING.md's "Verify a release" says, on Debian 12: the zip and
# its .sha256 in build/windows/, signed when QUORVANE_SIGN_PKCS12 and QUORVANE_SIGN_PASSWORD,
# or the QUORVANE_SIGN_PKCS11_* settings, are set (see release/cpack-sign.cmake), with
# winget and Scoop manifests when QUORVANE_RELEASE_URL and
# QUORVANE_HOMEPAGE_URL are, and the version's CHANGELOG entry as release-notes.md; then
# prints the toolchain it was built with. Refuses a TAG that is not "v" and the project's
# version, while CHANGELOG.md has unreleased entries or none for that version, or while the
# README's status still says Quorvane has not run on Windows (RELEASING.md's pre-tag edits).
#
#   bash release/build.sh [TAG]
set -euo pipefail
cd "$(dirname "$0")/.."

version=$(sed -n 's/^  VERSION \([0-9][0-9.]*\)$/\1/p' CMakeLists.txt)
if [[ -n ${1-} && $1 != "v$version" ]]; then
  echo "FAIL: the tag $1 does not name this version, v$version" >&2
  exit 1
fi
mkdir -p build/windows
notes=build/windows/release-notes.md
section() {
  awk -v heading="## [$1]" 'index($0, heading) == 1 {on = 1; next} /^## /{on = 0} on' CHANGELOG.md
}
section "$version" | sed '/./,$!d' >"$notes"
if [[ -n ${1-} ]]; then
  if section Unreleased | grep '^- ' >/dev/null; then
    echo "FAIL: CHANGELOG.md still has entries under [Unreleased]: name them $version first" >&2
    exit 1
  fi
  if [[ ! -s $notes ]]; then
    echo "FAIL: CHANGELOG.md has no entry for $version, the release's notes" >&2
    exit 1
  fi
  # A published zip's README can never be corrected: it must not deny the Windows runs
  # that publishing waits for.
  if grep -q 'has not yet run on Windows' README.md; then
    echo "FAIL: README.md's status still says Quorvane has not yet run on Windows" >&2
    exit 1
  fi
fi
# A workflow passes unset secrets as empty values: empty is unset.
for name in QUORVANE_SIGN_PKCS12 QUORVANE_SIGN_PASSWORD QUORVANE_SIGN_PKCS11_MODULE \
            QUORVANE_SIGN_PKCS11_KEY QUORVANE_SIGN_CERTS QUORVANE_SIGN_PKCS11_PIN \
            QUORVANE_SIGN_TIMESTAMP_URL QUORVANE_RELEASE_URL QUORVANE_HOMEPAGE_URL; do
  [[ -n ${!name-} ]] || unset "$name"
done

# osslsigncode reaches a PKCS#11 module through OpenSSL's pkcs11 engine.
bash scripts/setup.sh ${QUORVANE_SIGN_PKCS11_MODULE:+pkcs11}
cmake --preset windows -DQUORVANE_TESTS=OFF
cmake --build --preset windows --target package
(cd build/windows && sha256sum -c "Quorvane-$version-win64.zip.sha256")
bash release/toolchain.sh
