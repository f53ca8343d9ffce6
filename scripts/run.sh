#!/usr/bin/env bash
# Builds Quorvane for this machine and runs its one job.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset native
cmake --build --preset native --target Quorvane
build/native/Quorvane /broadcast
