#!/usr/bin/env bash
# Sets everything up and starts the demo: installs the packages and builds the release preset.
# The program itself is still being built; for now this stops after the build.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh release
echo "Build finished in build/release. The demo program is not part of this build yet."
