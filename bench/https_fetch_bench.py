#!/usr/bin/env python3
"""HTTPS through the TLS transport against its peers, in one run.

1. A 1 GiB file from nginx (TLS 1.2, AES-GCM) on loopback: `updprobe fetch
   https://... OUT` (certificate check off) against `curl --cacert ROOT -s -o
   OUT` (goal: at least 0.8 times curl's throughput).
2. New connections per second (a handshake and a GET of a small file each)
   from updbench's BM_HttpsNewConnection with the check off, against
   `openssl s_time -new -www` on the same server; then the check on (the
   server's chain ends in the build's own root, its trust list cached).

The server certificate and its trust list are made at start under the
build's test roots (tools/testpki/ctl_pki.sh, ctl_make.py).

Run by hand on a release build:
    cmake --preset release && cmake --build --preset release
    python3 bench/https_fetch_bench.py [BUILD_DIR]      (default build/release)
Each throughput figure is the best of --runs runs; the runs of the peers alternate.
"""
import argparse
import hashlib
import json
import os
import re
import shutil
import sys

from fetch_bench_kit import GIB, HERE, bench_folders, race_curl, run, testnet, write_random

TESTPKI = os.path.join(HERE, "..", "tools", "testpki")


def make_pki(build, work):
    """The server's chain under root9 and its trust list in a cache folder."""
    pki = os.path.join(work, "pki")
    run(["bash", os.path.join(TESTPKI, "ctl_pki.sh"), os.path.join(build, "trust"), pki])
    maker = [sys.executable, os.path.join(TESTPKI, "ctl_make.py")]
    content = os.path.join(work, "list.content")
    listed = [os.path.join(pki, "signer.der"), os.path.join(pki, "inter.der")]
    run(maker + ["content", "--hash", "sha1", content] + listed)
    with open(os.path.join(pki, "server.der"), "rb") as f:
        name = hashlib.sha1(f.read()).hexdigest() + ".stl"
    cache = os.path.join(work, "cache")
    os.makedirs(os.path.join(cache, "ctl"))
    run(maker + ["sign", os.path.join(cache, "ctl", name), "--content", content,
                 "--signer", os.path.join(pki, "signer"),
                 "--certfile", os.path.join(pki, "inter.pem")])
    chain = os.path.join(work, "chain.pem")
    with open(chain, "w") as out:
        for part in ("server.pem", "inter.pem"):
            with open(os.path.join(pki, part)) as f:
                out.write(f.read())
    return pki, chain, cache


def connections_per_second(updbench, env):
    output = run([updbench, "--benchmark_filter=BM_HttpsNewConnection",
                  "--benchmark_min_time=3", "--benchmark_format=json"], env)
    rates = {}
    for bench in json.loads(output[output.index("{"):])["benchmarks"]:
        if "error_message" in bench:
            raise RuntimeError(bench["error_message"])
        rates[bench["name"].split("check:")[1].split("/")[0]] = bench["items_per_second"]
    return rates["0"], rates["1"]


def s_time_per_second(port, root, seconds=5):
    output = run(["openssl", "s_time", "-connect", "127.0.0.1:%d" % port, "-new",
                  "-time", str(seconds), "-CAfile", root, "-www", "/small.txt"])
    match = re.search(r"(\d+) connections in (\d+) real seconds", output)
    if not match:
        raise RuntimeError("s_time said: " + output)
    return int(match.group(1)) / int(match.group(2))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("build", nargs="?", default=os.path.join(HERE, "..", "build", "release"))
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    probe = os.path.join(args.build, "bin", "updprobe")
    updbench = os.path.join(args.build, "bin", "updbench")
    curl = shutil.which("curl")
    with bench_folders("https-bench-") as (work, out):
        pki, chain, cache = make_pki(args.build, work)
        root = os.path.join(args.build, "trust", "root9.pem")
        conf = ("ssl_certificate %s;\nssl_certificate_key %s;\nssl_protocols TLSv1.2;\n"
                "ssl_ciphers AESGCM;\nlocation /plain/ { gzip off; }\n"
                % (chain, os.path.join(pki, "server.key")))
        with testnet.Nginx(work, listen_options="ssl", server_conf=conf) as web:
            os.makedirs(os.path.join(web.root, "plain"))
            write_random(os.path.join(web.root, "plain", "big.bin"), GIB)
            with open(os.path.join(web.root, "small.txt"), "w") as f:
                f.write("small\n")
            url = web.url("/plain/big.bin")
            curl_command = [curl, "-s", "--noproxy", "*", "--cacert", root, "-o", out, url]
            race_curl("HTTPS", 0.80, curl_command, [probe, "fetch", url, out], out, args.runs)

            env = dict(os.environ, UPD_BENCH_HTTPS_HOST="127.0.0.1:%d" % web.port,
                       UPD_BENCH_HTTPS_CACHE=cache + "/", SSL_CERT_FILE=root,
                       SSL_CERT_DIR=os.path.join(work, "no-certs"))
            off, on = connections_per_second(updbench, env)
            peer = s_time_per_second(web.port, root)
            print("connections:  s_time -new %6.0f/s   check off %6.0f/s (ratio %.2f)"
                  "   check on %6.0f/s (%.2f of off)" % (peer, off, off / peer, on, on / off))


if __name__ == "__main__":
    main()
