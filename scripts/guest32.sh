#!/usr/bin/env bash
# The emulated 32-bit machine. Where this kernel cannot execute 32-bit x86 code, the 32-bit build
# (preset mingw: the code installed into dist/) runs in a full-system emulated guest (qemu, TCG):
# Debian bookworm amd64 with i386 multiarch for Wine's 32-bit loader, built from Debian's
# packages. The checkout is shared with the guest at the same absolute path, so the CTest files
# (absolute paths) stay valid; build/mingw/bin and dist are copied onto the guest's own disk and
# mounted over the shared folders (test programs loaded from the share were seen to fault while
# loading), and the Wine prefixes live on the guest's disk too.
#
# usage: scripts/guest32.sh prepare
#        scripts/guest32.sh run [--time-limit SECONDS] [--] COMMAND [ARG...]
#        scripts/guest32.sh test [--demo] [--time-limit SECONDS] [CTEST-ARG...]
#        scripts/guest32.sh clean
#   prepare  builds what is missing or out of date: root file system, kernel, initrd, disk image
#   run      boots the guest and runs COMMAND in the current directory (the checkout's root when
#            called from outside it); its output and exit status come through, then the guest
#            powers off. One test: scripts/guest32.sh run -- ctest --preset mingw -R plugin_exports
#   test     ctest --preset mingw [CTEST-ARG...] in the guest, then its summary; --demo also runs
#            the demo's lifecycle (scripts/demo.sh --prebuilt) in the same boot
#   clean    removes build/guest32/
# run and test build the guest first when needed (prepare); the host builds the programs.
#
# Kept in build/guest32/ and reused while the package list, the mirror and this script's guest
# parts are unchanged: rootfs/ (mmdebstrap's output, about 9 min to make), vmlinuz and initrd.img
# (from the guest's /boot), disk.img (ext4 made from rootfs/, under 1 min; it also keeps an
# initialised Wine prefix, one to two minutes to make in the guest), console.log (the guest's
# console of the last boot), run/ (what the last boot was given and reported).
#
# Time limits (seconds; environment): GUEST32_BOOT_LIMIT (300) until the guest's init runs,
# GUEST32_SETUP_LIMIT (1500) for the copies and the Wine prefix, then the command's own limit
# (--time-limit; run 3600, test 2700). A guest still running at a limit is stopped by its PID.
# GUEST32_MIRROR overrides the Debian mirror (default: the one the host's apt sources use).
#
# Exit status: the command's own; 124 when a time limit ran out; 125 when the guest failed (did
# not boot, ended without reporting, disk full); 1 when the guest could not be built.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
dir=${GUEST32_DIR:-$repo/build/guest32}
boot_limit=${GUEST32_BOOT_LIMIT:-300}
setup_limit=${GUEST32_SETUP_LIMIT:-1500}

# Everything the guest needs at run time, in one place: a change here rebuilds the root file
# system on the next run.
guest_packages=(
  linux-image-amd64 kmod mount iproute2                  # boot, the shared folders, loopback
  wine wine32:i386 fonts-wine locales                    # Wine's 32-bit loader, code page 932
  cmake python3 procps xz-utils tar                      # ctest, the test scripts
  nginx-light python3-pyftpdlib tinyproxy                # the tests' servers
  apache2 lighttpd caddy openssl
  libnginx-mod-http-fancyindex webfs mini-httpd
)
# Only the release and its updates: the guest is a test harness that never ships.
suites=(bookworm bookworm-updates)
# Room on the guest's disk beyond the root file system: the copied programs, the Wine prefixes,
# the tests' scratch trees.
free_mb=6144

say() { echo "guest32: $*"; }
die() { echo "guest32: $1" >&2; exit "${2:-1}"; }

# The Debian mirror of the host's apt sources that serves bookworm (not its security archive).
host_mirror() {
  local uri
  uri=$(cat /etc/apt/sources.list.d/*.sources 2>/dev/null | awk '
    BEGIN { RS = "" }
    {
      r = "\n" $0 "\n"
      if (r ~ /\nSuites:([^\n]*[ \t])?bookworm[ \t\n]/ && r ~ /\nTypes:([^\n]*[ \t])?deb[ \t\n]/) {
        n = split(r, lines, "\n")
        for (i = 1; i <= n; i++)
          if (lines[i] ~ /^URIs:/) { split(lines[i], w, /[ \t]+/); print w[2]; exit }
      }
    }')
  if [ -z "$uri" ]; then
    uri=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null | awk '
      $1 == "deb" {
        i = 2
        if ($2 ~ /^\[/) { while (i < NF && $i !~ /\]$/) i++; i++ }
        if ($(i + 1) == "bookworm") { print $i; exit }
      }')
  fi
  echo "${uri:-http://deb.debian.org/debian}"
}
mirror=${GUEST32_MIRROR:-$(host_mirror)}
mirror=${mirror%/}

# PID 1 of the guest, kept on its disk: mounts the run folder the host shares for this boot and
# hands over to the init found there (written afresh each boot by run_guest), so that the guest's
# steps can change without rebuilding the disk.
stub_init='#!/bin/sh
mountpoint -q /proc || mount -t proc proc /proc
mountpoint -q /sys || mount -t sysfs sysfs /sys
mountpoint -q /dev || mount -t devtmpfs devtmpfs /dev
mountpoint -q /run || mount -t tmpfs tmpfs /run
modprobe 9pnet_virtio
mkdir -p /run/guest32
if mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144 guest32run /run/guest32; then
  exec /bin/bash /run/guest32/init.sh
fi
echo "guest32-init: the host'"'"'s run folder could not be mounted" >/dev/console
echo o >/proc/sysrq-trigger
sleep 60'

# Run in the guest's root file system as mmdebstrap finishes: the locale Wine's code page
# follows.
rootfs_hook='echo "ja_JP.UTF-8 UTF-8" >"$1/etc/locale.gen" && chroot "$1" locale-gen >/dev/null'

key_of() { printf '%s\n' "$@" | sha256sum | cut -d' ' -f1; }
rootfs_key=$(key_of rootfs-1 "$mirror" "${suites[@]}" "${guest_packages[@]}" "$rootfs_hook")
image_key=$(key_of image-1 "$rootfs_key" "$stub_init" "$free_mb")

# The archive is asked for the release file first, so that a mirror out of reach is named as
# such instead of deep in mmdebstrap's log.
check_mirror() {
  local probe err
  probe=$(mktemp)
  if ! err=$(timeout 120 /usr/lib/apt/apt-helper download-file "$mirror/dists/${suites[0]}/InRelease" "$probe" 2>&1); then
    rm -f "$probe"
    echo "$err" | tail -n 3 >&2
    die "the package archive $mirror cannot be reached: the guest's root file system was not built"
  fi
  rm -f "$probe"
}

build_rootfs() {
  local started=$SECONDS sources=() suite include
  command -v mmdebstrap >/dev/null || die "mmdebstrap is missing (scripts/setup.sh installs it)"
  ((EUID == 0)) || die "building the guest needs root (mmdebstrap, directory mode)"
  say "building the root file system from $mirror (${suites[*]}); log: $dir/rootfs.log"
  check_mirror
  rm -rf "$dir/rootfs" "$dir/rootfs.new" "$dir/rootfs.key" "$dir/disk.img" "$dir/image.key"
  for suite in "${suites[@]}"; do sources+=("deb $mirror $suite main"); done
  include=$(IFS=,; echo "${guest_packages[*]}")
  if ! mmdebstrap --mode=root --variant=minbase --architectures=amd64,i386 \
      --include="$include" \
      --aptopt='APT::Install-Recommends "false"' --aptopt='Acquire::Retries "3"' \
      --dpkgopt='path-exclude=/usr/share/doc/*' --dpkgopt='path-exclude=/usr/share/man/*' \
      --dpkgopt='path-exclude=/usr/share/info/*' \
      --customize-hook="$rootfs_hook" \
      "${suites[0]}" "$dir/rootfs.new" "${sources[@]}" >"$dir/rootfs.log" 2>&1; then
    grep -E '^(E|W): ' "$dir/rootfs.log" | tail -n 8 >&2 || tail -n 8 "$dir/rootfs.log" >&2
    if grep -qiE 'could not (connect|resolve)|failed to fetch|unable to connect|temporary failure|connection (refused|timed out)' "$dir/rootfs.log"; then
      die "the package archive $mirror could not be reached, or did not serve a package, while building the root file system (log: $dir/rootfs.log)"
    fi
    die "mmdebstrap failed: the guest's root file system was not built (log: $dir/rootfs.log)"
  fi
  mv "$dir/rootfs.new" "$dir/rootfs"
  local kernel initrd
  kernel=$(ls "$dir"/rootfs/boot/vmlinuz-* 2>/dev/null | sort -V | tail -n 1)
  initrd=$(ls "$dir"/rootfs/boot/initrd.img-* 2>/dev/null | sort -V | tail -n 1)
  [ -n "$kernel" ] && [ -n "$initrd" ] || die "the root file system has no kernel or initrd in /boot"
  cp "$kernel" "$dir/vmlinuz"
  cp "$initrd" "$dir/initrd.img"
  echo "$rootfs_key" >"$dir/rootfs.key"
  say "root file system built in $((SECONDS - started)) s ($(du -sh "$dir/rootfs" | cut -f1))"
}

build_image() {
  local started=$SECONDS size_mb
  say "making the guest's disk image from the root file system"
  rm -f "$dir/disk.img" "$dir/image.key"
  mkdir -p "$dir/rootfs/usr/local/sbin"
  printf '%s\n' "$stub_init" >"$dir/rootfs/usr/local/sbin/guest32-init"
  chmod 755 "$dir/rootfs/usr/local/sbin/guest32-init"
  size_mb=$(($(du -sm "$dir/rootfs" | cut -f1) + free_mb))
  truncate -s "${size_mb}M" "$dir/disk.img.new"
  mke2fs -q -F -t ext4 -L guest32 -d "$dir/rootfs" "$dir/disk.img.new" ||
    die "mke2fs could not make the guest's disk image"
  mv "$dir/disk.img.new" "$dir/disk.img"
  echo "$image_key" >"$dir/image.key"
  say "disk image made in $((SECONDS - started)) s (${size_mb} MB, sparse)"
}

prepare() {
  mkdir -p "$dir"
  if [ "$(cat "$dir/rootfs.key" 2>/dev/null)" != "$rootfs_key" ] || [ ! -f "$dir/vmlinuz" ]; then
    build_rootfs
  fi
  if [ "$(cat "$dir/image.key" 2>/dev/null)" != "$image_key" ] || [ ! -f "$dir/disk.img" ]; then
    build_image
  fi
}

# The init of one boot (run by the stub from /run/guest32): mounts the checkout at its own path,
# copies the programs onto the guest's disk, sets up the Wine prefixes, runs the job under its
# time limit, writes the status and powers off. Settings come from job.env.
guest_init() {
  cat <<'INIT'
#!/bin/bash
set -u
run=/run/guest32
exec >>"$run/output" 2>&1 </dev/null
say() { echo "guest32: $*"; }
finish() {
  echo "$1" >"$run/status"
  kill -TERM -1 2>/dev/null; sleep 2; kill -KILL -1 2>/dev/null
  umount -R "$CHECKOUT" 2>/dev/null
  mount -o remount,ro / 2>/dev/null
  sync
  echo o >/proc/sysrq-trigger
  sleep 60
}
. "$run/job.env"
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8
read -r uptime _ </proc/uptime
say "booted in ${uptime%.*} s"
touch "$run/booted"

mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
mount -t tmpfs tmpfs /dev/shm
ip link set lo up
# What a previous boot left (a job that filled the disk, say) goes first.
rm -rf /job /tmp /var/tmp
mkdir -p /job && mkdir -m 1777 /tmp /var/tmp
fstrim / 2>/dev/null  # and the image file on the host shrinks back
mkdir -p "$CHECKOUT"
mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144 checkout "$CHECKOUT" ||
  { say "the checkout could not be mounted at $CHECKOUT"; finish 125; }

disk_full() { [ "$(df -Pk / | awk 'NR == 2 { print $4 }')" -lt 65536 ]; }
started=$SECONDS
for d in "${COPY[@]}"; do
  [ -d "$CHECKOUT/$d" ] || continue
  mkdir -p "/job/copy/$d"
  if ! cp -a "$CHECKOUT/$d/." "/job/copy/$d/"; then
    say "$d could not be copied onto the guest's disk ($(df -h / | awk 'NR == 2 { print $4 }') free)"
    finish 125
  fi
  mount --bind "/job/copy/$d" "$CHECKOUT/$d"
done
say "programs copied onto the guest's disk in $((SECONDS - started)) s"

# One initialised Wine prefix is kept on the disk, made by the build's own wine-run; each prefix
# the job uses is an overlay on it, so what a run writes there is gone at the next boot.
if [ -n "$WINE_RUN" ] && [ -x "$CHECKOUT/$WINE_RUN" ]; then
  template=/var/cache/guest32/wineprefix
  key=$({ cat "$CHECKOUT/cmake/wine-run.in"; wine --version; } | sha256sum | cut -d' ' -f1)
  if [ "$(cat "$template.key" 2>/dev/null)" != "$key" ]; then
    say "making the Wine prefix on the guest's disk (kept for later boots)"
    started=$SECONDS
    rm -rf "$template" "$template.new" "$template.key"
    mkdir -p /var/cache/guest32
    DEMO_WINEPREFIX=$template.new timeout "$SETUP_LIMIT" "$CHECKOUT/$WINE_RUN" cmd /c exit
    WINEPREFIX=$template.new wineserver -k 2>/dev/null
    if [ ! -f "$template.new/.ready" ]; then
      if disk_full; then say "the guest's disk is full: the Wine prefix could not be made"
      else say "the Wine prefix could not be made"; fi
      finish 125
    fi
    mv "$template.new" "$template" && echo "$key" >"$template.key" && sync
    say "Wine prefix made in $((SECONDS - started)) s"
  fi
  i=0
  for p in "${PREFIXES[@]}"; do
    i=$((i + 1))
    mkdir -p "/job/prefix$i/upper" "/job/prefix$i/work" "$CHECKOUT/$p"
    mount -t overlay overlay -o "lowerdir=$template,upperdir=/job/prefix$i/upper,workdir=/job/prefix$i/work" "$CHECKOUT/$p" ||
      { say "the Wine prefix could not be mounted at $p"; finish 125; }
  done
fi

touch "$run/started"
cd "$WORKDIR" || { say "no directory $WORKDIR in the guest"; finish 125; }
export ISPELL_CLAIMED_MACHINE=i386 ISPELL_GUEST32=1
timeout -k 20 "$JOB_LIMIT" bash "$run/job.sh"
status=$?
cd /
if [ "$status" -eq 124 ]; then
  say "the command did not finish within its limit of $JOB_LIMIT s: stopped"
fi
if disk_full; then
  say "the guest's disk is full ($(df -h / | awk 'NR == 2 { print $4 }') free): results of this run cannot be trusted"
  [ "$status" -ne 0 ] || status=125
fi
finish "$status"
INIT
}

qemu_pid=""
stop_qemu() {
  local pid=${qemu_pid:-$(cat "$dir/qemu.pid" 2>/dev/null || true)}
  [ -n "$pid" ] || return 0
  # Only the process this directory's pid file names, and only while it is that qemu.
  if grep -qs "qemu-system" "/proc/$pid/cmdline" && tr '\0' ' ' <"/proc/$pid/cmdline" | grep -qF "$dir/disk.img"; then
    kill -TERM "$pid" 2>/dev/null || true
    for _ in $(seq 1 20); do kill -0 "$pid" 2>/dev/null || break; sleep 0.5; done
    kill -KILL "$pid" 2>/dev/null || true
  fi
  rm -f "$dir/qemu.pid"
  qemu_pid=""
}

# Boots the guest with the job already written into $dir/run and passes its output through.
# Returns the job's status.
boot() {
  local job_limit=$1 run=$dir/run
  local args=(
    -accel tcg,thread=multi,tb-size=1024 -cpu max,-smap -smp 2 -m 6144
    -display none -monitor none -parallel none -serial "file:$dir/console.log"
    -no-reboot -nic none
    -kernel "$dir/vmlinuz" -initrd "$dir/initrd.img"
    -append "root=/dev/vda rw console=ttyS0 init=/usr/local/sbin/guest32-init panic=1"
    -drive "file=$dir/disk.img,format=raw,if=virtio,cache=unsafe,discard=unmap"
    -virtfs "local,path=$run,mount_tag=guest32run,security_model=none,id=run"
    -virtfs "local,path=$repo,mount_tag=checkout,security_model=passthrough,id=checkout"
    -pidfile "$dir/qemu.pid"
  )
  local started=$SECONDS phase=boot deadline=$((SECONDS + boot_limit)) offset=0 size status=""
  qemu-system-x86_64 "${args[@]}" </dev/null >"$dir/qemu.log" 2>&1 9>&- &
  qemu_pid=$!
  flush() {
    size=$(stat -c %s "$run/output" 2>/dev/null || echo 0)
    if ((size > offset)); then
      tail -c +$((offset + 1)) "$run/output" | head -c $((size - offset)) || true
      offset=$size
    fi
  }
  while kill -0 "$qemu_pid" 2>/dev/null; do
    flush
    if [ $phase = boot ] && [ -e "$run/booted" ]; then
      phase=setup deadline=$((SECONDS + setup_limit))
    fi
    if [ $phase = setup ] && [ -e "$run/started" ]; then
      phase=job deadline=$((SECONDS + job_limit + 120))
    fi
    # The status is in: the guest has a minute to power off.
    if [ $phase = job ] && [ -s "$run/status" ]; then
      phase=poweroff deadline=$((SECONDS + 60))
    fi
    if ((SECONDS > deadline)); then
      flush
      stop_qemu
      case $phase in
        boot)
          echo "guest32: the guest did not boot within $boot_limit s; stopped. Its console's last lines ($dir/console.log):" >&2
          tail -n 15 "$dir/console.log" | sed 's/^/  | /' >&2
          return 125 ;;
        setup)
          echo "guest32: the guest's setup (copies, Wine prefix) did not finish within $setup_limit s; stopped" >&2
          return 124 ;;
        job)
          echo "guest32: the command did not end within $job_limit s and the guest did not stop it; stopped" >&2
          return 124 ;;
        poweroff)
          echo "guest32: the guest did not power off after the command; stopped" >&2
          break ;;
      esac
    fi
    sleep 1
  done
  [ -z "$qemu_pid" ] || wait "$qemu_pid" || true
  qemu_pid=""
  rm -f "$dir/qemu.pid"
  flush
  status=$(cat "$run/status" 2>/dev/null || true)
  if [ -z "$status" ]; then
    echo "guest32: the guest ended after $((SECONDS - started)) s without reporting a status; its console's last lines ($dir/console.log):" >&2
    tail -n 15 "$dir/console.log" | sed 's/^/  | /' >&2
    grep -v '^$' "$dir/qemu.log" | tail -n 5 | sed 's/^/  qemu: /' >&2 || true
    return 125
  fi
  return "$status"
}

# Writes the job into $dir/run and boots. Arguments: time limit, working directory, the job's
# script text.
run_job() {
  local job_limit=$1 workdir=$2 script=$3 run=$dir/run
  rm -rf "$run"
  mkdir -p "$run"
  guest_init >"$run/init.sh"
  printf '%s\n' "$script" >"$run/job.sh"
  {
    printf 'CHECKOUT=%q\n' "$repo"
    printf 'WORKDIR=%q\n' "$workdir"
    printf 'JOB_LIMIT=%q\nSETUP_LIMIT=%q\n' "$job_limit" "$setup_limit"
    echo 'COPY=(build/mingw/bin dist)'
    echo 'WINE_RUN=build/mingw/wine-run'
    echo 'PREFIXES=(build/mingw/wineprefix build/mingw/demo-wineprefix)'
  } >"$run/job.env"
  boot "$job_limit"
}

lock() {
  mkdir -p "$dir"
  exec 9>"$dir/lock"
  if ! flock -n 9; then
    say "waiting for another use of $dir to end"
    flock 9
  fi
  # A qemu left by a run that was killed outright.
  if [ -f "$dir/qemu.pid" ]; then
    say "stopping the guest a previous run left (pid $(cat "$dir/qemu.pid"))"
    stop_qemu
  fi
}

on_exit() { stop_qemu; }
trap on_exit EXIT
trap 'exit 130' INT TERM

need_qemu() {
  command -v qemu-system-x86_64 >/dev/null || die "qemu-system-x86_64 is missing (scripts/setup.sh installs it)"
}

# The arguments quoted for a shell script, each followed by a space (nothing for none).
quoted() { if (($#)); then printf '%q ' "$@"; fi; }

time_limit_option() {
  [[ $1 =~ ^[0-9]+$ ]] && (($1 > 0)) || die "--time-limit needs a number of seconds" 2
}

cmd=${1:-}
[ $# -gt 0 ] && shift
case $cmd in
  prepare)
    lock
    prepare
    ;;
  run)
    limit=3600
    while (($#)); do
      case $1 in
        --time-limit) time_limit_option "${2:-}"; limit=$2; shift 2 ;;
        --) shift; break ;;
        *) break ;;
      esac
    done
    (($#)) || die "run needs a command" 2
    need_qemu
    workdir=$PWD
    case $workdir/ in "$repo"/*) ;; *) workdir=$repo ;; esac
    lock
    prepare
    run_job "$limit" "$workdir" "$(quoted "$@")"
    ;;
  test)
    limit=2700
    demo=0
    while (($#)); do
      case $1 in
        --time-limit) time_limit_option "${2:-}"; limit=$2; shift 2 ;;
        --demo) demo=1; shift ;;
        *) break ;;
      esac
    done
    need_qemu
    [ -f "$repo/build/mingw/CTestTestfile.cmake" ] || die "build/mingw is not built (scripts/build.sh)"
    [ -f "$repo/dist/ispell.dll" ] || die "dist/ is not installed (scripts/build.sh)"
    lock
    prepare
    script=$(cat <<EOF
started=\$SECONDS
ctest --preset mingw $(quoted "$@")2>&1 | tee /tmp/ctest.log
suite=\${PIPESTATUS[0]}
echo "guest32: 32-bit suite took \$((SECONDS - started)) s"
echo "== the guest's CTest summary"
sed -n '/tests passed, /,\$p' /tmp/ctest.log | grep -v '^\$' | sed 's/^/  /'
demo=0
if [ $demo = 1 ]; then
  echo "== the demo's lifecycle in the guest (dist/plugin-host.exe, dist/ispell.dll)"
  started=\$SECONDS
  bash scripts/demo.sh --prebuilt
  demo=\$?
  echo "guest32: demo took \$((SECONDS - started)) s"
fi
[ \$suite -eq 0 ] || echo "guest32: the 32-bit suite failed (ctest status \$suite)"
[ \$demo -eq 0 ] || echo "guest32: the demo failed (status \$demo)"
[ \$suite -eq 0 ] && exit \$demo
exit \$suite
EOF
)
    run_job "$limit" "$repo" "$script"
    ;;
  clean)
    lock
    rm -rf "$dir"
    ;;
  ''|-h|--help|help)
    awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "$0"
    ;;
  *)
    die "unknown command $cmd (prepare, run, test, clean)" 2
    ;;
esac
