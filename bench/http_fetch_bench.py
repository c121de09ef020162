#!/usr/bin/env python3
"""Throughput of the HTTP transport against its peers, in one run.

1. A 1 GiB file from nginx on loopback: `updprobe fetch URL OUT` against
   `curl -s -o OUT URL` (goal: at least 0.9 times curl's throughput).
2. 256 MiB of text served gzip (gzip_static): the decoded bytes per second of
   `updprobe fetch` (network, inflate and the written file included) against
   Python's zlib.decompressobj(31) on the same compressed bytes in memory
   (goal: at least equal).

Run by hand on a release build:
    cmake --preset release && cmake --build --preset release
    python3 bench/http_fetch_bench.py [build/release/bin/updprobe]
Each figure is the best of --runs runs; the runs of the peers alternate.
The copies are written to /dev/shm when it exists.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tools", "testnet"))
import testnet  # noqa: E402

GIB = 1 << 30
MIB = 1 << 20


def write_random(path, size):
    block = os.urandom(16 * MIB)
    with open(path, "wb") as out:
        for _ in range(size // len(block)):
            out.write(block)


def write_text_and_gzip(path, size):
    line = b"".join(b"%08d the quick brown fox jumps over the lazy dog %d\n" % (i, i * 7919 % 997)
                    for i in range(4096))
    compressor = zlib.compressobj(6, zlib.DEFLATED, 31)
    with open(path, "wb") as text, open(path + ".gz", "wb") as packed:
        written = 0
        while written < size:
            piece = line[:size - written]
            text.write(piece)
            packed.write(compressor.compress(piece))
            written += len(piece)
        packed.write(compressor.flush())


def timed(command, out):
    # Neither peer pays for truncating the other's copy, and no dirty pages
    # of the preparation or of an earlier run are written back while it runs.
    if os.path.exists(out):
        os.remove(out)
    os.sync()
    start = time.perf_counter()
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    elapsed = time.perf_counter() - start
    if result.returncode != 0:
        raise RuntimeError("%s failed: %s" % (command[0], result.stdout.decode(errors="replace")))
    return elapsed


def python_inflate_seconds(path, runs):
    with open(path, "rb") as f:
        data = f.read()
    best = None
    for _ in range(runs):
        start = time.perf_counter()
        decoder = zlib.decompressobj(31)
        out = decoder.decompress(data)
        out += decoder.flush()
        elapsed = time.perf_counter() - start
        best = elapsed if best is None else min(best, elapsed)
    return best, len(out)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("probe", nargs="?",
                        default=os.path.join(HERE, "..", "build", "release", "bin", "updprobe"))
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    curl = shutil.which("curl")
    work = tempfile.mkdtemp(prefix="http-bench-")
    out_dir = work
    try:
        with testnet.Nginx(work, server_conf="location /plain/ { gzip off; }") as web:
            os.makedirs(os.path.join(web.root, "plain"))
            big = os.path.join(web.root, "plain", "big.bin")
            write_random(big, GIB)
            text = os.path.join(web.root, "text.txt")
            write_text_and_gzip(text, 256 * MIB)
            # The copies go to memory (tmpfs) when there is one: what is
            # measured is the transfer, not the disk's writeback, which on a
            # shared machine swings either peer's time by a factor of two.
            out_dir = tempfile.mkdtemp(prefix="http-bench-", dir="/dev/shm") \
                if os.path.isdir("/dev/shm") else work
            out = os.path.join(out_dir, "out")

            curl_best = probe_best = None
            for _ in range(args.runs):
                elapsed = timed([curl, "-s", "--noproxy", "*", "-o", out, web.url("/plain/big.bin")],
                                out)
                curl_best = elapsed if curl_best is None else min(curl_best, elapsed)
                elapsed = timed([args.probe, "fetch", web.url("/plain/big.bin"), out], out)
                probe_best = elapsed if probe_best is None else min(probe_best, elapsed)
            if os.path.getsize(out) != GIB:
                raise RuntimeError("the probe's copy has the wrong size")
            print("1 GiB plain:  curl %7.0f MiB/s   updprobe %7.0f MiB/s   ratio %.2f (goal >= 0.90)"
                  % (GIB / MIB / curl_best, GIB / MIB / probe_best, curl_best / probe_best))

            python_best, decoded = python_inflate_seconds(text + ".gz", args.runs)
            fetch_best = None
            for _ in range(args.runs):
                elapsed = timed([args.probe, "fetch", web.url("/text.txt"), out], out)
                fetch_best = elapsed if fetch_best is None else min(fetch_best, elapsed)
            if os.path.getsize(out) != decoded:
                raise RuntimeError("the probe decoded a different size")
            print("256 MiB gzip: python zlib %7.0f MiB/s   updprobe fetch %7.0f MiB/s   ratio %.2f"
                  " (goal >= 1.00; compressed %.1f MiB)"
                  % (decoded / MIB / python_best, decoded / MIB / fetch_best,
                     python_best / fetch_best, os.path.getsize(text + ".gz") / MIB))
    finally:
        shutil.rmtree(work, ignore_errors=True)
        if out_dir != work:
            shutil.rmtree(out_dir, ignore_errors=True)


if __name__ == "__main__":
    main()
