#!/usr/bin/env python3
"""A TLS server for the HTTPS failure tests: every connection gets a head
announcing 10,000 bytes, then 5,000 of them, then the end of the
connection: with close_notify (--notify) or with the socket simply closed.
Prints its port on the first line and serves until it is ended.

    tls_short_body_peer.py CERT KEY [--notify]
"""
import socket
import ssl
import sys


def serve(connection, context, notify):
    connection.settimeout(10)
    tls = context.wrap_socket(connection, server_side=True)
    request = b""
    while b"\r\n\r\n" not in request:
        data = tls.recv(4096)
        if not data:
            return
        request += data
    tls.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: 10000\r\n\r\n" + b"x" * 5000)
    if notify:
        try:
            tls.unwrap()  # close_notify; the client need not answer it
        except (OSError, ssl.SSLError):
            pass
    connection.close()


def main():
    cert, key = sys.argv[1], sys.argv[2]
    notify = "--notify" in sys.argv[3:]
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    print(listener.getsockname()[1], flush=True)
    while True:
        connection, _ = listener.accept()
        try:
            serve(connection, context, notify)
        except (OSError, ssl.SSLError) as error:
            print("peer: %s" % error, file=sys.stderr)
            connection.close()


if __name__ == "__main__":
    main()
