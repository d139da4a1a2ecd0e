# shellcheck shell=bash
# Sourced by test.sh and run.sh: what the real program needs around it — a 32-bit Wine, an X
# display with a system tray, a Wine prefix — started here and stopped again by e2e_stop.

E2E_PIDS=()        # Xvfb and trayer, killed by PID
E2E_OWN_PREFIX=0   # 1 when the prefix is ours, so its wineserver may be killed

# Polls a command until it succeeds or the deadline (seconds) passes.
e2e_wait_until() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    ((SECONDS < deadline)) || return 1
    sleep 0.05
  done
}

e2e_stop() {
  if ((E2E_OWN_PREFIX)) && [[ -n ${WINEPREFIX:-} ]]; then
    wineserver -k 2>/dev/null || true
  fi
  local pid
  for pid in "${E2E_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${E2E_PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
  E2E_PIDS=()
}

# Can this machine run 32-bit Linux programs (and so the 32-bit Wine)? Some kernels are built or
# booted without ia32 emulation; there the exec fails with "Exec format error".
e2e_can_run_32bit() {
  /usr/lib/wine/wine --version >/dev/null 2>&1
}

# Builds the programs under test and chooses the Wine that runs them. Normally: the mingw preset
# (32-bit) and the 32-bit Wine. Where 32-bit code cannot run, a 64-bit build of the same sources
# under wine64 stands in, and this says so loudly: it is not the shipped 32-bit program.
e2e_build_programs() {
  cmake --preset mingw
  cmake --build --preset mingw
  if e2e_can_run_32bit; then
    export WINE=wine WINEARCH=win32
    export QUINTORB_EXE=$PWD/build/mingw/Quintorb.exe
    export QDRIVER_EXE=$PWD/build/mingw/tests/e2e/driver/qdriver.exe
    return
  fi
  echo "=== This kernel cannot run 32-bit programs (ia32 emulation is off), so the 32-bit" >&2
  echo "=== Quintorb.exe cannot run under Wine here. The end-to-end tests use the 64-bit build" >&2
  echo "=== of the same sources (preset mingw64) under wine64 instead." >&2
  cmake --preset mingw64
  cmake --build --preset mingw64
  export WINE=/usr/lib/wine/wine64 WINEARCH=win64
  export QUINTORB_EXE=$PWD/build/mingw64/Quintorb.exe
  export QDRIVER_EXE=$PWD/build/mingw64/tests/e2e/driver/qdriver.exe
}

# Japanese locale (ANSI code page 932 inside Wine) and a quiet Wine.
e2e_export_locale() {
  export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
  export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
}

e2e_trayer_docked() {
  kill -0 "$1" 2>/dev/null && xwininfo -root -tree 2>/dev/null | grep -q '("panel" "trayer")'
}

# A private Xvfb (it picks a free display number and writes it to fd 3 once it accepts
# clients) with trayer docked in it as the XEmbed system tray. Exports DISPLAY.
e2e_start_display() {
  local dir=$1 fdfile=$1/displayfd
  mkdir -p "$dir"
  rm -f "$fdfile"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fdfile" >"$dir/xvfb.log" 2>&1 &
  E2E_PIDS+=($!)
  if ! e2e_wait_until 20 grep -q . "$fdfile"; then
    echo "Xvfb did not start; see $dir/xvfb.log" >&2
    return 1
  fi
  DISPLAY=:$(head -n1 "$fdfile")
  export DISPLAY
  trayer --edge bottom --align right --widthtype request --height 30 >"$dir/trayer.log" 2>&1 &
  local trayer=$!
  E2E_PIDS+=("$trayer")
  if ! e2e_wait_until 20 e2e_trayer_docked "$trayer"; then
    echo "trayer did not come up in $DISPLAY; see $dir/trayer.log" >&2
    return 1
  fi
  echo "X display $DISPLAY with trayer as system tray"
}

# A Wine prefix at $1: made fresh when $2 is "fresh", else reused when it exists.
e2e_prefix() {
  export WINEPREFIX=$1
  E2E_OWN_PREFIX=1
  [[ ${2:-} == fresh ]] && rm -rf "$WINEPREFIX"
  if [[ ! -f $WINEPREFIX/system.reg ]]; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    "$WINE" wineboot -i >"$WINEPREFIX.log" 2>&1
    wineserver -w
    # Wine's own fonts, or caption buttons draw as letters.
    cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
    # No window manager runs in the display: Wine draws captions and frames itself.
    "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
      >>"$WINEPREFIX.log" 2>&1
    wineserver -w
  fi
  # One server for the whole run, so that each program start does not start Wine anew.
  wineserver -p
}
