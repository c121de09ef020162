"""Runs tinyproxy on a free 127.0.0.1 port for the certificate HTTP client tests.

Usage: proxy_peer.py [USER PASSWORD]. With a user and password the proxy
demands Basic authentication. Prints "127.0.0.1 PORT" once the proxy accepts
connections and stops it when terminated.
"""
import os
import signal
import socket
import subprocess
import sys
import tempfile
import time


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def main():
    folder = tempfile.mkdtemp(prefix="updproxy-")
    port = free_port()
    config = os.path.join(folder, "tinyproxy.conf")
    lines = [
        "Port %d" % port,
        "Listen 127.0.0.1",
        "Timeout 30",
        "MaxClients 20",
        "LogLevel Warning",
        "DisableViaHeader Yes",
        "XTinyproxy No",
    ]
    if len(sys.argv) == 3:
        lines.append("BasicAuth %s %s" % (sys.argv[1], sys.argv[2]))
    with open(config, "w", encoding="ascii") as f:
        f.write("\n".join(lines) + "\n")
    proxy = subprocess.Popen(["tinyproxy", "-d", "-c", config], stdout=sys.stderr)

    # Only ask tinyproxy to end here: the main thread is waiting for it.
    signal.signal(signal.SIGTERM, lambda *_: proxy.terminate())
    for _ in range(200):
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            break
        except OSError:
            if proxy.poll() is not None:
                raise SystemExit("tinyproxy ended")
            time.sleep(0.05)
    print("127.0.0.1", port, flush=True)
    proxy.wait()
    os.remove(config)
    os.rmdir(folder)


if __name__ == "__main__":
    main()
