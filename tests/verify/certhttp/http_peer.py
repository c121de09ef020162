"""Scripted HTTP peer for the certificate HTTP client tests.

Usage: http_peer.py SCRIPT LOG [--port80]

SCRIPT is a JSON file {"exchanges": [EXCHANGE, ...]}. Every request that
arrives (on any connection) takes the next exchange in order; the request
bytes are appended to LOG as one JSON line {"conn": n, "raw": text}. An
exchange is {"reply": [STEP, ...], "after": "keep" | "close" | "reset"} with
steps
  {"send": text}                       bytes of the text (latin-1)
  {"sleep": seconds}
  {"trickle": text, "interval": s}     one byte at a time
  {"repeat": text, "count": n}         the text n times, in large pieces
"{SELF}" in a text stands for the peer's own "address:port". When the
exchanges run out, connections are closed without an answer.

The peer listens on 127.0.0.1 at a free port, or with --port80 on port 80 of
a random 127.x.y.z address, and prints "ADDRESS PORT" on its first line.
"""
import json
import random
import socket
import struct
import sys
import threading
import time

lock = threading.Lock()
state = {"next": 0, "conn": 0}


def read_request(connection, pending):
    while b"\r\n\r\n" not in pending:
        data = connection.recv(65536)
        if not data:
            return None, pending
        pending += data
    head, _, rest = pending.partition(b"\r\n\r\n")
    length = 0
    for line in head.split(b"\r\n")[1:]:
        name, _, value = line.partition(b":")
        if name.strip().lower() == b"content-length":
            length = int(value.strip())
    while len(rest) < length:
        data = connection.recv(65536)
        if not data:
            break
        rest += data
    return head + b"\r\n\r\n" + rest[:length], rest[length:]


def play(connection, steps):
    for step in steps:
        if "send" in step:
            connection.sendall(step["send"].replace("{SELF}", state["self"]).encode("latin-1"))
        elif "sleep" in step:
            time.sleep(step["sleep"])
        elif "trickle" in step:
            for byte in step["trickle"].encode("latin-1"):
                connection.sendall(bytes([byte]))
                time.sleep(step["interval"])
        elif "repeat" in step:
            piece = step["repeat"].encode("latin-1") * max(1, 1048576 // len(step["repeat"]))
            left = len(step["repeat"]) * step["count"]
            while left > 0:
                chunk = piece[:left]
                connection.sendall(chunk)
                left -= len(chunk)


def serve(connection, script, log_path):
    with lock:
        conn_id = state["conn"]
        state["conn"] += 1
    pending = b""
    try:
        while True:
            request, pending = read_request(connection, pending)
            if request is None:
                return
            with lock:
                index = state["next"]
                state["next"] += 1
                with open(log_path, "a", encoding="utf-8") as log:
                    log.write(json.dumps({"conn": conn_id, "raw": request.decode("latin-1")}) + "\n")
            exchanges = script["exchanges"]
            if index >= len(exchanges):
                return
            exchange = exchanges[index]
            play(connection, exchange.get("reply", []))
            after = exchange.get("after", "keep")
            if after == "reset":
                connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                return
            if after == "close":
                return
    except OSError:
        pass
    finally:
        connection.close()


def listen(port80):
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    if not port80:
        listener.bind(("127.0.0.1", 0))
        return listener
    for _ in range(50):
        address = "127.%d.%d.%d" % (random.randint(1, 254), random.randint(1, 254),
                                    random.randint(2, 254))
        try:
            listener.bind((address, 80))
            return listener
        except OSError:
            continue
    raise SystemExit("no free loopback address for port 80")


def main():
    with open(sys.argv[1], encoding="utf-8") as f:
        script = json.load(f)
    log_path = sys.argv[2]
    listener = listen("--port80" in sys.argv[3:])
    listener.listen(16)
    address, port = listener.getsockname()
    state["self"] = "%s:%d" % (address, port)
    print(address, port, flush=True)
    while True:
        connection, _ = listener.accept()
        threading.Thread(target=serve, args=(connection, script, log_path), daemon=True).start()


if __name__ == "__main__":
    main()
