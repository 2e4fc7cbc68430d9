#!/usr/bin/env bash
# Builds the Windows installer build-windows/ordix-<version>-setup.exe: the
# Windows Qt cache (once), the cross-build, then NSIS.
set -euo pipefail
cd "$(dirname "$0")/../.."
./scripts/install-deps.sh
qt=$(nice -n 5 scripts/windows/build-cache.sh | tail -n 1)
scripts/windows/test-windows.sh build "$qt"
scripts/windows/test-windows.sh installer "$qt"
