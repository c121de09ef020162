"""Loopback TCP peer for the socket tests.

Usage: socket_peer.py MODE. Listens on 127.0.0.1 at a free port, prints the
port on the first line and serves connections one after another:
  silent  accepts and never answers
  echo    sends back everything it receives
  close   closes each connection in order right after accepting it
  reset   closes each connection with a reset (linger 0) once a byte arrives
"""
import socket
import struct
import sys


def serve(mode, connection):
    if mode == "close":
        connection.close()
        return
    if mode == "reset":
        connection.recv(1)
        connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        connection.close()
        return
    with connection:
        while True:
            data = connection.recv(65536)
            if not data:
                return
            if mode == "echo":
                connection.sendall(data)


def main():
    mode = sys.argv[1]
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    print(listener.getsockname()[1], flush=True)
    while True:
        connection, _ = listener.accept()
        try:
            serve(mode, connection)
        except OSError:
            pass


if __name__ == "__main__":
    main()
