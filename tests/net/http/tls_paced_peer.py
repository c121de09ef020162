#!/usr/bin/env python3
"""A TLS server whose raw bytes go out at a chosen pace, for the HTTPS
trickle tests. The TLS session runs on memory buffers, so the encrypted bytes
of one phase (the handshake flight, the answer's head or its body) leave in
pieces of PIECE bytes every INTERVAL seconds: a record then arrives over many
receives. Every connection reads one request and gets a head announcing BODY
bytes (byte i is (i * 7 + 3) % 256) and the body. Prints its port on the first
line and serves until it is ended.

    tls_paced_peer.py CERT KEY --phase handshake|head|body --piece N --interval S --body N
"""
import argparse
import socket
import ssl
import sys
import threading
import time

# Plaintext goes into records of at most this size (the TLS maximum).
RECORD = 16384


def body_bytes(size):
    return bytes((i * 7 + 3) % 256 for i in range(size))


class Connection:
    def __init__(self, sock, context, args):
        self.sock = sock
        self.args = args
        self.incoming = ssl.MemoryBIO()
        self.outgoing = ssl.MemoryBIO()
        self.tls = context.wrap_bio(self.incoming, self.outgoing, server_side=True)

    def flush(self, paced):
        data = self.outgoing.read()
        if not paced:
            self.sock.sendall(data)
            return
        piece = self.args.piece
        for i in range(0, len(data), piece):
            self.sock.sendall(data[i:i + piece])
            time.sleep(self.args.interval)

    def fill(self):
        data = self.sock.recv(65536)
        if not data:
            raise EOFError()
        self.incoming.write(data)

    def handshake(self):
        while True:
            try:
                self.tls.do_handshake()
                break
            except ssl.SSLWantReadError:
                self.flush(self.args.phase == "handshake")
                self.fill()
        self.flush(self.args.phase == "handshake")

    def read_request(self):
        request = b""
        while b"\r\n\r\n" not in request:
            try:
                request += self.tls.read(65536)
            except ssl.SSLWantReadError:
                self.fill()

    def answer(self):
        body = body_bytes(self.args.body)
        self.tls.write(b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\n\r\n" % len(body))
        self.flush(self.args.phase == "head")
        for i in range(0, len(body), RECORD):
            self.tls.write(body[i:i + RECORD])
        self.flush(self.args.phase == "body")

    def serve(self):
        try:
            self.handshake()
            self.read_request()
            self.answer()
        except (OSError, EOFError, ssl.SSLError) as error:
            print("peer: %s" % error, file=sys.stderr)
        finally:
            self.sock.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("cert")
    parser.add_argument("key")
    parser.add_argument("--phase", choices=["handshake", "head", "body"], required=True)
    parser.add_argument("--piece", type=int, default=1)
    parser.add_argument("--interval", type=float, default=5.0)
    parser.add_argument("--body", type=int, default=100000)
    args = parser.parse_args()
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(args.cert, args.key)
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    print(listener.getsockname()[1], flush=True)
    while True:
        sock, _ = listener.accept()
        threading.Thread(target=Connection(sock, context, args).serve, daemon=True).start()


if __name__ == "__main__":
    main()
