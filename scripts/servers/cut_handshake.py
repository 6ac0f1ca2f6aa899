#!/usr/bin/python3
"""A server whose TLS handshake stops short: it reads the client's hello, sends the first
bytes of a server hello and closes the connection.

Usage: cut_handshake.py ADDRESS     (port 443, until terminated)
"""
import socket
import sys
import threading

# A handshake record announcing a 74-byte server hello, of which only the version and part
# of the random value follow.
PARTIAL_HELLO = bytes.fromhex("160303004a020000460303") + bytes(range(8))


def serve(connection):
    with connection:
        connection.settimeout(10)
        try:
            connection.recv(16384)
            connection.sendall(PARTIAL_HELLO)
        except OSError:
            pass


def main():
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind((sys.argv[1], 443))
    listener.listen(16)
    while True:
        connection, _ = listener.accept()
        threading.Thread(target=serve, args=(connection,), daemon=True).start()


if __name__ == "__main__":
    main()
