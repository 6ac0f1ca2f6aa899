#!/usr/bin/python3
"""Index pages a directory-listing web server would never produce, and a server that stalls.

Usage: crafted_http.py PAGES_ADDRESS STALL_ADDRESS PROXIED_ADDRESS
Serves on port 80 of the three addresses until terminated. PROXIED_ADDRESS serves the same
pages; it is reached only through the proxy, so that no direct connection to it is ever
kept alive for a proxied request to reuse.
"""
import socket
import struct
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer


def line(name, date="05-Mar-2011 14:07", size="1M"):
    pad = " " * max(1, 50 - len(name))
    return f'<a href="{name}">{name}</a>{pad}{date}    {size}\r\n'


def page(lines):
    return ("<html><head><title>Index</title></head><body><pre>\r\n"
            '<a href="../">../</a>\r\n' + "".join(lines) + "</pre><hr></body></html>\r\n")


MONTHS = page([
    line("ispell-1.0.01-w32.tar.xz", "05-Sept-2011 14:07", "1M"),
    line("ispell-1.0.02-w32.tar.xz", "05-mar-2011 14:07", "1M"),
    line("ispell-1.0.03-w32.tar.xz", "05-Mar-2011 14:07", "1M"),
])

SIZES = page([
    line("half-k", size="0.5K"),
    line("odd-bytes", size="3.99B"),
    line("two-point-three-k", size="2.3K"),
    line("bytes", size="999B"),
    line("one-point-two-m", size="1.2M"),
    line("too-big", size="4096M"),
])

# Before the NUL byte one entry, after it another that must never be seen.
NUL = (page([line("ispell-1.0.00-w32.tar.xz")]).encode() + b"\0" +
       page([line("ispell-9.9.99-w32.tar.xz")]).encode())

NODATES = page(['<a href="ispell-3.3.02-w32.tar.xz">ispell-3.3.02-w32.tar.xz</a>   1M\r\n',
                '<a href="ispell-3.3.03-w32.tar.xz">no date here</a>\r\n',
                '<a href="ispell-3.3.04-w32.tar.xz">x</a> 14:07 only a time 1M\r\n'])

# Shift-JIS names: "ispell-日本語-3.3.05-w32.tar.xz" and one in half-width katakana.
HIGHBYTES = page([line("ispell-日本語-3.3.05-w32.tar.xz"),
                  line("ispell-ｶﾅ-3.3.04-w32.tar.xz")]).encode("cp932")

MANY_COUNT = 5000
MANY = page([line(f"ispell-{i // 1000}.{i // 100 % 10}.{i % 100:02d}-w32.tar.xz"
                  if i % 7 else f"other-{i}.txt", size=f"{i % 900 + 10}K")
             for i in range(MANY_COUNT)])

# One line of some four megabytes: many links without a date, then one date and size.
LONGLINE = ("<html><body>" +
            "".join(f'<a href="f{i}.txt">f{i}</a> ' for i in range(200000)) +
            " 05-Mar-2011 14:07 1M</body></html>")


# Listings no Debian package serves, written after each format as it is documented: the
# archive ispell-3.3.02-w32.tar.xz of 2097152 bytes at 2011-03-05 14:07, an older one, a
# folder. Served at /layouts/NAME/.
ARCHIVES = (("ispell-3.3.01-w32.tar.xz", 1048576, (2010, 12, 24, 9, 30)),
            ("ispell-3.3.02-w32.tar.xz", 2097152, (2011, 3, 5, 14, 7)))
MONTHS_EN = ["January", "February", "March", "April", "May", "June", "July", "August",
             "September", "October", "November", "December"]


def caddy_current():
    """caddy's browse template since 2.7: the exact size in data-size, the time in datetime."""
    rows = []
    for name, size, (y, mo, d, h, mi) in ARCHIVES:
        rows.append(f"""<tr class="file">
  <td></td>
  <td>
    <a href="./{name}">
      <svg width="1.5em" height="1em" version="1.1" viewBox="0 0 317 259"><use xlink:href="#file"></use></svg>
      <span class="name">{name}</span>
    </a>
  </td>
  <td class="size" data-size="{size}">
    <div class="sizebar">
      <div class="sizebar-bar"></div>
      <div class="sizebar-text">
        {size / 1048576:.1f} MiB
      </div>
    </div>
  </td>
  <td class="timestamp hideable">
    <time datetime="{y:04d}-{mo:02d}-{d:02d}T{h:02d}:{mi:02d}:00Z">{mo:02d}/{d:02d}/{y:04d} {(h + 11) % 12 + 1:02d}:{mi:02d}:00 {"PM" if h >= 12 else "AM"} +00:00</time>
  </td>
  <td class="hideable"></td>
</tr>
""")
    return ("<!DOCTYPE html>\n<html>\n<head>\n<title>/layouts/caddy/</title>\n"
            '<link rel="icon" href="data:,">\n</head>\n<body>\n<main>\n'
            '<table aria-describedby="summary">\n<thead>\n<tr>\n<th></th>\n'
            '<th><a href="?sort=namedirfirst&order=desc" class="icon">Name</a></th>\n'
            '<th class="size"><a href="?sort=size&order=asc">Size</a></th>\n'
            '<th class="timestamp hideable"><a href="?sort=time&order=asc">Modified</a></th>\n'
            "</tr>\n</thead>\n<tbody>\n<tr>\n<td></td>\n<td>\n"
            '<a href="..">\n<span class="goup">Up</span>\n</a>\n</td>\n</tr>\n'
            + "".join(rows) + "</tbody>\n</table>\n</main>\n</body>\n</html>\n")


def object_store():
    """An object-store bucket's index page: one cell a line, ISO times with milliseconds and Z,
    sizes in decimal units."""
    rows = "".join(f"""    <tr>
      <td><a href="{name}">{name}</a></td>
      <td>{y:04d}-{mo:02d}-{d:02d}T{h:02d}:{mi:02d}:30.000Z</td>
      <td>{size / 1048576:.1f} MB</td>
    </tr>
""" for name, size, (y, mo, d, h, mi) in ARCHIVES)
    return ("<html><head><title>Index of bucket</title></head><body>\n"
            "<table>\n    <tr><th>Key</th><th>Last Modified</th><th>Size</th></tr>\n"
            '    <tr><td><a href="../">../</a></td><td></td><td></td></tr>\n'
            + rows + "</table>\n</body></html>\n")


def h5ai():
    """h5ai's page for browsers without scripts: the whole table on one line, sizes in KB of
    1000 bytes, a parent row with empty cells."""
    cells = ('<table id="fallback"><tr><th class="fb-i"></th><th class="fb-n"><span>Name</span>'
             '</th><th class="fb-d"><span>Last modified</span></th><th class="fb-s"><span>Size'
             '</span></th></tr><tr><td class="fb-i"><img src="/_h5ai/public/images/fallback/'
             'folder-parent.png" alt="folder-parent"/></td><td class="fb-n"><a href="..">'
             'Parent Directory</a></td><td class="fb-d"></td><td class="fb-s"></td></tr>')
    for name, size, (y, mo, d, h, mi) in ARCHIVES:
        cells += (f'<tr><td class="fb-i"><img src="/_h5ai/public/images/fallback/file.png" '
                  f'alt="file"/></td><td class="fb-n"><a href="/layouts/h5ai/{name}">{name}</a>'
                  f'</td><td class="fb-d">{y:04d}-{mo:02d}-{d:02d} {h:02d}:{mi:02d}</td>'
                  f'<td class="fb-s">{size // 1000} KB</td></tr>')
    return ('<!DOCTYPE html><html class="no-js" lang="en"><head><meta charset="utf-8">'
            '<title>index - powered by h5ai</title><script src="/_h5ai/public/js/scripts.js" '
            'data-module="index"></script></head><body class="index" id="root"><div id="fallback-'
            'hints"><span class="noJsMsg">Works best with JavaScript enabled!</span></div>'
            '<div id="fallback">' + cells + "</table></div></body></html>")


def directory_lister():
    """Directory Lister: each row an anchor whose href stands on a line of its own, the name,
    the size and the time each in an element of its own on lines of their own."""
    rows = "".join(f"""<li>
    <a
        href="{name}"
        class="flex flex-col items-center rounded-lg font-mono group"
    >
        <div class="flex justify-between items-center p-4 w-full">
            <div class="pr-2"><i class="fas fa-file-archive fa-fw fa-lg"></i></div>
            <div class="flex-1 truncate">
                {name}
            </div>
            <div class="hidden whitespace-nowrap text-right mx-2 w-1/6 sm:block">
                {size / 1048576:.2f}MB
            </div>
            <div class="hidden whitespace-nowrap text-right truncate ml-2 w-1/4 sm:block">
                {y:04d}-{mo:02d}-{d:02d} {h:02d}:{mi:02d}:00
            </div>
        </div>
    </a>
</li>
""" for name, size, (y, mo, d, h, mi) in ARCHIVES)
    return ('<!DOCTYPE html>\n<html lang="en">\n<head>\n<link rel="stylesheet" href="app/'
            'dist/app.css">\n</head>\n<body>\n<ul id="file-list">\n<li>\n    <a\n'
            '        href=".."\n        class="flex"\n    >\n        <div>..</div>\n'
            "    </a>\n</li>\n" + rows + "</ul>\n</body>\n</html>\n")


def miniserve():
    """miniserve: the whole table on one line; the size before the time, the time with
    seconds and a zone offset, then the age."""
    rows = ('<tr><td colspan="3"><p><a class="root" href="/layouts/">Parent directory</a></p>'
            "</td></tr>")
    for name, size, (y, mo, d, h, mi) in ARCHIVES:
        rows += (f'<tr><td><p><a class="file" href="/layouts/miniserve/{name}">{name}</a></p>'
                 f'</td><td class="size-cell">{size / 1048576:.1f} MiB</td><td class="date-cell">'
                 f'<span>{y:04d}-{mo:02d}-{d:02d} {h:02d}:{mi:02d}:32 +02:00</span><span '
                 f'class="history">{2025 - y} years ago</span></td></tr>')
    return ('<!DOCTYPE html><html><head><meta charset="utf-8"><title>Index of /layouts/'
            'miniserve/</title></head><body><div class="toolbar"></div><table><thead><tr>'
            '<th class="name"><span><a href="?sort=name&amp;order=desc">Name</a></span></th>'
            '<th class="size"><a href="?sort=size&amp;order=asc">Size</a></th><th class="date">'
            '<a href="?sort=date&amp;order=asc">Last modification</a></th></tr></thead><tbody>'
            + rows + "</tbody></table></body></html>")


def application():
    """A listing an application writes: a table, dates like "5 March 2011, 14:07", sizes in a
    cell of their own."""
    rows = "".join(f"""<tr>
<td class="name"><a href="files/{name}">{name}</a></td>
<td class="modified">{d} {MONTHS_EN[mo - 1][:4] if mo == 9 else MONTHS_EN[mo - 1]} {y}, {h:02d}:{mi:02d}</td>
<td class="size">{size // 1048576} MB</td>
</tr>
""" for name, size, (y, mo, d, h, mi) in ARCHIVES)
    return ('<html><body><h1>Downloads</h1>\n<table class="files">\n<tr><th>Name</th>'
            "<th>Modified</th><th>Size</th></tr>\n" + rows +
            '<tr>\n<td class="name"><a href="files/notes.txt">notes.txt</a></td>\n'
            '<td class="modified">24 Sept 2025, 13:12</td>\n<td class="size">-</td>\n</tr>\n'
            "</table></body></html>\n")


LAYOUT_PAGES = {
    "caddy": caddy_current(),
    "object-store": object_store(),
    "h5ai": h5ai(),
    "directory-lister": directory_lister(),
    "miniserve": miniserve(),
    "application": application(),
    # No reading is possible: the page builds its list in the browser, or is JSON.
    "script": ('<!DOCTYPE html><html><head><link rel="stylesheet" href="app.css"></head><body>'
               '<div id="app"></div><script src="app.js"></script></body></html>\n'),
    "json": ('[{"name":"ispell-3.3.02-w32.tar.xz","type":"file","size":2097152,'
             '"mtime":"2011-03-05T14:07:00Z"}]\n'),
}


def huge_chunks():
    """About 50 MB: three real entries, at the start, in the middle and at the end."""
    filler = ("<!-- " + "x" * 1000 + " -->\r\n").encode()
    yield page([line("ispell-1.0.01-w32.tar.xz")]).encode()
    for part in range(2):
        for _ in range(25 * 1024):
            yield filler
        yield line(f"ispell-1.0.0{part + 2}-w32.tar.xz").encode()


def proxied_page(via):
    name = "ispell-7.7.77-w32.tar.xz" if via else "ispell-1.1.11-w32.tar.xz"
    return page([line(name)])


class Pages(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    # /fresh/: how often it was asked for, and the header lines of the latest request.
    fresh_count = 0
    fresh_headers = ""
    fresh_lock = threading.Lock()

    def log_message(self, format, *args):
        sys.stderr.write("%s %s\n" % (self.address_string(), format % args))

    def send_body(self, body, status=200, headers=()):
        if isinstance(body, str):
            body = body.encode()
        self.send_response(status)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(body)))
        for key, value in headers:
            self.send_header(key, value)
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        path = self.path
        if path.startswith("http://"):  # absolute form, as a proxy forwards it unchanged
            path = "/" + path.split("/", 3)[3]
        parts = [p for p in path.split("/") if p]
        if parts[:1] == ["status"] and len(parts) >= 2:
            self.send_body(page([line("ispell-2.0.00-w32.tar.xz")]), int(parts[1]))
        elif path == "/empty/":
            self.send_body(b"")
        elif path == "/months/":
            self.send_body(MONTHS)
        elif path == "/sizes/":
            self.send_body(SIZES)
        elif path == "/nul/":
            self.send_body(NUL)
        elif path == "/nodates/":
            self.send_body(NODATES)
        elif path == "/highbytes/":
            self.send_body(HIGHBYTES)
        elif path == "/many/":
            self.send_body(MANY)
        elif path == "/fresh/":
            # A newer archive at every request, in a page any cache may keep for an hour.
            with Pages.fresh_lock:
                Pages.fresh_count += 1
                Pages.fresh_headers = str(self.headers)
                count = Pages.fresh_count
            self.send_body(page([line(f"ispell-1.0.{count:02d}-w32.tar.xz")]), 200,
                           [("Cache-Control", "public, max-age=3600"),
                            ("Last-Modified", "Sat, 05 Mar 2011 14:07:00 GMT"),
                            ("Expires", "Thu, 31 Dec 2099 23:59:59 GMT")])
        elif path == "/fresh/headers":
            with Pages.fresh_lock:
                headers = Pages.fresh_headers
            self.send_body(headers, 200, [("Cache-Control", "no-store")])
        elif parts[:1] == ["layouts"] and len(parts) == 2 and parts[1] in LAYOUT_PAGES:
            self.send_body(LAYOUT_PAGES[parts[1]])
        elif path == "/longline/":
            self.send_body(LONGLINE)
        elif path == "/proxy/":
            self.send_body(proxied_page(self.headers.get("Via")))
        elif path == "/truncated/":
            body = page([line("ispell-1.0.01-w32.tar.xz"), line("ispell-1.0.02-w32.tar.xz")])
            self.send_response(200)
            self.send_header("Content-Length", str(len(body) + 100000))
            self.end_headers()
            self.wfile.write(body.encode())
            self.wfile.flush()
            self.close_connection = True
        elif path == "/reset/":
            # Part of the page, with an entry of an unknown month, then the connection reset.
            body = page([line("ispell-1.0.01-w32.tar.xz", "05-Sept-2011 14:07")]).encode()
            self.send_response(200)
            self.send_header("Content-Length", str(len(body) + 100000))
            self.end_headers()
            self.wfile.write(body)
            self.wfile.flush()
            time.sleep(0.2)
            # Closed at once with no lingering: a reset, and no orderly end before it.
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                       struct.pack("ii", 1, 0))
            self.connection.close()
            self.close_connection = True
        elif path == "/huge/":
            self.send_response(200)
            self.send_header("Content-Type", "text/html")
            self.send_header("Transfer-Encoding", "chunked")
            self.end_headers()
            for chunk in huge_chunks():
                self.wfile.write(b"%x\r\n%s\r\n" % (len(chunk), chunk))
            self.wfile.write(b"0\r\n\r\n")
        else:
            self.send_body(page([]), 404)


def stall(address):
    """Accepts every connection and never answers; each is closed after two minutes."""
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind((address, 80))
    listener.listen(16)
    held = []
    while True:
        connection, _ = listener.accept()
        held.append((time.monotonic(), connection))
        now = time.monotonic()
        for opened, c in [h for h in held if now - h[0] > 120]:
            c.close()
        held = [h for h in held if now - h[0] <= 120]


def main():
    pages_address, stall_address, proxied_address = sys.argv[1:4]
    ThreadingHTTPServer.allow_reuse_address = True
    ThreadingHTTPServer.daemon_threads = True
    server = ThreadingHTTPServer((pages_address, 80), Pages)
    proxied = ThreadingHTTPServer((proxied_address, 80), Pages)
    threading.Thread(target=stall, args=(stall_address,), daemon=True).start()
    threading.Thread(target=proxied.serve_forever, daemon=True).start()
    server.serve_forever()


if __name__ == "__main__":
    main()
