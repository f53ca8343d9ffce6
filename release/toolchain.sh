#!/usr/bin/env bash
# Prints the Debian release and the versions of the packages that decide a release's bytes:
# a build reproduces a release only with the same ones.
set -euo pipefail
echo "Debian $(cat /etc/debian_version)"
for package in g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 \
               mingw-w64-x86-64-dev cmake ninja-build python3 osslsigncode; do
  dpkg-query -W -f='${Package} ${Version}\n' "$package" 2>/dev/null || echo "$package (not installed)"
done
