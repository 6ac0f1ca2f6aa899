#!/usr/bin/python3
"""Starts and stops the mirrors the discovery tests talk to, on loopback addresses.

  servers.py start --net 127.A.B --dir STATE   mirror trees, nginx, crafted pages, stalling
                                               server, FTP servers, a proxy, and the https,
                                               redirect and other-port servers
  servers.py bench --net 127.A.B --dir STATE [--entries N,...] [--style S]
                                               one server over generated indexes of N entries
                                               each (default 50,000), at /bench-N/; S: old,
                                               nginx-exact (default), apache-iso or fancyindex
  servers.py stop --dir STATE                  stops what start or bench left running

Addresses (port 80 for HTTP, 21 for FTP, as the plug-in uses them by default):
  .2 nginx   .3 crafted pages   .4 stalls   .5 FTP mirror   .6 FTP refusing log-in
  .7 FTP refusing with a long reply   .8 proxy (port 8888)   .9 nothing listens
  .10 crafted pages again, for requests through the proxy only
  https (nginx; certificates of a test authority made at start, see tls_material):
  .11 good certificate, on 443 and 8443, and plain HTTP on 8080   .12 untrusted issuer
  .13 another host's name   .14 expired   .15 empty subject, its name only as an alternative
  .16 plain HTTP on port 443   .17 a TLS handshake cut short (port 443)   .18 redirects (port 80)
  .19 FTP on port 2121   .20 empty subject and no name at all
  The same HTTP tree in the listing layouts of today's servers, each in its stock configuration
  (only the address, the tree and the listing switched on):
  .21 nginx with sizes in K/M/G (autoindex_exact_size off)   .22 Apache, HTMLTable (Debian's
  autoindex.conf as it ships)   .23 Apache, <pre> lines   .24 Apache, UseOldDateFormat
  .25 lighttpd   .26 caddy, file_server browse   .27 Python's http.server
  .28 nginx with the fancyindex module   .29 the same with fancyindex_exact_size off
  .30 webfs   .31 mini-httpd
  .40 servers that misbehave on purpose, one behaviour per port (see hostile.py)
Every server runs with TZ=UTC, so that listings show the files' times as they were set. Every
process is started in its own session and stopped by the PID recorded in STATE/pids.
"""
import argparse
import calendar
import os
import shutil
import signal
import socket
import stat
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
PYTHON = "/usr/bin/python3"  # the system's, which has pyftpdlib
MIRROR_DIR = "pub/text/TeX/ptex-win32/w32"
PROXY_PORT = 8888
BENCH_ENTRIES = 50000
APACHE_MODULES = "/etc/apache2/mods-available"
LAYOUTS = {21: "nginx-sizes", 22: "apache-table", 23: "apache-pre", 24: "apache-old-dates",
           25: "lighttpd", 26: "caddy", 27: "python", 28: "nginx-fancyindex",
           29: "nginx-fancyindex-sizes", 30: "webfs", 31: "mini-httpd"}
FANCYINDEX_MODULE = "/usr/lib/nginx/modules/ngx_http_fancyindex_module.so"
FANCYINDEX = "fancyindex on;"


def utc(year, month, day, hour, minute, second=0):
    return calendar.timegm((year, month, day, hour, minute, second))


def make_file(path, size, mtime=None):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.truncate(size)  # sparse: big sizes cost no disk
    if mtime is not None:
        os.utime(path, (mtime, mtime))


def build_http_tree(root):
    mirror = os.path.join(root, MIRROR_DIR)
    make_file(os.path.join(mirror, "ispell-3.3.01-w32.tar.xz"), 1048576, utc(2010, 12, 24, 9, 30))
    make_file(os.path.join(mirror, "ispell-3.3.02-w32.tar.xz"), 2097152, utc(2011, 3, 5, 14, 7))
    make_file(os.path.join(mirror, "ispell-3.3.02-w32.tar.xz.sig"), 20480, utc(2012, 1, 1, 0, 0))
    # What mirrors publish beside an archive: names with more digits than the archive's own.
    make_file(os.path.join(mirror, "ispell-3.3.02-w32.tar.xz.sha256"), 91, utc(2012, 1, 1, 0, 0))
    make_file(os.path.join(mirror, "ispell-3.3.02-w32.tar.xz.asc"), 833, utc(2012, 1, 1, 0, 0))
    make_file(os.path.join(mirror, "ispell-3.3.02-w64.tar.xz"), 3145728, utc(2013, 1, 1, 0, 0))
    make_file(os.path.join(mirror, "emacs-99.9-w32.tar.xz"), 5242880, utc(2013, 1, 1, 0, 0))
    make_file(os.path.join(mirror, "README.txt"), 12288, utc(2009, 1, 1, 0, 0))
    os.makedirs(os.path.join(mirror, "old-99"), exist_ok=True)
    make_file(os.path.join(root, "nomatch", "README.txt"), 12288, utc(2009, 1, 1, 0, 0))
    make_file(os.path.join(root, "nomatch", "emacs-24.5-w32.tar.xz"), 12288, utc(2009, 1, 1, 0, 0))
    os.makedirs(os.path.join(root, "empty"), exist_ok=True)


def ftp_archive_time():
    """Today at 01:23 UTC: recent, so the listing shows hours and minutes, and in this year."""
    now = time.gmtime()
    return utc(now.tm_year, now.tm_mon, now.tm_mday, 1, 23)


def build_ftp_tree(root, state):
    mirror = os.path.join(root, MIRROR_DIR)
    stamp = ftp_archive_time()
    make_file(os.path.join(mirror, "ispell-3.3.01-w32.tar.xz"), 40000, stamp - 86400)
    make_file(os.path.join(mirror, "ispell-3.3.02-w32.tar.xz"), 54321, stamp)
    make_file(os.path.join(mirror, "ispell-3.3.02-w32.tar.xz.sha256"), 91, stamp)
    make_file(os.path.join(mirror, "ispell-3.3.02-w32.tar.xz.asc"), 833, stamp)
    make_file(os.path.join(mirror, "ispell-3.3.02-w64.tar.xz"), 60000, stamp)
    make_file(os.path.join(mirror, "README"), 100, stamp)
    os.makedirs(os.path.join(mirror, "old"), exist_ok=True)
    os.makedirs(os.path.join(root, "empty"), exist_ok=True)
    make_file(os.path.join(root, "nomatch", "README"), 100, stamp)
    make_file(os.path.join(root, "nomatch", "emacs-24.5-w32.tar.xz"), 1000, stamp)
    make_file(os.path.join(root, "big", "huge-4g-w32.tar.xz"), 12345, stamp)
    with open(os.path.join(state, "ftp_time.txt"), "w") as f:
        f.write(time.strftime("%Y %m %d %H %M\n", time.gmtime(stamp)))


def build_bench_tree(root, entries):
    directory = os.path.join(root, f"bench-{entries}")
    os.makedirs(directory, exist_ok=True)
    if len(os.listdir(directory)) == entries:
        return  # made by an earlier run
    stamp = utc(2011, 3, 5, 14, 7)
    for i in range(entries):
        name = (f"ispell-{i // 10000}.{i // 100 % 100}.{i % 100:02d}-w32.tar.xz" if i % 5
                else f"other-package-{i}.tar.xz")
        make_file(os.path.join(directory, name), 10240 + i * 7, stamp + i)


def nginx_config(state, address, root, servers=(), directives=""):
    """nginx's stock autoindex on address:80 (with directives added, if any); servers adds
    (address, directives) pairs. Directives that switch the fancyindex module on replace
    autoindex, and load the module (Debian's libnginx-mod-http-fancyindex) for the process."""
    temp = os.path.join(state, "nginx-temp")
    os.makedirs(temp, exist_ok=True)
    path = os.path.join(state, "nginx.conf")
    listing = lambda d: d if FANCYINDEX in d else "autoindex on;\n    " + d
    blocks = "".join(f"""  server {{
    listen {extra}:80;
    root {root};
    {listing(directives)}
  }}
""" for extra, directives in servers)
    fancy = any(FANCYINDEX in d for d in [directives] + [d for _, d in servers])
    module = f"load_module {FANCYINDEX_MODULE};\n" if fancy else ""
    with open(path, "w") as f:
        f.write(f"""{module}daemon off;
master_process off;
worker_processes 1;
pid {state}/nginx.pid;
error_log {state}/nginx-error.log;
events {{ worker_connections 256; }}
http {{
  access_log {state}/nginx-access.log;
  client_body_temp_path {temp}/body;
  proxy_temp_path {temp}/proxy;
  fastcgi_temp_path {temp}/fastcgi;
  uwsgi_temp_path {temp}/uwsgi;
  scgi_temp_path {temp}/scgi;
  server {{
    listen {address}:80;
    root {root};
    {listing(directives)}
  }}
{blocks}}}
""")
    return path


def apache_config(state, root, hosts):
    """Apache httpd with Debian's module configuration as it ships (autoindex.conf included);
    hosts maps each address to the IndexOptions changes its listing gets."""
    run = os.path.join(state, "apache")
    os.makedirs(run, exist_ok=True)
    path = os.path.join(state, "apache.conf")
    modules = "".join(f"Include {APACHE_MODULES}/{name}\n" for name in (
        "mpm_event.load", "mpm_event.conf", "authz_core.load", "dir.load", "dir.conf", "mime.load",
        "mime.conf", "alias.load", "alias.conf", "autoindex.load", "autoindex.conf"))
    listens = "".join(f"Listen {address}:80\n" for address in hosts)
    hosts_text = "".join(f"""<VirtualHost {address}:80>
  ServerName {address}
  DocumentRoot {root}
  <Location />
    {"IndexOptions " + options if options else ""}
  </Location>
</VirtualHost>
""" for address, options in hosts.items())
    with open(path, "w") as f:
        f.write(f"""ServerRoot /etc/apache2
ServerName localhost
PidFile {run}/httpd.pid
DefaultRuntimeDir {run}
ErrorLog {state}/apache-error.log
User www-data
Group www-data
TypesConfig /etc/mime.types
{modules}{listens}<Directory {root}>
  Options Indexes
  Require all granted
</Directory>
{hosts_text}""")
    return path


def readable_by_all(path):
    """Whether a user without privileges reaches path: every folder above it searchable."""
    path = os.path.abspath(path)
    while True:
        if not os.stat(path).st_mode & stat.S_IXOTH:
            return False
        parent = os.path.dirname(path)
        if parent == path:
            return True
        path = parent


def apache_tree(state, www):
    """Apache serves as www-data, which may not reach a tree inside a private folder (a build
    tree under /root, say): there it gets a copy in a folder of its own under /tmp, removed by
    stop."""
    if readable_by_all(www):
        return www
    root = tempfile.mkdtemp(prefix="ispell-apache-")
    os.chmod(root, 0o755)
    with open(os.path.join(state, "apache-root"), "w") as f:
        f.write(root)
    subprocess.run(["cp", "-a", "--sparse=always", www, root], check=True)
    return os.path.join(root, os.path.basename(www))


def lighttpd_config(state, address, root):
    path = os.path.join(state, "lighttpd.conf")
    with open(path, "w") as f:
        f.write(f"""server.document-root = "{root}"
server.bind = "{address}"
server.port = 80
server.errorlog = "{state}/lighttpd-error.log"
server.modules = ("mod_dirlisting")
dir-listing.activate = "enable"
""")
    return path


def caddy_config(state, address, root):
    path = os.path.join(state, "Caddyfile")
    with open(path, "w") as f:
        f.write(f"""{{
	admin off
	auto_https off
}}
http://{address}:80 {{
	bind {address}
	root * {root}
	file_server browse
}}
""")
    return path


def proxy_config(state, address):
    # The proxy drops its privileges before it opens its log.
    log = os.path.join(state, "tinyproxy.log")
    open(log, "a").close()
    os.chmod(log, 0o666)
    path = os.path.join(state, "tinyproxy.conf")
    with open(path, "w") as f:
        f.write(f"""User nobody
Group nogroup
Port {PROXY_PORT}
Listen {address}
Timeout 30
MaxClients 20
Allow 127.0.0.0/8
LogFile "{state}/tinyproxy.log"
LogLevel Info
""")
    return path


TLS_AUTHORITY = "ispell test authority"
ARCHIVE_PATH = "/" + MIRROR_DIR + "/"


def openssl(*args):
    subprocess.run(["openssl", *args], check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.PIPE)


def tls_material(state, net):
    """A test authority and the https servers' certificates, made afresh at every start.

    The tests trust tls/ca.der in their own Wine prefix only; the other authority is trusted
    nowhere. Each server sends its certificate with its issuer's: given the leaf alone, the
    client reports a broken chain instead of an unknown issuer. The names are the loopback
    addresses written as DNS names, which is how the client matches them.
    """
    tls = os.path.join(state, "tls")
    shutil.rmtree(tls, ignore_errors=True)
    os.makedirs(os.path.join(tls, "issued"), exist_ok=True)
    path = lambda name: os.path.join(tls, name)
    for ca, subject in (("ca", TLS_AUTHORITY), ("other-ca", "ispell untrusted authority")):
        openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", path(ca + ".key"),
                "-out", path(ca + ".pem"), "-days", "30", "-subj", "/CN=" + subject,
                "-addext", "basicConstraints=critical,CA:TRUE",
                "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    openssl("x509", "-in", path("ca.pem"), "-outform", "DER", "-out", path("ca.der"))
    open(path("index.txt"), "w").close()
    with open(path("ca.cnf"), "w") as f:
        f.write(f"""[ca]
default_ca = test
[test]
database = {tls}/index.txt
new_certs_dir = {tls}/issued
default_md = sha256
policy = any
unique_subject = no
rand_serial = yes
[any]
""")
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", path("server.key"),
            "-out", path("server.csr"), "-subj", "/")
    now = time.time()
    stamp = lambda t: time.strftime("%Y%m%d%H%M%SZ", time.gmtime(t))
    current = (stamp(now - 86400), stamp(now + 30 * 86400))
    # name: (issuer, subject, name in the certificate or None, validity)
    leaves = {
        "good": ("ca", f"/CN={net}.11", f"{net}.11", current),
        "untrusted": ("other-ca", f"/CN={net}.12", f"{net}.12", current),
        "wrong-name": ("ca", f"/CN={net}.11", f"{net}.11", current),
        "expired": ("ca", f"/CN={net}.14", f"{net}.14", ("20200101000000Z", "20210101000000Z")),
        "empty-subject": ("ca", "/", f"{net}.15", current),
        "no-name": ("ca", "/", None, current),
        "hostile": ("ca", f"/CN={net}.40", f"{net}.40", current),
    }
    for name, (issuer, subject, host, (start, end)) in leaves.items():
        with open(path(name + ".ext"), "w") as f:
            f.write(f"""[leaf]
basicConstraints = critical,CA:FALSE
keyUsage = critical,digitalSignature,keyEncipherment
extendedKeyUsage = serverAuth
""")
            if host:
                f.write(f"subjectAltName = {'critical,' if subject == '/' else ''}"
                        f"DNS:{host},IP:{host}\n")
        openssl("ca", "-batch", "-config", path("ca.cnf"), "-cert", path(issuer + ".pem"),
                "-keyfile", path(issuer + ".key"), "-in", path("server.csr"),
                "-out", path(name + ".pem"), "-subj", subject, "-preserveDN", "-notext",
                "-startdate", start, "-enddate", end, "-extfile", path(name + ".ext"),
                "-extensions", "leaf")
        with open(path(name + ".chain.pem"), "w") as f:
            f.write(open(path(name + ".pem")).read() + open(path(issuer + ".pem")).read())
    return tls


def tls_nginx_config(state, net, root, tls):
    """The https mirrors, a plain HTTP server on port 443 and the good server's other ports:
    nginx's stock listing of the HTTP tree, and two redirects."""
    temp = os.path.join(state, "nginx-tls-temp")
    os.makedirs(temp, exist_ok=True)
    a = lambda n: f"{net}.{n}"

    def server(listens, certificate=None):
        lines = [f"    listen {listen};" for listen in listens]
        if certificate:
            lines += [f"    ssl_certificate {tls}/{certificate}.chain.pem;",
                      f"    ssl_certificate_key {tls}/server.key;"]
        lines += [f"    root {root};", "    autoindex on;",
                  f"    location = /moved/ {{ return 301 {ARCHIVE_PATH}; }}",
                  f"    location = /to-http/ {{ return 301 http://{a(2)}{ARCHIVE_PATH}; }}",
                  # A newer archive linked over plain http: not to be taken from an https page.
                  "    location = /http-links/ { default_type text/html; return 200 '<pre>"
                  f"<a href=\"http://{a(2)}{ARCHIVE_PATH}ispell-3.3.09-w32.tar.xz\">x</a> "
                  "05-Mar-2011 14:07 1M\n"
                  f"<a href=\"{ARCHIVE_PATH}ispell-3.3.02-w32.tar.xz\">x</a> "
                  "05-Mar-2011 14:07 2M\n</pre>'; }"]
        return "  server {\n" + "\n".join(lines) + "\n  }\n"

    servers = (server([f"{a(11)}:443 ssl", f"{a(11)}:8443 ssl", f"{a(11)}:8080"], "good") +
               server([f"{a(12)}:443 ssl"], "untrusted") +
               server([f"{a(13)}:443 ssl"], "wrong-name") +
               server([f"{a(14)}:443 ssl"], "expired") +
               server([f"{a(15)}:443 ssl"], "empty-subject") +
               server([f"{a(20)}:443 ssl"], "no-name") +
               server([f"{a(16)}:443"]))
    path = os.path.join(state, "nginx-tls.conf")
    with open(path, "w") as f:
        f.write(f"""daemon off;
master_process off;
worker_processes 1;
pid {state}/nginx-tls.pid;
error_log {state}/nginx-tls-error.log;
events {{ worker_connections 256; }}
http {{
  access_log {state}/nginx-tls-access.log;
  client_body_temp_path {temp}/body;
  proxy_temp_path {temp}/proxy;
  fastcgi_temp_path {temp}/fastcgi;
  uwsgi_temp_path {temp}/uwsgi;
  scgi_temp_path {temp}/scgi;
{servers}}}
""")
    return path


def start_tls_and_more(state, net, www, ftp, run, processes):
    """The https servers, the redirects, the cut handshake and FTP on another port."""
    a = lambda n: f"{net}.{n}"
    tls = tls_material(state, net)
    run("nginx-tls", ["nginx", "-p", state + "/", "-e", state + "/nginx-tls-error.log",
                      "-c", tls_nginx_config(state, net, www, tls)])
    run("redirects", [PYTHON, os.path.join(HERE, "redirects.py"), a(18)])
    run("cut_handshake", [PYTHON, os.path.join(HERE, "cut_handshake.py"), a(17)])
    run("pyftpdlib", [PYTHON, "-m", "pyftpdlib", "-i", a(19), "-p", "2121", "-d", ftp])
    run("hostile", [PYTHON, os.path.join(HERE, "hostile.py"), a(40),
                    os.path.join(tls, "hostile.chain.pem"), os.path.join(tls, "server.key")])
    wait_listening([(a(n), 443) for n in list(range(11, 18)) + [20]] +
                   [(a(11), 8443), (a(11), 8080), (a(18), 80), (a(19), 2121), (a(40), 81),
                    (a(40), 488), (a(40), 2104)], processes)


def launch(state, name, command, pids, env=None):
    log = open(os.path.join(state, name + ".log"), "ab")
    process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                               start_new_session=True, close_fds=True,
                               env=dict(os.environ, TZ="UTC", **(env or {})))
    log.close()
    pids.append((process.pid, name))
    with open(os.path.join(state, "pids"), "a") as f:
        f.write(f"{process.pid} {name}\n")
    return process


def wait_listening(endpoints, processes, timeout=90):
    deadline = time.monotonic() + timeout
    pending = list(endpoints)
    while pending:
        for process, name in processes:
            if process.poll() is not None:
                raise SystemExit(f"{name} exited with status {process.returncode}")
        address, port = pending[0]
        try:
            with socket.create_connection((address, port), timeout=1):
                pending.pop(0)
                continue
        except OSError:
            pass
        if time.monotonic() > deadline:
            raise SystemExit(f"nothing listens on {address}:{port}")
        time.sleep(0.1)


def alive(pid, name):
    try:
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            command = f.read().replace(b"\0", b" ").decode(errors="replace")
    except OSError:
        return False
    stat = open(f"/proc/{pid}/stat").read()
    if stat.rsplit(")", 1)[1].split()[0] == "Z":
        return False
    return name.split("-")[0] in command


def stop(state):
    pid_file = os.path.join(state, "pids")
    if not os.path.exists(pid_file):
        return
    entries = []
    for row in open(pid_file):
        pid, name = row.split()
        entries.append((int(pid), name))
    for pid, name in entries:
        if alive(pid, name):
            os.kill(pid, signal.SIGTERM)
    deadline = time.monotonic() + 5
    for pid, name in entries:
        while alive(pid, name) and time.monotonic() < deadline:
            time.sleep(0.05)
        if alive(pid, name):
            os.kill(pid, signal.SIGKILL)
    os.remove(pid_file)
    copy = os.path.join(state, "apache-root")
    if os.path.exists(copy):
        shutil.rmtree(open(copy).read().strip(), ignore_errors=True)
        os.remove(copy)


def start(state, net):
    stop(state)
    os.makedirs(state, exist_ok=True)
    www = os.path.join(state, "www")
    ftp = os.path.join(state, "ftp")
    build_http_tree(www)
    build_ftp_tree(ftp, state)
    a = lambda n: f"{net}.{n}"
    started = []
    processes = []

    def run(name, command, env=None):
        processes.append((launch(state, name, command, started, env), name))

    run("nginx", ["nginx", "-p", state + "/", "-e", state + "/nginx-error.log",
                  "-c", nginx_config(state, a(2), www, [
                      (a(21), "autoindex_exact_size off;"), (a(28), FANCYINDEX),
                      (a(29), FANCYINDEX + " fancyindex_exact_size off;")])])
    # Apache and mini-httpd serve as users without privileges.
    shared = apache_tree(state, www)
    run("apache", ["apache2", "-f", apache_config(state, shared, {
        a(22): "", a(23): "-HTMLTable", a(24): "-HTMLTable +UseOldDateFormat"}), "-DFOREGROUND"])
    run("lighttpd", ["lighttpd", "-D", "-f", lighttpd_config(state, a(25), www)])
    run("caddy", ["caddy", "run", "--adapter", "caddyfile", "--config",
                  caddy_config(state, a(26), www)],
        {"HOME": state, "XDG_DATA_HOME": state + "/caddy-data",
         "XDG_CONFIG_HOME": state + "/caddy-config"})
    run("python3-http", [PYTHON, "-m", "http.server", "--bind", a(27), "--directory", www, "80"])
    run("webfsd", ["webfsd", "-F", "-i", a(30), "-p", "80", "-r", www, "-n", a(30)])
    run("mini_httpd", ["mini_httpd", "-D", "-h", a(31), "-p", "80", "-d", shared,
                       "-l", os.path.join(state, "mini_httpd-access.log")])
    run("crafted_http", [PYTHON, os.path.join(HERE, "crafted_http.py"), a(3), a(4), a(10)])
    run("ftp_servers", [PYTHON, os.path.join(HERE, "ftp_servers.py"), ftp, a(5), a(6), a(7)])
    run("tinyproxy", ["tinyproxy", "-d", "-c", proxy_config(state, a(8))])
    wait_listening([(a(2), 80), (a(3), 80), (a(4), 80), (a(10), 80), (a(5), 21), (a(6), 21), (a(7), 21),
                    (a(8), PROXY_PORT)] + [(a(n), 80) for n in LAYOUTS], processes)
    start_tls_and_more(state, net, www, ftp, run, processes)


BENCH_STYLES = ("old", "nginx-exact", "apache-iso", "fancyindex")
BENCH_NGINX = {"old": "autoindex_exact_size off;", "nginx-exact": "", "fancyindex": FANCYINDEX}


def bench(state, net, sizes, style):
    """The generated indexes at NET.2: nginx's stock listing (sizes in bytes), nginx with sizes
    in K/M (the classic layout, "old"), Apache's <pre> lines with ISO dates, or nginx's
    fancyindex module as it ships (table rows, the size in bytes before the date)."""
    stop(state)
    os.makedirs(state, exist_ok=True)
    www = os.path.join(state, "www")
    for entries in sizes:
        build_bench_tree(www, entries)
    started = []
    address = f"{net}.2"
    if style == "apache-iso":
        name = "apache"
        command = ["apache2", "-f", apache_config(state, apache_tree(state, www),
                                                  {address: "-HTMLTable"}), "-DFOREGROUND"]
    else:
        name = "nginx"
        command = ["nginx", "-p", state + "/", "-e", state + "/nginx-error.log", "-c",
                   nginx_config(state, address, www, directives=BENCH_NGINX[style])]
    process = launch(state, name, command, started)
    wait_listening([(address, 80)], [(process, name)])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("command", choices=["start", "stop", "bench"])
    parser.add_argument("--net", default="127.0.77")
    parser.add_argument("--dir", required=True)
    parser.add_argument("--entries", default=str(BENCH_ENTRIES),
                        help="bench: comma-separated index sizes")
    parser.add_argument("--style", default="nginx-exact", choices=BENCH_STYLES,
                        help="bench: the server and listing layout")
    args = parser.parse_args()
    state = os.path.abspath(args.dir)
    try:
        if args.command == "start":
            start(state, args.net)
        elif args.command == "bench":
            bench(state, args.net, [int(n) for n in args.entries.split(",") if n], args.style)
        else:
            stop(state)
    except BaseException:
        if args.command != "stop":
            stop(state)
        raise


if __name__ == "__main__":
    main()
