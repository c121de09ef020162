#!/usr/bin/env python3
"""A Digest server that checks each answer with hashlib, for the tests of
long and escaped challenges. Neither Apache nor Python's urllib can stand in
for it: Apache escapes the quotes of its AuthName and then compares the
escaped text with the realm an answer carries, and urllib puts a realm back
between quotes without escaping it.

    digest_peer.py CONFIG

CONFIG is a JSON file: "realm", "nonce", "opaque" (the values as the server
means them), "user", "password", "body", and optionally "filler" (a number:
the 200 carries an "X-Filler" header line of that many bytes) and "qop"
(default "auth"). A request without a right answer gets a 401 with the
challenge (the values written as RFC 9110 quoted strings, quoted-pairs and
all) and an "X-Refused" header naming what was wrong; a right one gets a 200
with the body. Every connection is closed after its answer. Prints its port
on the first line, then serves until it is ended; each answer's verdict goes
to standard error.
"""
import hashlib
import json
import socket
import sys


def quote(value):
    return '"' + value.replace("\\", "\\\\").replace('"', '\\"') + '"'


def parse_params(text):
    """auth-params as RFC 9110 writes them: token BWS "=" BWS (token or
    quoted-string), the quoted-pairs of a quoted-string unescaped."""
    params = {}
    i = 0
    while i < len(text):
        while i < len(text) and text[i] in " \t,":
            i += 1
        start = i
        while i < len(text) and text[i] not in "= \t,":
            i += 1
        name = text[start:i].lower()
        while i < len(text) and text[i] in " \t":
            i += 1
        if i >= len(text) or text[i] != "=":
            raise ValueError("no '=' after " + name)
        i += 1
        while i < len(text) and text[i] in " \t":
            i += 1
        if i < len(text) and text[i] == '"':
            i += 1
            value = []
            while text[i] != '"':
                if text[i] == "\\":
                    i += 1
                value.append(text[i])
                i += 1
            i += 1
            params[name] = "".join(value)
        else:
            start = i
            while i < len(text) and text[i] not in " \t,":
                i += 1
            params[name] = text[start:i]
    return params


def hexdigest(text):
    return hashlib.md5(text.encode("latin-1")).hexdigest()


def verdict(config, method, target, authorization):
    """None for a right answer, else what was wrong."""
    if authorization is None:
        return "no answer"
    scheme, _, rest = authorization.partition(" ")
    if scheme.lower() != "digest":
        return "scheme"
    try:
        params = parse_params(rest)
    except (ValueError, IndexError) as error:
        return "unreadable: %s" % error
    for name in ("username", "realm", "nonce", "opaque"):
        expected = config["user"] if name == "username" else config[name]
        if params.get(name) != expected:
            return name
    if params.get("uri") != target:
        return "uri"
    ha1 = hexdigest("%s:%s:%s" % (config["user"], config["realm"], config["password"]))
    ha2 = hexdigest("%s:%s" % (method, target))
    response = hexdigest("%s:%s:%s:%s:%s:%s" % (ha1, config["nonce"], params.get("nc"),
                                               params.get("cnonce"), params.get("qop"), ha2))
    return None if params.get("response") == response else "response"


def answer(config, head):
    lines = head.decode("latin-1").split("\r\n")
    method, target, _ = lines[0].split(" ", 2)
    authorization = None
    for line in lines[1:]:
        name, _, value = line.partition(":")
        if name.lower() == "authorization":
            authorization = value.strip()
    wrong = verdict(config, method, target, authorization)
    print("peer: %s %s: %s" % (method, target[:40], wrong or "right"), file=sys.stderr)
    if wrong is None:
        body = config["body"].encode("latin-1")
        filler = "X-Filler: %s\r\n" % ("f" * config["filler"]) if config.get("filler") else ""
        return ("HTTP/1.1 200 OK\r\n%sContent-Length: %d\r\nConnection: close\r\n\r\n"
                % (filler, len(body))).encode("latin-1") + body
    challenge = "Digest realm=%s, nonce=%s, opaque=%s, qop=%s, algorithm=MD5" % (
        quote(config["realm"]), quote(config["nonce"]), quote(config["opaque"]),
        quote(config.get("qop", "auth")))
    return ("HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: %s\r\nX-Refused: %s\r\n"
            "Content-Length: 0\r\nConnection: close\r\n\r\n"
            % (challenge, wrong)).encode("latin-1")


def main():
    with open(sys.argv[1], encoding="utf-8") as f:
        config = json.load(f)
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    print(listener.getsockname()[1], flush=True)
    while True:
        connection, _ = listener.accept()
        try:
            connection.settimeout(30)
            head = b""
            while b"\r\n\r\n" not in head:
                data = connection.recv(65536)
                if not data:
                    break
                head += data
            if b"\r\n\r\n" in head:
                connection.sendall(answer(config, head.split(b"\r\n\r\n")[0]))
        except OSError as error:
            print("peer: %s" % error, file=sys.stderr)
        connection.close()


if __name__ == "__main__":
    main()
