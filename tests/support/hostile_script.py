#!/usr/bin/env python3
"""Writes a scripted-peer script (tools/testnet/scripted.py) whose every
connection reads one request and answers as a hostile server would; the
shell twin of tests/support/hostile_bodies.h.

    hostile_script.py KIND OUT [--wire N] [--length N] [--status S]

KIND:
  bomb        200, gzip, ended by the close: a gzip stream of zeros that never
              ends, --wire bytes of it (default 10 MB, about 10 GB decoded)
  endless     200, ended by the close, bytes without end
  chunked     200, chunked, chunks without end
  announce    200 with "Content-Length: --length" and that many bytes
  redirect    --status (default 302) without Location, an HTML page as body
"""
import argparse
import json
import sys
import zlib

GZIP_HEADER = bytes.fromhex("1f8b0800000000000003")
SEGMENT_BYTES = 1 << 20
FILLER = 64 * 1024
ENDLESS_BLOCKS = 1 << 24


def bomb_segment():
    """Raw deflate of SEGMENT_BYTES zeros ending in a full flush: every copy
    is the same bytes, and any number of them continue one stream."""
    compressor = zlib.compressobj(9, zlib.DEFLATED, -15)
    return compressor.compress(bytes(SEGMENT_BYTES)) + compressor.flush(zlib.Z_FULL_FLUSH)


def text(data):
    return data.decode("latin-1")


def head(lines):
    return "HTTP/1.1 200 OK\r\nConnection: close\r\n" + "".join(l + "\r\n" for l in lines) + "\r\n"


def chunk(data):
    return b"%x\r\n" % len(data) + data + b"\r\n"


def steps(args):
    read = {"read_request": True}
    if args.kind == "bomb":
        segment = bomb_segment()
        count = (args.wire + len(segment) - 1) // len(segment)
        return [read, {"send": head(["Content-Encoding: gzip"])}, {"send": text(GZIP_HEADER)},
                {"repeat": text(segment), "count": count}]
    if args.kind == "endless":
        return [read, {"send": head([])}, {"repeat": "e" * FILLER, "count": ENDLESS_BLOCKS}]
    if args.kind == "chunked":
        return [read, {"send": head(["Transfer-Encoding: chunked"])},
                {"repeat": text(chunk(b"c" * FILLER)), "count": ENDLESS_BLOCKS}]
    if args.kind == "announce":
        body = [{"repeat": "a" * FILLER, "count": args.length // FILLER}]
        if args.length % FILLER:
            body.append({"send": "a" * (args.length % FILLER)})
        return [read, {"send": head(["Content-Length: %d" % args.length])}] + body
    page = "<html><body>Moved</body></html>"
    return [read, {"send": "HTTP/1.1 %d Moved\r\nContent-Type: text/html\r\nContent-Length: %d"
                           "\r\nConnection: close\r\n\r\n%s" % (args.status, len(page), page)}]


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("kind", choices=["bomb", "endless", "chunked", "announce", "redirect"])
    parser.add_argument("out")
    parser.add_argument("--wire", type=int, default=10_000_000)
    parser.add_argument("--length", type=int, default=0)
    parser.add_argument("--status", type=int, default=302)
    args = parser.parse_args(argv)
    with open(args.out, "w", encoding="ascii") as f:
        json.dump({"connections": [], "otherwise": steps(args)}, f)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
