#!/usr/bin/env bash
# Installs what is needed, builds the Linux uninstaller and the substitute deployment
# library (not the tests, nor the Windows executable), copies the demo machine to a
# scratch folder and runs the uninstaller on it (answering OK when it asks to close
# programs); prints what the run changed, then the log. Arguments are passed on to the
# uninstaller (e.g. /s). A second run finds both installed and built.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh demo
echo "Building the uninstaller into ${ZU_BUILD_DIR:-build}/ (about a minute on 2 cores the first time," \
  "seconds after that; the output goes to ${ZU_BUILD_DIR:-build}/build.log) ..."
bash scripts/build.sh uninstaller zu_deploy_substitute
scratch="$(mktemp -d)"
cp -a examples/machines/demo "$scratch/machine"
# The release's deployment library is the project's substitute, built for this host.
cp "${ZU_BUILD_DIR:-build}/examples/deploy/deploy.dll" \
  "$scratch/machine/drives/C/Program Files/Zuna/zre1.8.0_31/bin/deploy.dll"
set +e
"${ZU_BUILD_DIR:-build}/windows/uninstallerexe/uninstaller" --machine "$scratch/machine" --report --answer ok -- "$@"
status=$?
set -e
echo
echo "== zusched.log =="
cat "$scratch/machine/drives/C/Users/user/AppData/Local/Temp/zusched.log" | tr -d '\r'
echo
echo "The machine after the run is in $scratch/machine (exit status $status)."
