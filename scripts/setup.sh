#!/usr/bin/env bash
# Installs, with apt-get, the Debian packages the build and the tests need and this
# machine lacks. Run as root; it does nothing when all of them are present. With "pkcs11",
# also what signing through a PKCS#11 token takes, and the throwaway token the signing check
# makes; with "checks", Node.js for the workflow linter and shellcheck (the main job and the
# release need neither).
#
#   bash scripts/setup.sh [pkcs11] [checks]
set -euo pipefail

packages=(
  cmake ninja-build                   # the build
  g++-mingw-w64-x86-64 googletest     # the Windows programs, and GoogleTest's sources
  wine64                              # runs the tests
  nsis wixl                           # builds the installer examples
  osslsigncode openssl python3-yaml   # signs the release; reads its manifests
  python3-pefile                      # reads its programs
  git                                 # the release's times; the reproducibility check
)

for extra in "$@"; do
  case $extra in
    pkcs11) packages+=(libengine-pkcs11-openssl softhsm2 opensc) ;;
    checks)
      packages+=(shellcheck)
      command -v npm >/dev/null || packages+=(nodejs npm)  # from Debian, unless here already
      ;;
    *) echo "setup.sh: no '$extra': pkcs11 or checks" >&2 && exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q "${missing[@]}"
fi
