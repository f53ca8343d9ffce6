#!/usr/bin/env bash
# Installs what is missing, builds for this machine and for Windows, and runs every
# test: the native ones plain and under the sanitizers, a short fuzz run, and the
# Windows ones under Wine, then checks the docs' quoted examples, the workflows, the
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

# The tools the workflow and the benchmark run, built as strictly as the program.
cmake --build --preset windows --target listener desktop
python3 tests/check-readme.py
python3 tests/check-presets.py
for workflow in .github/workflows/*.yml; do
  node_modules/.bin/action-validator "$workflow"
done
bash release/check-exe.sh build/windows/Quorvane.exe
bash release/check-package.sh
bash release/check-signing.sh
bash release/check-reproducible.sh
