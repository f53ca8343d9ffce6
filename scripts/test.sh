#!/usr/bin/env bash
# Installs what is missing, then runs every check and test in order: the linters, the workflows
# and the docs first, as they fail in seconds; the Windows build and its programs; the
# release zip and its manifests; every suite under Wine on the bundle the Windows jobs run;
# and the release's signing and reproducibility. Each check's first comment says what it does.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh pkcs11 checks
[[ node_modules/.package-lock.json -nt package-lock.json ]] || npm ci --no-audit --no-fund
bash checks/lint.sh
python3 checks/workflows.py
python3 checks/docs.py

cmake --preset windows
cmake --build --preset windows
/usr/bin/python3 checks/exe.py
bash checks/package.sh
bash release/bundle.sh
sh build/windows/wine.sh setup >/dev/null
sh build/windows/wine.sh build/bundle/run-suites.exe
sh build/windows/wine.sh stop
bash checks/signing.sh
bash checks/reproducible.sh
