#!/bin/bash
# Runs win32_smoke.exe under Wine in its own Xvfb display, takes a screenshot while its windows
# and tray icon are up, and checks that its last clipboard text reaches X as UTF-8.
#
#   run_smoke.sh path/to/win32_smoke.exe [out-dir]
#
# Environment: DISPLAY_NUM (default 91), WINEPREFIX (default /tmp/wp-smoke; made if missing and
# shut down at the end), WINE (default wine). A 64-bit build of the smoke program (where the
# kernel cannot run 32-bit Wine) needs WINE=/usr/lib/wine/wine64 WINELOADER=/usr/lib/wine/wine64
# WINEARCH=win64 and a prefix of its own.
set -u
exe=$(readlink -f "$1")
out=${2:-/tmp/win32-smoke}
mkdir -p "$out"
wine_cmd=${WINE:-wine}
export DISPLAY=:${DISPLAY_NUM:-91}
export WINEPREFIX=${WINEPREFIX:-/tmp/wp-smoke}
export WINEARCH=${WINEARCH:-win32}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8

Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >"$out/xvfb.log" 2>&1 &
xvfb=$!
cleanup() {
  kill "$xvfb" 2>/dev/null
  wineserver -k 2>/dev/null
}
trap cleanup EXIT

# Wait until the display answers (deadline, no fixed sleep).
for _ in $(seq 100); do
  xdpyinfo >/dev/null 2>&1 && break
  xdotool getmouselocation >/dev/null 2>&1 && break
  sleep 0.05
done

if [ ! -d "$WINEPREFIX" ]; then
  "$wine_cmd" wineboot -i >"$out/wineboot.log" 2>&1
  wineserver -w
  cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null
fi

marker="$out/holding"
rm -f "$marker" "$out/outside.log"
# Wine takes the Unix path as it is.
"$wine_cmd" "$exe" --hold "$marker" \
  >"$out/smoke.log" 2>"$out/smoke.err" &
prog=$!

status=0
for _ in $(seq 600); do
  [ -e "$marker" ] && break
  kill -0 "$prog" 2>/dev/null || break
  sleep 0.05
done
if [ -e "$marker" ]; then
  import -window root "$out/screen.png"
  got=$(xclip -selection clipboard -o 2>/dev/null)
  if [ "$got" = "ミルテナ" ]; then
    echo "ok   X clipboard shows the Shift-JIS title as UTF-8" >>"$out/outside.log"
  else
    echo "FAIL X clipboard shows [$got]" >>"$out/outside.log"
    status=1
  fi
  rm -f "$marker"
else
  echo "FAIL the program never reached its hold point" >>"$out/outside.log"
  status=1
fi
wait "$prog" || status=1
cat "$out/smoke.log" "$out/outside.log"
echo "screenshot: $out/screen.png"
exit $status
