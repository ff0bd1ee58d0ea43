#!/usr/bin/env bash
# The parity suite: runs each scenario on the hosted build and on uninstaller.exe under
# Wine, and compares what the two runs did (exit status, log records, registry, files,
# boxes, dialogs, messages and process starts). Usage:
#   bash tests/parity/run.sh [--list] [SCENARIO...]
# ZU_PARITY_WORK names the folder for the prefixes and outcomes (default: a temporary one,
# kept when a scenario differs).
set -euo pipefail
cd "$(dirname "$0")/../.."
source=$PWD
ZU_SETUP_EXTRA="${ZU_SETUP_EXTRA:-} wine wine64 xvfb xdotool python3" bash scripts/setup.sh

# Configured as scripts/build.sh and CI configure them, so that nothing is built twice.
build="${ZU_BUILD_DIR:-build}"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE="${ZU_BUILD_TYPE:-Release}" -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
  ${ZU_CMAKE_ARGS:-} >/dev/null
cmake --build "$build" -j "$(nproc)" --target uninstaller zu_deploy_substitute zu_parity_machine >/dev/null
cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DZU_BUILD_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=Release >/dev/null 2>&1
cmake --build build-win -j "$(nproc)" >/dev/null

# The Windows helpers: static, so that they need no MinGW libraries in the prefix.
bin=build-win/parity
mkdir -p "$bin"
cc=(x86_64-w64-mingw32-gcc -O2 -Wall -Wextra -Werror -static)
"${cc[@]}" -o "$bin/holder.exe" tests/parity/win/holder.c -limm32
"${cc[@]}" -o "$bin/recorder.exe" tests/parity/win/recorder.c
"${cc[@]}" -municode -o "$bin/runexit.exe" tests/parity/win/runexit.c
"${cc[@]}" -shared -o "$bin/module.dll" tests/parity/win/module.c
"${cc[@]}" -o "$bin/screenshot.exe" tests/parity/win/screenshot.c -lgdi32

work="${ZU_PARITY_WORK:-}"
[ -n "$work" ] || work="$(mktemp -d /tmp/zu-parity.XXXXXX)"
mkdir -p "$work"

# One virtual display for every scenario; the boxes and dialogs are shown on it.
display=":$((90 + RANDOM % 100))"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null || true' EXIT
for _ in $(seq 50); do
  [ -e "/tmp/.X11-unix/X${display#:}" ] && break
  sleep 0.1
done

set +e
python3 tests/parity/parity.py --source "$source" --hosted "$build/windows/uninstallerexe/uninstaller" \
  --make-machine "$build/tests/zu_parity_machine" --deploy-host "$build/examples/deploy/deploy.dll" \
  --deploy-win build-win/examples/deploy/deploy.dll --exe build-win/windows/uninstallerexe/uninstaller.exe \
  --bin "$bin" --work "$work" --display "$display" "$@"
status=$?
set -e
[ "$status" -eq 0 ] && [ -z "${ZU_PARITY_WORK:-}" ] && rm -rf "$work"
[ "$status" -ne 0 ] && echo "The runs' machines, outcomes and relay logs are in $work"
exit "$status"
