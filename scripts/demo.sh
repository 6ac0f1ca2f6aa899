#!/usr/bin/env bash
# The main job: sets up the machine, builds the plug-in and the reference host, starts a local
# ispell mirror on loopback (HTTP and FTP) and drives the plug-in through the host installer's
# whole lifecycle under Wine. Prints what the user and the host would see, and one last line
# saying whether the installation succeeded.
#
# usage: scripts/demo.sh [--ftp] [--network-off] [--ini FILE] [--url URL] [--keep]
#                        [--guest32 | --prebuilt]
#   --ftp          use the FTP mirror instead of the HTTP one
#   --network-off  the host does not use the network: install the archive already saved
#   --ini FILE     start from this INI file (copied) instead of a fresh one
#   --url URL      a real mirror (for a machine with the network); no local mirror is started
#   --keep         keep the save directory and the Wine prefix's variables from the last run
#                  (a second run then shows the freshness decision)
#   --guest32      build here, then run the lifecycle once in the emulated 32-bit machine
#                  (scripts/guest32.sh) with dist/plugin-host.exe and dist/ispell.dll; the guest
#                  has no network (no --url) and starts from a fresh Wine prefix each boot
#   --prebuilt     no setup and no build: run what is built (what the emulated machine does)
set -euo pipefail
cd "$(dirname "$0")/.."

scheme=http
network=on
ini_source=""
url=""
keep=0
guest32=0
prebuilt=0
guest_options=()  # what the run in the emulated machine is given
while (($#)); do
  case "$1" in
    --ftp) scheme=ftp; guest_options+=("$1") ;;
    --network-off) network=off; guest_options+=("$1") ;;
    --ini) ini_source="$2"; shift ;;
    --url) url="$2"; guest_options+=(--url "$2"); shift ;;
    --keep) keep=1; guest_options+=("$1") ;;
    --guest32) guest32=1 ;;
    --prebuilt) prebuilt=1 ;;
    -h|--help) sed -n '2,18p' "$0"; exit 0 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
  shift
done
if ((guest32 && prebuilt)); then echo "--guest32 and --prebuilt exclude each other" >&2; exit 2; fi

if ((prebuilt == 0)); then
  bash scripts/setup.sh
  mkdir -p build
  echo "== building (log: build/build.log)"
  if ! bash scripts/build.sh >build/build.log 2>&1; then
    tail -n 40 build/build.log
    echo "RESULT: the build failed (build/build.log)"
    exit 1
  fi
fi

if ((guest32)); then
  # The guest sees the checkout only: an INI file from elsewhere is copied into it first.
  if [ -n "$ini_source" ]; then
    cp "$ini_source" build/mingw/demo-input.ini
    guest_options+=(--ini "$PWD/build/mingw/demo-input.ini")
  fi
  echo "== the lifecycle in the emulated 32-bit machine (scripts/guest32.sh)"
  exec bash scripts/guest32.sh run -- bash scripts/demo.sh --prebuilt "${guest_options[@]}"
fi

. scripts/platform.sh
build=build/$(runnable_preset)
dist=dist
if ((prebuilt)); then
  if [ ! -x "$build/wine-run" ] || [ ! -f "$dist/plugin-host.exe" ] || [ ! -f "$dist/ispell.dll" ]; then
    echo "RESULT: nothing built to run ($build/wine-run, $dist/plugin-host.exe, $dist/ispell.dll)"
    exit 1
  fi
elif [ "$build" != build/mingw ]; then
  explain_64bit_fallback demo
  if ! { cmake --preset mingw64 && cmake --build --preset mingw64 &&
         cmake --install build/mingw64 --strip; } >>build/build.log 2>&1; then
    tail -n 40 build/build.log
    echo "RESULT: the build failed (build/build.log)"
    exit 1
  fi
  dist=$build/dist
fi
work="$PWD/$build/demo"
mirror_state="$PWD/$build/demo-mirror"
net=127.0.10
win() { local p="$1"; echo "Z:${p//\//\\}"; }
utf8() { iconv -f CP932 -t UTF-8; }

# The demo's registry (where the host writes the variables) is its own, apart from the tests'.
export DEMO_WINEPREFIX="$PWD/$build/demo-wineprefix"
if ((keep == 0)); then
  rm -rf "$work"
  if [ -f "$DEMO_WINEPREFIX/.ready" ]; then
    "$build/wine-run" reg delete 'HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment' /v ISPELL_DICTDIR /f >/dev/null 2>&1 || true
    "$build/wine-run" reg delete 'HKCU\Environment' /v HOME /f >/dev/null 2>&1 || true
  fi
fi
mkdir -p "$work/hozon" "$work/w32tex/bin" "$work/dictionaries" "$work/home"
rm -f "$work/activity.log"

cleanup() { python3 scripts/demo/mirror.py stop --dir "$mirror_state" >/dev/null 2>&1 || true; }
trap cleanup EXIT

if [ -z "$url" ]; then
  echo "== starting the local mirror: http://$net.2/ (nginx) and ftp://$net.3/ (pyftpdlib)"
  python3 scripts/demo/mirror.py start --dir "$mirror_state" --net "$net"
  if [ "$scheme" = ftp ]; then host_address=$net.3; else host_address=$net.2; fi
  url="$scheme://$host_address/pub/text/TeX/ptex-win32/w32/"
  ls -l "$mirror_state/root/pub/text/TeX/ptex-win32/w32/" | sed 's/^/   /'
fi
if [ "$network" = off ] && [ ! -f "$work/hozon/ispell.tar.xz" ]; then
  # Without the network the host installs what it saved earlier.
  cp "$mirror_state/work/ispell-3.3.02-w32.tar.xz" "$work/hozon/ispell.tar.xz" 2>/dev/null ||
    { echo "RESULT: no archive to install without the network"; exit 1; }
fi

ini="$work/plugin.ini"
if [ -n "$ini_source" ]; then
  cp "$ini_source" "$ini"
elif ((keep == 0)) || [ ! -f "$ini" ]; then
  printf '[system]\r\nNoWriteINI=0\r\n' >"$ini"
fi
# The mirror to use goes where the settings dialog would have put it.
python3 - "$ini" "$url" <<'PY'
import sys
path, url = sys.argv[1], sys.argv[2]
text = open(path, "rb").read().decode("cp932")
lines = text.replace("\r\n", "\n").split("\n")
out, section, done = [], None, False
for line in lines:
    if line.startswith("["):
        if section == "ispell" and not done:
            out.append("URL=" + url); done = True
        section = line.strip("[] ").lower()
    elif section == "ispell" and line.lower().startswith("url="):
        line = "URL=" + url; done = True
    out.append(line)
if not done:
    if section != "ispell":
        out.append("[ispell]")
    out.append("URL=" + url)
open(path, "wb").write("\r\n".join(l for l in out if l != "").encode("cp932") + b"\r\n")
PY

run_host() {
  "$build/wine-run" "$dist/plugin-host.exe" \
    --ini "$(win "$ini")" --log "$(win "$work/activity.log")" \
    --network "$network" --hozon "$(win "$work/hozon")" --install-dir "$(win "$work/w32tex")" \
    --dir-answer "$(win "$work/dictionaries")" --dir-answer "$(win "$work/home")" "$@"
}

echo
echo "== run 1: PluginInit, Info, GetInfo, IsDefault, GetDownloadData, download, Install, Reboots, unload"
set +e
run_host init info getinfo isdefault downloaddata download install reboots unload | utf8 | tee "$work/run1.txt"
status=${PIPESTATUS[0]}
set -e

echo
echo "== run 2, same save directory: is there anything newer?"
set +e
run_host init getinfo isdefault unload | utf8 | tee "$work/run2.txt"
set -e

echo
echo "== activity log (both runs)"
utf8 <"$work/activity.log" | tr -d '\r'
echo
echo "== INI file after unload"
utf8 <"$ini" | tr -d '\r'
echo
echo "== environment variables as the host wrote them"
for key in 'HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment|ISPELL_DICTDIR' 'HKCU\Environment|HOME'; do
  "$build/wine-run" reg query "${key%|*}" /v "${key#*|}" 2>/dev/null | utf8 | tr -d '\r' | grep -i "${key#*|}" || echo "   ${key#*|}: not set"
done
echo
echo "== installed files"
(cd "$work" && find w32tex dictionaries home -type f | sort | sed 's/^/   /')

echo
if [ "$status" -eq 0 ] && grep -q '^Install -> true' "$work/run1.txt"; then
  if [ "$network" = off ]; then source_text="the archive saved in the host's download directory"; else source_text="$url"; fi
  echo "RESULT: ispell was installed successfully from $source_text"
else
  echo "RESULT: the installation did not succeed (see the log above)"
  exit 1
fi
