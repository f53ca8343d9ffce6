#!/usr/bin/env bash
# Installs, with apt-get, the Debian packages the build and the tests need and this
# machine lacks. Run as root; it does nothing when all of them are present.
set -euo pipefail

packages=(cmake ninja-build g++ libgtest-dev)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
