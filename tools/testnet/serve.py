"""Runs one test server until it is told to stop; for C++ and shell tests.

Usage: serve.py KIND --dir FOLDER [--ipv6] [options of the kind]

KIND is nginx, apache, squid, tinyproxy or scripted (see testnet.py and
scripted.py). The server gets a folder of its own inside FOLDER. Once it
answers, one line goes to standard output:

    ready kind=nginx host=127.0.0.1 port=40123 url=http://127.0.0.1:40123/ ...

(key=value fields without white space: folder, url6 with --ipv6, the log
paths, root for the web servers). Nothing else is written to standard output.
SIGTERM, SIGINT or SIGHUP stop the server and end this script; so does the
end of the process that started it. A server that cannot start ends the
script with status 1 and its log on standard error.
"""
import argparse
import json
import os
import signal
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import testnet  # noqa: E402


def credential(text):
    user, sep, password = text.partition(":")
    if not sep:
        raise argparse.ArgumentTypeError("expected USER:PASSWORD")
    return user, password


def parse_arguments():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("kind", choices=sorted(testnet.KINDS))
    parser.add_argument("--dir", required=True, help="folder that gets the server's folder")
    parser.add_argument("--ipv6", action="store_true", help="listen on [::1] too")
    nginx = parser.add_argument_group("nginx")
    nginx.add_argument("--listen-options", default="")
    nginx.add_argument("--server-conf", default="", help="text inside the server block")
    nginx.add_argument("--http-conf", default="", help="text inside the http block")
    apache = parser.add_argument_group("apache")
    apache.add_argument("--digest-user", type=credential, action="append", default=[])
    apache.add_argument("--basic-user", type=credential, action="append", default=[])
    apache.add_argument("--conf", default="", help="text appended to the configuration")
    proxies = parser.add_argument_group("squid and tinyproxy")
    proxies.add_argument("--auth", default="none", choices=["none", "basic", "digest", "both"])
    proxies.add_argument("--user", type=credential, action="append", default=[])
    parser.add_argument("--realm", help="authentication realm (apache, squid)")
    parser.add_argument("--script", help="scripted: JSON file {\"connections\": [...], "
                                         "\"otherwise\": script}")
    return parser.parse_args()


def make_server(args):
    folder = args.dir
    realm = {"realm": args.realm} if args.realm else {}
    if args.kind == "nginx":
        return testnet.Nginx(folder, args.ipv6, args.listen_options, args.server_conf,
                             args.http_conf)
    if args.kind == "apache":
        return testnet.Apache(folder, args.ipv6, args.digest_user, args.basic_user,
                              server_conf=args.conf, **realm)
    if args.kind == "squid":
        return testnet.Squid(folder, args.ipv6, args.auth, args.user, **realm)
    if args.kind == "tinyproxy":
        user, password = args.user[0] if args.user else (None, None)
        return testnet.Tinyproxy(folder, user, password)
    with open(args.script, encoding="utf-8") as f:
        script = json.load(f)
    return testnet.Scripted(folder, script.get("connections", []), script.get("otherwise"),
                            args.ipv6)


def main():
    args = parse_arguments()
    parent = os.getppid()
    # The handler only sets a flag: one that takes a lock (Event.set) can run
    # while this very thread holds it inside Event.wait and hang for ever.
    stop = []
    for number in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(number, lambda *_: stop.append(True))
    server = make_server(args)
    try:
        server.start()
    except RuntimeError as error:
        print(error, file=sys.stderr)
        return 1
    try:
        fields = " ".join("%s=%s" % item for item in server.info().items())
        sys.stdout.write("ready %s\n" % fields)
        sys.stdout.flush()
        # Whoever started us may never read again: nothing more goes there.
        os.dup2(sys.stderr.fileno(), sys.stdout.fileno())
        # A starter that dies without stopping us leaves us to init.
        while not stop and os.getppid() == parent:
            time.sleep(0.2)
    finally:
        server.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
