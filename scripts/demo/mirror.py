#!/usr/bin/python3
"""A local ispell mirror for the demo, served over HTTP (nginx autoindex) and FTP (pyftpdlib).

  mirror.py start --dir STATE [--net 127.0.10]   build the archives, start both servers
  mirror.py stop --dir STATE                     stop them (by the PIDs recorded in STATE/pids)

HTTP on NET.2:80, FTP on NET.3:21, both serving /pub/text/TeX/ptex-win32/w32/ with several
ispell-<version>-w32.tar.xz archives (made with the real tar and xz) and unrelated files.
"""
import argparse
import hashlib
import os
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "servers"))
import servers  # noqa: E402  (nginx configuration, launching and stopping by PID)

MIRROR_DIR = servers.MIRROR_DIR
VERSIONS = [("3.3.00", 400), ("3.3.01", 200), ("3.3.02", 2)]  # version, age in days
PROGRAMS = ["ispell.exe", "buildhash.exe", "munchlist.exe"]
DICTIONARIES = ["english.hash", "american.hash", "english.aff"]


def build_archive(work, version):
    tree = os.path.join(work, version, "ispell-w32")
    for sub, names in (("bin", PROGRAMS), ("dic", DICTIONARIES)):
        os.makedirs(os.path.join(tree, sub), exist_ok=True)
        for name in names:
            # Some incompressible bytes: the archives come out at a realistic size of tens of
            # kilobytes, which the index page shows with a unit letter.
            with open(os.path.join(tree, sub, name), "wb") as f:
                f.write(f"{name} from ispell {version} (demo mirror)\n".encode())
                f.write(os.urandom(24 * 1024))
    with open(os.path.join(tree, "README.txt"), "w") as f:
        f.write(f"ispell {version} for Windows, demo build\n")
    archive = os.path.join(work, f"ispell-{version}-w32.tar.xz")
    tar = subprocess.Popen(["tar", "-C", os.path.join(work, version), "--owner=0", "--group=0",
                            "-cf", "-", "ispell-w32"], stdout=subprocess.PIPE)
    with open(archive, "wb") as out:
        subprocess.run(["xz", "-6", "--check=crc64", "-c"], stdin=tar.stdout, stdout=out,
                       check=True)
    if tar.wait() != 0:
        raise SystemExit("tar failed")
    return archive


def build_tree(root, work):
    mirror = os.path.join(root, MIRROR_DIR)
    os.makedirs(mirror, exist_ok=True)
    now = time.time()
    for version, age in VERSIONS:
        archive = build_archive(work, version)
        target = os.path.join(mirror, os.path.basename(archive))
        shutil.copyfile(archive, target)
        stamp = now - age * 86400
        os.utime(target, (stamp, stamp))
        # The checksum a mirror publishes beside each archive: never the file to download.
        with open(archive, "rb") as f:
            digest = hashlib.sha256(f.read()).hexdigest()
        with open(target + ".sha256", "w") as f:
            f.write(f"{digest}  {os.path.basename(archive)}\n")
    for name, text in (("README.txt", "TeX for Windows mirror (demo)\n"),
                       ("emacs-99.9-w32.tar.xz", "not an ispell archive\n"),
                       ("ispell-3.3.02-w64.tar.xz", "a 64-bit build the plug-in must not pick\n")):
        with open(os.path.join(mirror, name), "w") as f:
            f.write(text)
    os.makedirs(os.path.join(mirror, "old"), exist_ok=True)


def start(state, net):
    servers.stop(state)
    shutil.rmtree(state, ignore_errors=True)
    os.makedirs(state)
    root = os.path.join(state, "root")
    build_tree(root, os.path.join(state, "work"))
    processes = []
    started = []
    config = servers.nginx_config(state, f"{net}.2", root)
    processes.append((servers.launch(state, "nginx", ["nginx", "-p", state + "/", "-e",
                                                      state + "/nginx-error.log", "-c", config],
                                     started), "nginx"))
    processes.append((servers.launch(state, "ftp_servers",
                                     [servers.PYTHON, os.path.join(HERE, "..", "servers",
                                                                   "ftp_servers.py"),
                                      root, f"{net}.3", f"{net}.4", f"{net}.5"], started),
                      "ftp_servers"))
    servers.wait_listening([(f"{net}.2", 80), (f"{net}.3", 21)], processes)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("command", choices=["start", "stop"])
    parser.add_argument("--dir", required=True)
    parser.add_argument("--net", default="127.0.10")
    args = parser.parse_args()
    state = os.path.abspath(args.dir)
    if args.command == "start":
        try:
            start(state, args.net)
        except BaseException:
            servers.stop(state)
            raise
    else:
        servers.stop(state)


if __name__ == "__main__":
    main()
