#!/usr/bin/python3
"""Mirrors that misbehave on purpose, one behaviour per port, over HTTP, https and FTP.

Usage: hostile.py ADDRESS CERTIFICATE_CHAIN KEY     (until terminated)

HTTP on the port, https on the port + 400 (the same behaviour inside TLS):
  81 accepts and never answers (over TLS: the hello is never answered)
  82 sends the status line, then nothing
  83 drips the headers, one byte every 5 seconds
  84 sends the headers, then drips the body, one byte every 5 seconds
  85 sends an endless body of index lines
  86 sends an endless header line
  87 resets the connection in the middle of the announced body
  88 keeps the connection: answers its first request with a listing, drips the next ones' headers
FTP: 2101 silent after its greeting, 2102 silent after PASV, 2103 a data connection that is
never accepted (the listing's 150 reply, then nothing), 2104 a listing that arrives steadily at
about 2 KB/s for 40 seconds, the archive among its first lines.
A connection is held, dripped or sent to for at most a minute: a call that nothing but the server
ends (the plug-in leaves it to itself after its bound) then returns, and the test sees its
thread end.
"""
import socket
import ssl
import struct
import sys
import threading
import time

HOLD = 60
HEADERS = b"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\n\r\n"
ENTRY = (b'<a href="ispell-3.3.%05d-w32.tar.xz">ispell-3.3.%05d-w32.tar.xz</a>'
         b"     05-Mar-2011 14:07    1M\r\n")


def hold(connection):
    time.sleep(HOLD)


def drip(connection, data):
    for i in range(min(len(data), HOLD // 5)):
        connection.sendall(data[i:i + 1])
        time.sleep(5)


def endless(connection, piece):
    n = 0
    end = time.monotonic() + HOLD
    while time.monotonic() < end:
        connection.sendall(piece(n))
        n += 1


def requests(connection):
    """Each request's head on a kept connection, until the client closes it."""
    reader = connection.makefile("rb")
    while True:
        head = b""
        while not head.endswith(b"\r\n\r\n"):
            line = reader.readline()
            if not line:
                return
            head += line
        yield head


def keep_alive(connection):
    for n, _ in enumerate(requests(connection)):
        if n:
            drip(connection, HEADERS.replace(b"Connection: close", b"Connection: keep-alive"))
            return
        body = b"<html><body><pre>\r\n" + ENTRY.replace(b"%05d", b"02")
        connection.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n"
                           b"Content-Length: %d\r\n\r\n" % len(body) + body)


def http(behaviour):
    def serve(connection):
        if behaviour == 81:
            return hold(connection)
        if behaviour == 88:
            return keep_alive(connection)
        connection.recv(65536)
        if behaviour == 82:
            connection.sendall(b"HTTP/1.1 200 OK\r\n")
            hold(connection)
        elif behaviour == 83:
            drip(connection, HEADERS)
        elif behaviour == 84:
            connection.sendall(HEADERS)
            drip(connection, b"<html><body><pre>\r\n" + ENTRY % (1, 1) * 8)
        elif behaviour == 85:
            connection.sendall(HEADERS)
            endless(connection, lambda n: ENTRY % (n % 100000, n % 100000) * 64)
        elif behaviour == 86:
            connection.sendall(b"HTTP/1.1 200 OK\r\nX-Endless: ")
            endless(connection, lambda n: b"x" * 65536)
        elif behaviour == 87:
            body = b"<html><body><pre>\r\n" + ENTRY % (1, 1)
            connection.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close"
                               b"\r\nContent-Length: %d\r\n\r\n" % (len(body) + 5000) + body)
            # A reset, not an orderly close, once the client has read what came.
            time.sleep(1)
            connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    return serve


def steady(data):
    """About 2 KB/s for 40 seconds: 50 lines of 76 bytes every 2 seconds."""
    line = b"-rw-r--r--    1 ftp      ftp      %8d Mar 05  2011 %s\r\n"
    data.sendall(line % (54321, b"ispell-3.3.02-w32.tar.xz"))
    for second in range(0, 40, 2):
        data.sendall(b"".join(line % (n, b"other-%05d.tar.xz" % n)
                              for n in range(second * 25, second * 25 + 50)))
        time.sleep(2)


def ftp(behaviour):
    def serve(connection):
        connection.sendall(b"220 hostile mirror\r\n")
        if behaviour == 2101:
            return hold(connection)
        data_listener = None
        reader = connection.makefile("rb")
        while True:
            line = reader.readline()
            if not line:
                return
            command = line.split(b" ")[0].strip().upper()
            if command == b"USER":
                connection.sendall(b"331 any password\r\n")
            elif command == b"PASS":
                connection.sendall(b"230 logged in\r\n")
            elif command == b"CWD":
                connection.sendall(b"250 here\r\n")
            elif command == b"PWD":
                connection.sendall(b'257 "/"\r\n')
            elif command == b"PASV":
                if behaviour == 2102:
                    return hold(connection)
                # Listening, never accepting: the client's connection waits in the backlog.
                data_listener = socket.socket()
                data_listener.bind((connection.getsockname()[0], 0))
                data_listener.listen(1)
                host = connection.getsockname()[0].replace(".", ",")
                port = data_listener.getsockname()[1]
                connection.sendall(b"227 Entering Passive Mode (%s,%d,%d)\r\n"
                                   % (host.encode(), port // 256, port % 256))
            elif command in (b"LIST", b"NLST") and behaviour == 2104:
                connection.sendall(b"150 here it comes\r\n")
                data, _ = data_listener.accept()
                with data:
                    steady(data)
                connection.sendall(b"226 done\r\n")
            elif command in (b"LIST", b"NLST"):
                connection.sendall(b"150 here it comes\r\n")
                hold(connection)
                if data_listener:
                    data_listener.close()
                return
            elif command == b"QUIT":
                connection.sendall(b"221 bye\r\n")
                return
            else:
                connection.sendall(b"200 ok\r\n")
    return serve


def listen(address, port, serve, context=None):
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind((address, port))
    listener.listen(16)

    def run(connection):
        try:
            with connection:
                connection.settimeout(HOLD)
                if context:
                    connection = context.wrap_socket(connection, server_side=True)
                serve(connection)
        except (OSError, ssl.SSLError):
            pass

    def accept():
        while True:
            connection, _ = listener.accept()
            threading.Thread(target=run, args=(connection,), daemon=True).start()
    threading.Thread(target=accept, daemon=True).start()


def main():
    address, chain, key = sys.argv[1:4]
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(chain, key)
    for behaviour in range(81, 89):
        listen(address, behaviour, http(behaviour))
        # Over TLS the silent server must not even take part in the handshake.
        listen(address, behaviour + 400, http(behaviour), None if behaviour == 81 else context)
    for behaviour in (2101, 2102, 2103, 2104):
        listen(address, behaviour, ftp(behaviour))
    while True:
        time.sleep(3600)


if __name__ == "__main__":
    main()
