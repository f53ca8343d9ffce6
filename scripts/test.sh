#!/usr/bin/env bash
# Installs what is missing, builds for this machine and for Windows, and runs every
# test: the native ones plain and under the sanitizers, a short fuzz run, and the
# Windows ones under Wine, then checks the README's examples, the workflow, the
# executable, and the release: its zip and manifests, its signing, and that it is
# reproducible.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

for preset in native asan fuzz windows; do
  cmake --preset $preset
  cmake --build --preset $preset
  ctest --preset $preset
done

python3 scripts/check-readme.py
node_modules/.bin/action-validator .github/workflows/windows.yml
bash scripts/check-exe.sh build/windows/Quorvane.exe
bash scripts/check-package.sh
bash scripts/check-signing.sh
bash scripts/check-reproducible.sh
