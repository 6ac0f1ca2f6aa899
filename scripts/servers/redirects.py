#!/usr/bin/python3
"""Redirects for the discovery tests: every kind a mirror that moved could answer.

Usage: redirects.py ADDRESS
Serves on port 80 of ADDRESS until terminated:
  /to/STATUS?LOCATION  STATUS with LOCATION (percent-decoded) as the Location header; without
                       "?" no Location header at all, with "?" alone an empty one
  /chain/N/            redirects to /chain/N-1/ down to /chain/0/, which lists an archive
  /loop/a/, /loop/b/   redirect to each other (one absolute, one relative Location)
  /self/               redirects to itself
  /page/               lists an archive
  /, /?QUERY           lists an archive
  /rooted/             lists archives linked from the root, from the parent and with character
                       references, and a checksum beside one
"""
import sys
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer


def page(*names):
    links = "".join(f'<a href="{name}">{name}</a>{" " * max(1, 50 - len(name))}'
                    "05-Mar-2011 14:07    1M\r\n" for name in names)
    return ("<html><head><title>Index</title></head><body><pre>\r\n" + links +
            "</pre><hr></body></html>\r\n").encode()


class Redirects(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, format, *args):
        sys.stderr.write("%s %s\n" % (self.address_string(), format % args))

    def answer(self, status, location=None, body=b""):
        self.send_response(status)
        if location is not None:
            self.send_header("Location", location)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        path, _, query = self.path.partition("?")
        parts = [p for p in path.split("/") if p]
        here = self.server.server_address[0]
        if parts[:1] == ["to"] and len(parts) == 2:
            location = urllib.parse.unquote(query) if "?" in self.path else None
            self.answer(int(parts[1]), location, page("not-followed.html"))
        elif parts[:1] == ["chain"] and len(parts) == 2 and parts[1].isdigit():
            left = int(parts[1])
            if left == 0:
                self.answer(200, body=page("ispell-5.5.55-w32.tar.xz"))
            else:
                self.answer(302, f"/chain/{left - 1}/")
        elif path == "/loop/a/":
            self.answer(302, f"http://{here}/loop/b/")
        elif path == "/loop/b/":
            self.answer(302, "../a/")
        elif path == "/self/":
            self.answer(301, "/self/")
        elif path == "/page/":
            self.answer(200, body=page("ispell-6.6.66-w32.tar.xz"))
        elif path == "/":
            self.answer(200, body=page("ispell-6.6.60-w32.tar.xz"))
        elif path == "/rooted/":
            self.answer(200, body=page("/2099/ispell-6.6.01-w32.tar.xz",
                                       "../files/ispell-6.6.67-w32.tar.xz?from=a&amp;to=b",
                                       "ispell-6.6.67-w32.tar.xz.sha256"))
        else:
            self.answer(404, body=b"not here")


def main():
    ThreadingHTTPServer.allow_reuse_address = True
    ThreadingHTTPServer.daemon_threads = True
    ThreadingHTTPServer((sys.argv[1], 80), Redirects).serve_forever()


if __name__ == "__main__":
    main()
