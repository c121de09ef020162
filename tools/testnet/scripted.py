"""A raw-socket server that plays one script per accepted connection.

It records every byte it receives and answers exactly the bytes the script
gives, so tests can check a client's request byte for byte and feed it
malformed, cut, slow or stalled answers.

A connection script is a list of steps, or {"steps": [...], "cut": N,
"cut_reset": bool}: with "cut" the connection is closed (reset with
"cut_reset") as soon as N bytes were sent on it, wherever that falls. Steps:

  {"read_request": true}     one HTTP request: head, then a Content-Length or
                             chunked body; recorded in requests.jsonl
  {"read": n}                exactly n bytes
  {"read_until": text}       up to and including text
  {"send": text}             the bytes of a latin-1 text; "{SELF}" stands for
                             "host:port" of the server, "{PORT}" for its port.
                             With "trickle": s, the text goes out in pieces of
                             "piece" bytes (default 1) every s seconds
  {"send_hex": hex}          raw bytes
  {"repeat": text, "count": n}   the text n times (large bodies)
  {"sleep": s}
  {"stall": true}            neither answer nor close: keep reading (and
                             recording) until the peer closes
  {"close": true}            orderly close (the peer reads what was sent)
  {"reset": true}            close with a reset
  {"shutdown_write": true}   half-close; reading goes on

A script that ends without closing closes in order. A read that meets the
peer's close ends the script. Records in the server folder: conn-N.in (all
bytes received on connection N, from 0) and requests.jsonl (one line
{"conn": N, "hex": bytes} per read_request).
"""
import json
import os
import socket
import struct
import threading
import time

# Upper bound of one HTTP request head or chunk-size line a script reads.
MAX_HEAD = 1 << 20
# How long an orderly close waits for the peer to finish sending.
CLOSE_DRAIN_SECONDS = 2.0


class _Closed(Exception):
    """The peer closed, or a cut or close step ended the connection."""


class _Connection:
    def __init__(self, server, sock, number, script):
        self.server = server
        self.sock = sock
        self.number = number
        if isinstance(script, list):
            script = {"steps": script}
        self.steps = script.get("steps", [])
        self.cut = script.get("cut")
        self.cut_reset = script.get("cut_reset", False)
        self.sent = 0
        self.pending = b""
        self.record = open(os.path.join(server.folder, "conn-%d.in" % number), "wb")

    # Receiving.
    def _fill(self):
        data = self.sock.recv(65536)
        if not data:
            raise _Closed()
        self.record.write(data)
        self.record.flush()
        self.pending += data

    def read(self, n):
        while len(self.pending) < n:
            self._fill()
        data, self.pending = self.pending[:n], self.pending[n:]
        return data

    def read_until(self, marker):
        while marker not in self.pending:
            if len(self.pending) > MAX_HEAD:
                raise _Closed()
            self._fill()
        end = self.pending.index(marker) + len(marker)
        data, self.pending = self.pending[:end], self.pending[end:]
        return data

    def read_request(self):
        head = self.read_until(b"\r\n\r\n")
        headers = {}
        for line in head.split(b"\r\n")[1:]:
            name, _, value = line.partition(b":")
            headers[name.strip().lower()] = value.strip()
        body = b""
        if headers.get(b"transfer-encoding", b"").lower() == b"chunked":
            while True:
                size_line = self.read_until(b"\r\n")
                body += size_line
                size = int(size_line.split(b";")[0].strip() or b"0", 16)
                if size == 0:
                    # Trailer lines up to the empty line.
                    while True:
                        line = self.read_until(b"\r\n")
                        body += line
                        if line == b"\r\n":
                            break
                    break
                body += self.read(size + 2)
        elif b"content-length" in headers:
            body = self.read(int(headers[b"content-length"]))
        self.server.log_request(self.number, head + body)

    # Sending.
    def send(self, data):
        if self.cut is not None and self.sent + len(data) >= self.cut:
            data = data[:max(0, self.cut - self.sent)]
            self.sock.sendall(data)
            self.sent += len(data)
            self.close(reset=self.cut_reset)
            raise _Closed()
        self.sock.sendall(data)
        self.sent += len(data)

    def close(self, reset=False):
        if reset:
            self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        else:
            # Reading what the peer still sends keeps the kernel from
            # answering it with a reset that could destroy our last bytes.
            try:
                self.sock.shutdown(socket.SHUT_WR)
                self.sock.settimeout(CLOSE_DRAIN_SECONDS)
                while self.sock.recv(65536):
                    pass
            except OSError:
                pass
        self.sock.close()

    def text(self, step):
        return step["send"].replace("{SELF}", self.server.self_address).replace(
            "{PORT}", str(self.server.port)).encode("latin-1")

    def play(self, step):
        if "read_request" in step:
            self.read_request()
        elif "read" in step:
            self.read(step["read"])
        elif "read_until" in step:
            self.read_until(step["read_until"].encode("latin-1"))
        elif "send" in step:
            data = self.text(step)
            interval = step.get("trickle")
            if interval is None:
                self.send(data)
            else:
                piece = step.get("piece", 1)
                for i in range(0, len(data), piece):
                    self.send(data[i:i + piece])
                    time.sleep(interval)
        elif "send_hex" in step:
            self.send(bytes.fromhex(step["send_hex"]))
        elif "repeat" in step:
            block = step["repeat"].encode("latin-1")
            left = step["count"]
            while left > 0:
                count = min(left, max(1, (1 << 20) // max(1, len(block))))
                self.send(block * count)
                left -= count
        elif "sleep" in step:
            time.sleep(step["sleep"])
        elif "stall" in step:
            while True:
                self._fill()
        elif "close" in step or "reset" in step:
            self.close(reset="reset" in step)
            raise _Closed()
        elif "shutdown_write" in step:
            self.sock.shutdown(socket.SHUT_WR)
        else:
            raise ValueError("unknown step %r" % step)

    def run(self):
        try:
            for step in self.steps:
                self.play(step)
            self.close()
        except (_Closed, OSError, ValueError):
            try:
                self.sock.close()
            except OSError:
                pass
        finally:
            self.record.close()


class ScriptedServer:
    def __init__(self, folder, connections, otherwise, addresses):
        self.folder = folder
        self.connections = list(connections)
        self.otherwise = otherwise
        self.addresses = addresses
        self.requests_path = os.path.join(folder, "requests.jsonl")
        open(self.requests_path, "wb").close()
        self.lock = threading.Lock()
        self.count = 0
        self.port = 0
        self.self_address = ""
        self.listeners = []
        self.open_sockets = set()
        self.stopping = False

    def _listen(self):
        for _ in range(100):
            listeners = []
            try:
                for address in self.addresses:
                    family = socket.AF_INET6 if ":" in address else socket.AF_INET
                    s = socket.socket(family, socket.SOCK_STREAM)
                    listeners.append(s)
                    if family == socket.AF_INET6:
                        s.setsockopt(socket.IPPROTO_IPV6, socket.IPV6_V6ONLY, 1)
                    s.bind((address, listeners[0].getsockname()[1] if len(listeners) > 1 else 0))
                    s.listen(64)
                return listeners
            except OSError:
                for s in listeners:
                    s.close()
        raise RuntimeError("no free port for the scripted server")

    def start(self):
        self.listeners = self._listen()
        self.port = self.listeners[0].getsockname()[1]
        self.self_address = "127.0.0.1:%d" % self.port
        for listener in self.listeners:
            threading.Thread(target=self._accept, args=(listener,), daemon=True).start()
        return self.port

    def _accept(self, listener):
        while True:
            try:
                sock, _ = listener.accept()
            except OSError:
                return
            with self.lock:
                if self.stopping:
                    sock.close()
                    return
                number = self.count
                self.count += 1
                self.open_sockets.add(sock)
            script = self.connections[number] if number < len(self.connections) else self.otherwise
            connection = _Connection(self, sock, number, script if script is not None else [])
            if script is None:
                connection.steps = [{"close": True}]
            threading.Thread(target=self._serve, args=(connection,), daemon=True).start()

    def _serve(self, connection):
        connection.run()
        with self.lock:
            self.open_sockets.discard(connection.sock)

    def log_request(self, number, raw):
        with self.lock, open(self.requests_path, "a", encoding="ascii") as out:
            out.write(json.dumps({"conn": number, "hex": raw.hex()}) + "\n")

    def requests(self):
        """[(conn, raw bytes)] of the requests read so far, in order."""
        with self.lock, open(self.requests_path, encoding="ascii") as f:
            return [(r["conn"], bytes.fromhex(r["hex"])) for r in map(json.loads, f)]

    def received(self, number):
        with open(os.path.join(self.folder, "conn-%d.in" % number), "rb") as f:
            return f.read()

    def stop(self):
        with self.lock:
            self.stopping = True
            sockets = list(self.open_sockets)
        for s in self.listeners + sockets:
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            s.close()
