#!/usr/bin/env bash
# The tests' Wine prefix, CTest fixture wine_prefix. Usage: wine-prefix.sh WINE_RUN PREFIX start|stop
#   start  creates the prefix (a minute or so the first time) and opens Wine's desktop with a
#          program that stays until stop;
#   stop   ends that program, by the process id start wrote down.
# Wine starts its desktop process with the first window made in the prefix and hands it that
# program's standard error; the desktop lives as long as any program of the prefix does, and
# CTest would wait that long for the output of whichever test happened to open a window first.
# Opened here, the desktop holds no test's output.
set -euo pipefail
wine_run=$1
prefix=$2
action=$3
pid_file="$prefix-desktop.pid"

# The process ids of the programs of this prefix whose command line matches.
in_prefix() {
  local pid
  for pid in $(pgrep -f "$1" || true); do
    if { tr '\0' '\n' <"/proc/$pid/environ"; } 2>/dev/null | grep -qx "WINEPREFIX=$prefix"; then
      echo "$pid"
    fi
  done
}

keeper_alive() {
  [ -f "$pid_file" ] && grep -qs notepad "/proc/$(cat "$pid_file")/cmdline"
}

case $action in
  start)
    "$wine_run" cmd /c exit </dev/null >/dev/null 2>&1
    keeper_alive && exit 0
    # Wine runs the program as a process of its own: its id is looked up, not taken from $!.
    "$wine_run" notepad.exe </dev/null >/dev/null 2>&1 &
    for _ in $(seq 1 300); do
      keeper=$(in_prefix '^C:\\windows\\system32\\notepad\.exe' | head -n 1)
      if [ -n "$keeper" ] && [ -n "$(in_prefix '^C:\\windows\\system32\\explorer\.exe /desktop')" ]; then
        echo "$keeper" >"$pid_file"
        exit 0
      fi
      sleep 0.1
    done
    echo "wine-prefix.sh: Wine's desktop did not open" >&2
    exit 1
    ;;
  stop)
    if keeper_alive; then kill "$(cat "$pid_file")"; fi
    rm -f "$pid_file"
    ;;
  *)
    echo "usage: wine-prefix.sh WINE_RUN PREFIX start|stop" >&2
    exit 2
    ;;
esac
