#!/usr/bin/env bash
# Sets everything up and runs all tests: installs the packages, builds the dev preset, runs ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh dev
ctest --preset dev -j "$(nproc)"
