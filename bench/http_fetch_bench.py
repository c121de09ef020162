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
import time
import zlib

from fetch_bench_kit import GIB, HERE, MIB, bench_folders, best_times, race_curl, testnet, \
    write_random


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
    with bench_folders("http-bench-") as (work, out), \
            testnet.Nginx(work, server_conf="location /plain/ { gzip off; }") as web:
        os.makedirs(os.path.join(web.root, "plain"))
        big_url = web.url("/plain/big.bin")
        write_random(os.path.join(web.root, "plain", "big.bin"), GIB)
        text = os.path.join(web.root, "text.txt")
        write_text_and_gzip(text, 256 * MIB)

        race_curl("plain", 0.90, [curl, "-s", "--noproxy", "*", "-o", out, big_url],
                  [args.probe, "fetch", big_url, out], out, args.runs)

        python_best, decoded = python_inflate_seconds(text + ".gz", args.runs)
        fetch_best, = best_times(args.runs, [[args.probe, "fetch", web.url("/text.txt"), out]], out)
        if os.path.getsize(out) != decoded:
            raise RuntimeError("the probe decoded a different size")
        print("256 MiB gzip: python zlib %7.0f MiB/s   updprobe fetch %7.0f MiB/s   ratio %.2f"
              " (goal >= 1.00; compressed %.1f MiB)"
              % (decoded / MIB / python_best, decoded / MIB / fetch_best,
                 python_best / fetch_best, os.path.getsize(text + ".gz") / MIB))

if __name__ == "__main__":
    main()
