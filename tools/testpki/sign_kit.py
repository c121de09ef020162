#!/usr/bin/env python3
"""Signs files the way the update and repository servers do, and makes update
packages (".nup") and broken copies of them for tests and the demo.

A signed file is a key block (tag 15: a signing key under the signer user ID,
certified by the update key of the trust folder) followed by the message
`gpg --homedir TRUST/gnupg --batch -z 0 --sign` makes of the input (one-pass
signature, literal data, signature). Signing keys are made on first use in
the trust folder's GnuPG home and reused; everything that touches that home
runs under one lock, so tests may call the kit in parallel.

    sign_kit.py [--trust DIR] sign SIGNER IN OUT [--foreign]
        IN signed under SIGNER ("Wexa Update Signing Certificate",
        "Wexa Repository Signing Certificate", or any other user ID).
        --foreign: by a key under SIGNER that the update key never certified.
    sign_kit.py [--trust DIR] nup OUT PAYLOAD [KEY=VALUE...] [options]
        An update package: "[update_info]" with filesize and crc (decimal
        CRC-32) of PAYLOAD, then the KEY=VALUE lines in order (a given
        filesize or crc replaces the computed one), the 17-byte data marker
        and the payload, signed as "Wexa Update Signing Certificate".
        --unsigned         the bare container, no OpenPGP packets
        --signer UID       another signer user ID
        --foreign          signed by a key the update key never certified
        --omit KEY         leave filesize or crc out of the header
        --upper-marker     marker "[UPDATE_DATA]"
        --marker-end HEX   last marker byte (normally 00)
        --prefix N         N filler bytes before "[update_info]"
        --corrupt-payload  one payload byte flipped after the header was made
    sign_kit.py tamper OP IN OUT [ARG]
        flip-payload       the last byte of the literal content (no re-signing)
        flip-signature     the last byte of the signature value
        truncate [N]       the first N bytes (default: all but the last)
        inject-name FILE   the literal packet's file-name field (unsigned)
                           replaced by the bytes of FILE (at most 255)

TRUST defaults to $UPD_BINARY_DIR/trust (the build tree's test trust folder).
"""
import argparse
import fcntl
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import pgp_keyblock  # noqa: E402
import pgp_tamper  # noqa: E402

UPDATE_SIGNER = "Wexa Update Signing Certificate"
MARKER = b"[update_data]\r\n\x1a\x00"


class Kit:
    """The trust folder's GnuPG home, held under its lock while in use."""

    def __init__(self, trust):
        self.trust = os.path.abspath(trust)
        self.home = os.path.join(self.trust, "gnupg")
        self.cache = os.path.join(self.trust, "signers")
        if not os.path.isdir(self.home):
            raise SystemExit("%s has no GnuPG home (only the test trust folder signs)" % trust)

    def __enter__(self):
        self.lock = open(os.path.join(self.trust, "gnupg.lock"), "w")
        fcntl.flock(self.lock, fcntl.LOCK_EX)
        os.makedirs(self.cache, exist_ok=True)
        return self

    def __exit__(self, *exc):
        # The agent gpg started for this home would outlive the test.
        subprocess.run(["gpgconf", "--homedir", self.home, "--kill", "gpg-agent"],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.lock.close()

    def gpg(self, *args, capture=False):
        command = ["gpg", "--homedir", self.home, "--batch", "--no-tty", "--quiet",
                   "--pinentry-mode", "loopback", "--passphrase", ""] + list(args)
        result = subprocess.run(command, check=True, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE)
        return result.stdout if capture else None

    def update_key(self):
        out = self.gpg("--with-colons", "--import-options", "show-only", "--import",
                       os.path.join(self.trust, "update-key.pgp"), capture=True)
        for line in out.decode().splitlines():
            if line.startswith("fpr:"):
                return line.split(":")[9]
        raise SystemExit("update-key.pgp holds no key")

    def signer(self, user_id, foreign):
        """Fingerprint and key block of the signing key for user_id."""
        kind = "foreign" if foreign else "certified"
        stem = os.path.join(self.cache, "%s-%s" % (
            hashlib.sha1(user_id.encode()).hexdigest()[:16], kind))
        if not os.path.exists(stem + ".kb"):
            self.make_signer(user_id, foreign, stem)
        with open(stem + ".fpr") as f:
            fpr = f.read().strip()
        with open(stem + ".kb", "rb") as f:
            return fpr, f.read()

    def make_signer(self, user_id, foreign, stem):
        status = self.gpg("--yes", "--status-fd", "1", "--quick-gen-key", user_id, "rsa2048",
                          "sign", "never", capture=True)
        fpr = next(line.split()[3] for line in status.decode().splitlines()
                   if line.startswith("[GNUPG:] KEY_CREATED"))
        if not foreign:
            self.gpg("--default-key", self.update_key(), "--quick-sign-key", fpr, user_id)
        exported = self.gpg("--export", fpr, capture=True)
        body = bytes([1]) + exported
        block = pgp_keyblock.new_format_header(15, len(body)) + body
        with open(stem + ".kb.tmp", "wb") as f:
            f.write(block)
        with open(stem + ".fpr", "w") as f:
            f.write(fpr + "\n")
        os.replace(stem + ".kb.tmp", stem + ".kb")

    def sign(self, user_id, source, out, foreign=False):
        fpr, block = self.signer(user_id, foreign)
        with tempfile.TemporaryDirectory() as work:
            message = os.path.join(work, "message.gpg")
            self.gpg("--yes", "-z", "0", "-u", fpr + "!", "--sign", "--output", message, source)
            with open(out, "wb") as f, open(message, "rb") as m:
                f.write(block)
                shutil.copyfileobj(m, f, 1 << 20)


def container(payload, pairs, args):
    values = {"filesize": str(len(payload)), "crc": str(zlib.crc32(payload) & 0xFFFFFFFF)}
    extra = []
    for pair in pairs:
        key, sep, value = pair.partition("=")
        if not sep:
            raise SystemExit("not KEY=VALUE: " + pair)
        if key in values:
            values[key] = value
        else:
            extra.append((key, value))
    lines = [(k, v) for k, v in values.items() if k not in args.omit] + extra
    header = b"[update_info]\r\n" + b"".join(
        ("%s=%s\r\n" % (k, v)).encode() for k, v in lines)
    marker = MARKER.upper() if args.upper_marker else MARKER
    marker = marker[:-1] + bytes.fromhex(args.marker_end)
    if args.corrupt_payload and payload:
        payload = payload[:-1] + bytes([payload[-1] ^ 0x01])
    return b"x" * args.prefix + header + marker + payload


def cmd_nup(kit_factory, args):
    with open(args.payload, "rb") as f:
        data = container(f.read(), args.pairs, args)
    if args.unsigned:
        with open(args.out, "wb") as f:
            f.write(data)
        return
    with tempfile.TemporaryDirectory() as work:
        # gpg names the literal data after its input file.
        plain = os.path.join(work, os.path.basename(args.out))
        with open(plain, "wb") as f:
            f.write(data)
        with kit_factory() as kit:
            kit.sign(args.signer, plain, args.out, args.foreign)


def literal_packet(packets):
    return pgp_tamper.first(packets, pgp_tamper.TAG_LITERAL)


def cmd_tamper(args):
    data = pgp_tamper.read(args.input)
    if args.op == "truncate":
        keep = int(args.arg) if args.arg is not None else len(data) - 1
        out = data[:keep]
    elif args.op == "flip-signature":
        _, out = pgp_tamper.cmd("flip-signature", [args.input, args.output])
    else:
        packets = pgp_tamper.parse(data)
        lit = literal_packet(packets)
        body = lit.body
        if args.op == "flip-payload":
            body = body[:-1] + bytes([body[-1] ^ 0x01])
        elif args.op == "inject-name":
            name = pgp_tamper.read(args.arg)
            if len(name) > 255:
                raise SystemExit("a literal file name holds at most 255 bytes")
            body = body[:1] + bytes([len(name)]) + name + body[2 + body[1]:]
        else:
            raise SystemExit("unknown operation " + args.op)
        out = pgp_tamper.replace(packets, pgp_tamper.TAG_LITERAL,
                                 pgp_tamper.packet(pgp_tamper.TAG_LITERAL, body))
    with open(args.output, "wb") as f:
        f.write(out)


def parse_args(argv):
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    default_trust = os.path.join(os.environ["UPD_BINARY_DIR"], "trust") \
        if "UPD_BINARY_DIR" in os.environ else None
    parser.add_argument("--trust", default=default_trust)
    sub = parser.add_subparsers(dest="command", required=True)
    sign = sub.add_parser("sign")
    sign.add_argument("signer")
    sign.add_argument("input")
    sign.add_argument("output")
    sign.add_argument("--foreign", action="store_true")
    nup = sub.add_parser("nup")
    nup.add_argument("out")
    nup.add_argument("payload")
    nup.add_argument("pairs", nargs="*")
    nup.add_argument("--unsigned", action="store_true")
    nup.add_argument("--signer", default=UPDATE_SIGNER)
    nup.add_argument("--foreign", action="store_true")
    nup.add_argument("--omit", action="append", default=[], choices=["filesize", "crc"])
    nup.add_argument("--upper-marker", action="store_true")
    nup.add_argument("--marker-end", default="00")
    nup.add_argument("--prefix", type=int, default=0)
    nup.add_argument("--corrupt-payload", action="store_true")
    tamper = sub.add_parser("tamper")
    tamper.add_argument("op", choices=["flip-payload", "flip-signature", "truncate",
                                       "inject-name"])
    tamper.add_argument("input")
    tamper.add_argument("output")
    tamper.add_argument("arg", nargs="?")
    # KEY=VALUE pairs may also follow the options.
    args, rest = parser.parse_known_args(argv)
    if rest and (args.command != "nup" or any(r.startswith("-") or "=" not in r for r in rest)):
        parser.error("unrecognized arguments: " + " ".join(rest))
    if rest:
        args.pairs += rest
    return args


def main(argv):
    args = parse_args(argv)

    def kit_factory():
        if args.trust is None:
            raise SystemExit("no trust folder: give --trust or set UPD_BINARY_DIR")
        return Kit(args.trust)

    if args.command == "sign":
        with kit_factory() as kit:
            kit.sign(args.signer, args.input, args.output, args.foreign)
    elif args.command == "nup":
        cmd_nup(kit_factory, args)
    else:
        cmd_tamper(args)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
