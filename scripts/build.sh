#!/usr/bin/env bash
# Builds the Linux uninstaller and its tests into build/ (or $ZU_BUILD_DIR).
set -euo pipefail
cd "$(dirname "$0")/.."
build="${ZU_BUILD_DIR:-build}"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE="${ZU_BUILD_TYPE:-RelWithDebInfo}" ${ZU_CMAKE_ARGS:-} >/dev/null
cmake --build "$build" -j "$(nproc)"
