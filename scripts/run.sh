#!/usr/bin/env bash
# Builds Quintorb.exe and starts it under Wine. It uses the caller's X display; without one it
# starts a private Xvfb with a system tray and says how to look at it.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/e2e-env.sh

scripts/deps.sh
e2e_build_programs
trap e2e_stop EXIT
e2e_export_locale

if [[ -z ${DISPLAY:-} ]]; then
  echo "DISPLAY is not set: starting a private Xvfb with trayer."
  e2e_start_display build/run
  echo "Look at it with: DISPLAY=$DISPLAY import -window root shot.png"
fi
# The caller's own prefix when one is set (left running at the end), else one kept in build/run.
if [[ -z ${WINEPREFIX:-} ]]; then
  e2e_prefix "$PWD/build/run/prefix"
fi

echo "Starting $QUINTORB_EXE (stop it with Ctrl+C or from its tray icon)"
status=0
"$WINE" "$QUINTORB_EXE" || status=$?
echo "Quintorb exited with status $status"
exit "$status"
