#!/usr/bin/env bash
# Installs what is missing, builds this machine's and the Windows build, and runs
# every test: the Windows ones under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

cmake --preset native
cmake --build --preset native
ctest --preset native

cmake --preset windows
cmake --build --preset windows
bash scripts/check-exe.sh build/windows/Quorvane.exe
ctest --preset windows
