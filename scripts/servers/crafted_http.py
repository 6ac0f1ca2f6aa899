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
