"""What the fetch benchmarks share: their folders, big files, timed runs of a
command that writes one copy, and the 1 GiB race of updprobe fetch with curl."""

import contextlib
import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tools", "testnet"))
import testnet  # noqa: E402,F401  (the benchmarks' servers)

GIB = 1 << 30
MIB = 1 << 20


@contextlib.contextmanager
def bench_folders(prefix):
    """A work folder and the path of the copies, both removed at the end.

    The copies go to memory (tmpfs) when there is one: what is measured is the
    transfer, not the disk's writeback, which on a shared machine swings either
    peer's time by a factor of two.
    """
    work = tempfile.mkdtemp(prefix=prefix)
    copies = tempfile.mkdtemp(prefix=prefix, dir="/dev/shm") if os.path.isdir("/dev/shm") else work
    try:
        yield work, os.path.join(copies, "out")
    finally:
        shutil.rmtree(work, ignore_errors=True)
        if copies != work:
            shutil.rmtree(copies, ignore_errors=True)


def write_random(path, size):
    block = os.urandom(16 * MIB)
    with open(path, "wb") as out:
        for _ in range(size // len(block)):
            out.write(block)


def run(command, env=None):
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, env=env)
    if result.returncode != 0:
        raise RuntimeError("%s failed: %s" % (command[0], result.stdout.decode(errors="replace")))
    return result.stdout.decode(errors="replace")


def timed(command, out):
    # Neither peer pays for truncating the other's copy, and no dirty pages
    # of the preparation or of an earlier run are written back while it runs.
    if os.path.exists(out):
        os.remove(out)
    os.sync()
    start = time.perf_counter()
    run(command)
    return time.perf_counter() - start


def best_times(runs, commands, out):
    """The best time of each command over runs rounds; the commands alternate."""
    best = [None] * len(commands)
    for _ in range(runs):
        for i, command in enumerate(commands):
            elapsed = timed(command, out)
            best[i] = elapsed if best[i] is None else min(best[i], elapsed)
    return best


def race_curl(label, goal, curl_command, probe_command, out, runs):
    """Prints curl's and the probe's throughput on a 1 GiB file and their ratio."""
    curl_best, probe_best = best_times(runs, [curl_command, probe_command], out)
    if os.path.getsize(out) != GIB:
        raise RuntimeError("the probe's copy has the wrong size")
    print("1 GiB %-7s curl %7.0f MiB/s   updprobe %7.0f MiB/s   ratio %.2f (goal >= %.2f)"
          % (label + ":", GIB / MIB / curl_best, GIB / MIB / probe_best, curl_best / probe_best,
             goal))
