#!/usr/bin/env bash
# The main job: sets up the machine, builds, and drives the plug-in through the host
# installer's lifecycle with the reference host under Wine, then shows what it produced.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
mkdir -p build
if ! bash scripts/build.sh >build/build.log 2>&1; then
  tail -n 40 build/build.log
  echo "RESULT: the build failed (build/build.log)"
  exit 1
fi

build=build/mingw
work="$build/demo"
rm -rf "$work"
mkdir -p "$work/hozon" "$work/w32tex"
to_windows() { local p="$PWD/$1"; echo "Z:${p//\//\\}"; }

cat >"$work/plugin.ini" <<'INI'
[system]
NoWriteINI=0
INI

echo "== plugin-host.exe: PluginInit, Info, IsDefault, Reboots, Sets, unload"
"$build/wine-run" dist/plugin-host.exe \
  --ini "$(to_windows "$work/plugin.ini")" --log "$(to_windows "$work/activity.log")" \
  --hozon "$(to_windows "$work/hozon")" --install-dir "$(to_windows "$work/w32tex")" \
  init info isdefault reboots sets unload | iconv -f CP932 -t UTF-8
status=${PIPESTATUS[0]}

echo
echo "== INI file after unload ($work/plugin.ini)"
iconv -f CP932 -t UTF-8 "$work/plugin.ini" | tr -d '\r'
echo
echo "== activity log ($work/activity.log)"
if [ -f "$work/activity.log" ]; then iconv -f CP932 -t UTF-8 "$work/activity.log" | tr -d '\r'; else echo "(empty: nothing was logged)"; fi
echo
if [ "$status" -eq 0 ]; then echo "RESULT: the plug-in loaded, answered and saved its settings."; else echo "RESULT: failed (exit $status)"; exit 1; fi
