#!/usr/bin/env bash
# Builds the Linux uninstaller and its tests into build/ (or $ZU_BUILD_DIR).
set -euo pipefail
cd "$(dirname "$0")/.."
build="${ZU_BUILD_DIR:-build}"
# Optimised, without debug information by default, which builds faster.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE="${ZU_BUILD_TYPE:-Release}" -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
  ${ZU_CMAKE_ARGS:-} >/dev/null
# The full output goes to a file; the terminal sees warnings, or everything on failure.
if ! cmake --build "$build" -j "$(nproc)" >"$build/build.log" 2>&1; then
  cat "$build/build.log"
  exit 1
fi
grep -E -A3 "warning:|error:" "$build/build.log" || true
