#!/usr/bin/python3
"""FTP mirrors for the discovery tests, all in one process.

Usage: ftp_servers.py ROOT MIRROR_ADDRESS REFUSING_ADDRESS LONG_REPLY_ADDRESS
- MIRROR_ADDRESS: anonymous log-in, passive mode, ROOT as the tree. A file named
  "huge-4g-w32.tar.xz" is listed 4 GiB larger than it is.
- REFUSING_ADDRESS: refuses every log-in with a short reply text.
- LONG_REPLY_ADDRESS: refuses every log-in with a reply text of 5000 characters.
Port 21 on each; runs until terminated.
"""
import logging
import os
import sys

from pyftpdlib.authorizers import AuthenticationFailed, DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

REFUSAL = "Anonymous log-in is not allowed on this test mirror."
LONG_REFUSAL = "Refused: " + "0123456789" * 500
FOUR_GIB = 4 * 1024 * 1024 * 1024


class LargeFileFS(AbstractedFS):
    def _grow(self, path, st):
        if os.path.basename(path) != "huge-4g-w32.tar.xz":
            return st
        fields = list(st)
        fields[6] = st.st_size + FOUR_GIB  # st_size
        return os.stat_result(fields)

    def stat(self, path):
        return self._grow(path, super().stat(path))

    def lstat(self, path):
        return self._grow(path, super().lstat(path))


class Refusing(DummyAuthorizer):
    message = REFUSAL

    def has_user(self, username):
        return True

    def validate_authentication(self, username, password, handler):
        raise AuthenticationFailed(self.message)


class LongRefusing(Refusing):
    message = LONG_REFUSAL


def handler_for(authorizer, filesystem=AbstractedFS):
    class Handler(FTPHandler):
        pass

    Handler.authorizer = authorizer
    Handler.abstracted_fs = filesystem
    Handler.auth_failed_timeout = 0.05
    Handler.banner = "discovery test mirror"
    return Handler


def main():
    root, mirror, refusing, long_reply = sys.argv[1:5]
    logging.basicConfig(level=logging.WARNING)
    anonymous = DummyAuthorizer()
    anonymous.add_anonymous(root)
    servers = [
        FTPServer((mirror, 21), handler_for(anonymous, LargeFileFS)),
        FTPServer((refusing, 21), handler_for(Refusing())),
        FTPServer((long_reply, 21), handler_for(LongRefusing())),
    ]
    # All three share the one I/O loop.
    servers[0].serve_forever()


if __name__ == "__main__":
    main()
