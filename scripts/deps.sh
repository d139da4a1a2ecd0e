#!/usr/bin/env bash
# Installs everything the build and the tests need on Debian 12 (as root). Idempotent: when all
# of it is there already, this only checks and takes a moment.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive

# Wine and what it needs to run the 32-bit program in an X display. libxfixes3:i386 is only
# recommended by Wine, but without it text copied on the X side takes seconds to reach Wine.
packages=(
  wine wine32:i386
  libxfixes3:i386 libxi6:i386 libxcursor1:i386 libxrandr2:i386 libxrender1:i386
  libxinerama1:i386 libxcomposite1:i386 libxxf86vm1:i386 fonts-wine
  g++-mingw-w64-i686 xvfb xauth xdotool xclip x11-utils imagemagick trayer
  locales fonts-ipafont-gothic procps
  cmake ninja-build g++ googletest libgtest-dev
)

need_root() {
  if ((EUID != 0)); then
    echo "deps.sh: $1; run this script as root" >&2
    exit 1
  fi
}

install_missing() {
  local p status missing=()
  for p in "$@"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
    [[ $status == installed ]] || missing+=("$p")
  done
  ((${#missing[@]})) || return 0
  need_root "missing ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
}

install_missing "${packages[@]}"

# Some kernels run without ia32 emulation, so no 32-bit program starts. The tests then use a
# 64-bit build under wine64 instead (scripts/e2e-env.sh), which needs these as well.
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  install_missing wine64 g++-mingw-w64-x86-64-win32
fi

# Japanese locale: under it Wine's ANSI code page is 932 (Shift-JIS), which the program assumes.
if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'; then
  need_root "the ja_JP.UTF-8 locale is missing"
  localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi
