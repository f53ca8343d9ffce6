#!/usr/bin/env bash
# Installs what is missing, builds for this machine and for Windows, and runs every
# test: the native ones plain and under the sanitizers, a short fuzz run, and the
# Windows ones under Wine on the bundle the Windows jobs run; and checks the docs' quoted
# examples, the presets, the workflows, the executable, and the release: its zip and
# manifests, its signing, and that it is reproducible.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh pkcs11

for preset in native asan fuzz; do
  cmake --preset $preset
  cmake --build --preset $preset
  ctest --preset $preset
done

cmake --preset windows
cmake --build --preset windows
# The windows preset's ctest entries are the developers'; here they are only checked to leave
# no suite out. Every suite itself runs below, on the bundle the Windows jobs get.
ctest --preset windows -R '^windows\.suites$'
python3 tests/check-readme.py
python3 tests/check-presets.py
python3 tests/check-workflows.py
# @action-validator/cli 0.6.0, npm's newest, predates the attestations permission, which it
# rejects ("Additional property 'attestations' is not allowed"): that one line is left out of
# what it reads. Every other key is checked as written, and a misspelt one still fails.
for workflow in .github/workflows/*.yml; do
  echo "$workflow"
  node_modules/.bin/action-validator <(grep -vE '^ +attestations: write$' "$workflow")
done
for exe in Quorvane.exe QuorvaneW.exe; do
  bash release/check-exe.sh build/windows/$exe
done
bash release/check-package.sh
# Every Windows suite, each in its own process, by the runner the Windows jobs use, on the
# bundle they get: made around the Quorvane.exe in the zip, with its own installers.
bash release/bundle.sh
sh build/windows/wine.sh setup >/dev/null
sh build/windows/wine.sh build/bundle/run-suites.exe
sh build/windows/wine.sh stop
bash release/check-signing.sh
bash release/check-reproducible.sh
