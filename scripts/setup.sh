#!/usr/bin/env bash
# Installs everything the build, the tests and the demo need on a fresh Debian
# machine (run as root). Safe to run again: it only installs what is missing.
set -euo pipefail

packages=(
  g++-mingw-w64-i686 gcc-mingw-w64-i686-posix g++-mingw-w64-i686-posix
  binutils-mingw-w64-i686 mingw-w64-i686-dev
  wine
  cmake ninja-build googletest
  g++ libgtest-dev clang libclang-rt-14-dev
  nginx-light libnginx-mod-http-fancyindex python3-pyftpdlib tinyproxy apache2 lighttpd caddy
  webfs mini-httpd openssl
  xvfb xauth x11-apps imagemagick fonts-ipafont-gothic fonts-wine
  xz-utils tar locales procps
)

# A mirror in the middle of a sync serves an index that does not match its release file: try
# again, and then go on with the indexes that did arrive (the install says what is missing).
apt_update() {
  local attempt
  for attempt in 1 2 3; do
    apt-get update -qq && return 0
    sleep $((attempt * 10))
  done
  echo "setup.sh: some package indexes could not be fetched; going on with the others" >&2
}

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt_update
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Wine's 32-bit loader only where the kernel can execute 32-bit code. An i386 index that did not
# arrive (a mirror in the middle of a sync) can leave it uninstallable: the machine then runs the
# 64-bit build and the emulated machine, as one that cannot execute 32-bit code does.
. "$(dirname "$0")/platform.sh"
if runs_32bit_code && ! has_wine32; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    apt_update
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get install -y -qq --no-install-recommends wine32:i386 ||
    echo "setup.sh: wine32:i386 could not be installed; the 32-bit build will run in the emulated machine" >&2
fi

# Without Wine's 32-bit loader the machine needs the 64-bit build and Wine's 64-bit loader, and
# the tools that build and boot the emulated machine the 32-bit build runs in (guest32.sh).
if ! runs_32bit_wine; then
  fallback=(wine64 g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
            mingw-w64-x86-64-dev
            qemu-system-x86 mmdebstrap e2fsprogs debian-archive-keyring)
  missing=()
  for p in "${fallback[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  if ((${#missing[@]})); then
    export DEBIAN_FRONTEND=noninteractive
    apt_update
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
fi

# Wine's ANSI code page follows the locale: ja_JP.UTF-8 gives code page 932.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen 2>/dev/null || true
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null || echo 'ja_JP.UTF-8 UTF-8' >>/etc/locale.gen
  locale-gen >/dev/null
fi

# The packaged servers must not run as system services: tests start their own.
for svc in nginx tinyproxy apache2 lighttpd caddy webfs mini-httpd; do
  if command -v systemctl >/dev/null 2>&1; then systemctl disable --now "$svc" >/dev/null 2>&1 || true; fi
  service "$svc" stop >/dev/null 2>&1 || true
done
