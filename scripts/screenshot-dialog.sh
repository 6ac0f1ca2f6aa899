#!/usr/bin/env bash
# Renders the mirror settings dialog on a virtual X display and saves a screenshot of it as
# docs/mirror-dialog.png. The dialog is shown by the reference host (PluginInit, then Set).
#
# usage: scripts/screenshot-dialog.sh [--western] [--message-box] [build-dir] [output.png]
#   --western      on a Western system (LC_ALL=C.UTF-8: code page 1252) instead of a Japanese one
#   --message-box  the message box Set shows when the host does not use the network, instead
#   build-dir      where bin/plugin-host.exe and bin/ispell.dll are (default: build/mingw)
# The window is found by its title, as the system reads it: a title in the wrong code page is
# not found.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
locale=ja_JP.UTF-8
network=on
title='ispellダウンロード先の設定'
name=mirror-dialog
while [ $# -gt 0 ]; do
  case $1 in
    --western) locale=C.UTF-8; shift ;;
    --message-box) network=off; title=ispell; name=message-box; shift ;;
    *) break ;;
  esac
done
[ "$locale" = ja_JP.UTF-8 ] || name=$name-cp1252
build=$(cd "${1:-build/mingw}" && pwd)
out=${2:-$root/docs/$name.png}

for tool in wine xvfb-run xwininfo import; do
  command -v "$tool" >/dev/null || { echo "missing $tool: run scripts/setup.sh" >&2; exit 1; }
done
[ -f "$build/bin/plugin-host.exe" ] || { echo "no $build/bin/plugin-host.exe: build first" >&2; exit 1; }
# The 64-bit build (preset mingw64) runs under Wine's 64-bit loader.
arch=$(sed -n 's/^export WINEARCH=//p' "$build/wine-run")
wine=wine
[ "$arch" = win64 ] && wine=/usr/lib/wine/wine64

# A prefix of its own: the tests' prefix has no display driver. Wine takes the code page from
# the locale each program starts with, so one prefix serves both.
export WINEPREFIX="$build/screenshot-wineprefix"
export WINEARCH=$arch WINEDEBUG=-all LC_ALL=$locale
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset http_proxy https_proxy ftp_proxy no_proxy HTTP_PROXY HTTPS_PROXY FTP_PROXY NO_PROXY
if [ ! -f "$WINEPREFIX/.ready" ]; then
  mkdir -p "$WINEPREFIX"
  DISPLAY= $wine wineboot -i >/dev/null 2>&1 || true
  # The template asks for "ＭＳ ゴシック": Debian's IPA Gothic stands in for it. Without a
  # window manager Wine draws the caption bar itself.
  $wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'ＭＳ ゴシック' /d IPAGothic /f >/dev/null
  $wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'MS Gothic' /d IPAGothic /f >/dev/null
  $wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'MS UI Gothic' /d IPAGothic /f >/dev/null
  $wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null
  # The caption's close box is a glyph of Wine's Marlett font (Debian: fonts-wine).
  if [ -f /usr/share/wine/fonts/marlett.ttf ]; then
    cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
  fi
  wineserver -w
  touch "$WINEPREFIX/.ready"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Typed mode with a URL of one's own, so that every control shows something.
printf '[ispell]\r\nURL=http://127.0.0.5/pub/text/TeX/ptex-win32/w32/\r\nIsURLList=0\r\nISPELLDICTDIR=C:\\ispell\\dic\\\r\nHome=C:\\home\\\r\n' >"$work/host.ini"
ini=$(winepath -w "$work/host.ini" 2>/dev/null)
log=$(winepath -w "$work/log.txt" 2>/dev/null)

export build title out work ini log wine network
xvfb-run -a -s "-screen 0 900x400x24" bash -c '
  set -euo pipefail
  $wine "$build/bin/plugin-host.exe" --ini "$ini" --log "$log" --network "$network" init set >"$work/host.out" 2>&1 &
  host=$!
  id=""
  for _ in $(seq 1 150); do
    id=$(xwininfo -root -tree 2>/dev/null | grep -F "\"$title\"" | awk "{print \$1}" | head -n 1 || true)
    [ -n "$id" ] && break
    sleep 0.2
  done
  if [ -z "$id" ]; then
    echo "the dialog did not appear" >&2
    kill "$host" 2>/dev/null || true
    exit 1
  fi
  sleep 2  # let it paint
  import -window "$id" "$out"
  kill "$host" 2>/dev/null || true
  wait "$host" 2>/dev/null || true
  wineserver -w
'
echo "saved $out"
