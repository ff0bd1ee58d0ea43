#!/usr/bin/env bash
# Builds the Linux uninstaller and its tests into build/ (or $ZU_BUILD_DIR); with
# targets named (`build.sh uninstaller ...`), only those, and without the tests when
# build/ is new (an existing build/ is not configured again: the build itself does
# that when a CMakeLists.txt changed).
set -euo pipefail
cd "$(dirname "$0")/.."
build="${ZU_BUILD_DIR:-build}"
targets=()
[ $# -gt 0 ] && targets=(--target "$@")
if [ $# -eq 0 ] || [ ! -f "$build/CMakeCache.txt" ]; then
  options=(-DZU_BUILD_TESTS=ON)
  # A build of a few targets from scratch (the demo's) precompiles the common headers.
  [ $# -gt 0 ] && options=(-DZU_BUILD_TESTS=OFF -DZU_PCH=ON)
  # Optimised, without debug information by default, which builds faster.
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE="${ZU_BUILD_TYPE:-Release}" -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
    "${options[@]}" ${ZU_CMAKE_ARGS:-} >/dev/null
fi
# The full output goes to a file; the terminal sees warnings, or everything on failure.
if ! cmake --build "$build" -j "$(nproc)" "${targets[@]}" >"$build/build.log" 2>&1; then
  cat "$build/build.log"
  exit 1
fi
grep -E -A3 "warning:|error:" "$build/build.log" || true
