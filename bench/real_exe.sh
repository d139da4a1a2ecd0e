#!/usr/bin/env bash
# Measures the real program under Wine, in a private X display: processor time while idle (with
# a 10-byte and with a 64 MB text on the clipboard), and the longest time its message queue goes
# unserved while it captures and switches a 64 MB single-line text. Prints numbers; passes or
# fails nothing. Usage: bench/real_exe.sh [idle-seconds, default 60]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/e2e-env.sh
idle=${1:-60}

scripts/deps.sh >/dev/null
cmake --preset host >/dev/null
e2e_build_programs >/dev/null
trap e2e_stop EXIT
e2e_export_locale
e2e_start_display build/bench >/dev/null
e2e_prefix "$PWD/build/bench/prefix"

probe=$(dirname "$QUINTORB_EXE")/win32_probe.exe
"$WINE" "$QUINTORB_EXE" &
pid=$!
e2e_wait_until 60 "$WINE" "$QDRIVER_EXE" wait TForm1 exists 1000 >/dev/null

cpu() { awk '{ printf "%.2f", ($14 + $15) / 100 }' "/proc/$pid/stat"; }
idle_cpu() {
  local before after
  before=$(cpu)
  sleep "$idle"
  after=$(cpu)
  echo "idle ${idle} s, $1 on the clipboard: $(echo "$after - $before" | bc) s of processor time"
}
# Runs "$@" while a probe keeps asking the main window for a no-op message; prints the longest wait.
unserved() {
  local label=$1 out
  shift
  out=$(mktemp)
  "$WINE" "$probe" probe 8000 >"$out" &
  local p=$!
  sleep 1
  "$@" >/dev/null
  wait "$p"
  echo "$label: longest unserved message queue $(sed -n 's/^max_ms=//p' "$out") ms"
  rm -f "$out"
}

echo "program: $QUINTORB_EXE under $WINE"
"$WINE" "$probe" fill 10 >/dev/null
idle_cpu "10 B"
unserved "capture of 64 MB" "$WINE" "$probe" fill $((64 << 20))
idle_cpu "64 MB"
unserved "switch to the empty slot B" "$WINE" "$probe" chord 300
sleep 1.5
unserved "switch back to the 64 MB slot A" "$WINE" "$probe" chord 300
"$WINE" "$probe" read | sed 's/^/wine read of the clipboard (any program): /'
kill "$pid"
