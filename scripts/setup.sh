#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need (skips those present);
# `setup.sh demo` only those the Linux uninstaller needs, which is all the demo builds.
set -euo pipefail

packages=(
  cmake make g++            # the build
  nlohmann-json3-dev        # machine.json and the journal, in the Linux layer
)
[ "${1:-}" = demo ] || packages+=(
  libgtest-dev              # the tests
  g++-mingw-w64-x86-64      # the real uninstaller.exe
  liblnk-utils              # lnkinfo: the tests read the layer's shell links with it
  python3                   # the parity comparison and its own test
)
[ "${ZU_SETUP_EXTRA:-}" ] && read -r -a extra <<<"$ZU_SETUP_EXTRA" && packages+=("${extra[@]}")

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
