#!/usr/bin/env python3
"""Wraps exported OpenPGP key packets into the key-block packet (tag 15).

The body is a version byte (1) followed by the packets as `gpg --export`
wrote them: the signing key, its user ID and the signatures over them,
including the certification made by the certifying key.

    pgp_keyblock.py KEYFILE > BLOCK
    pgp_keyblock.py --version 2 KEYFILE > BLOCK   (a block the verifier skips)
"""
import argparse
import sys


def new_format_header(tag: int, length: int) -> bytes:
    if length < 192:
        return bytes([0xC0 | tag, length])
    if length < 8384:
        length -= 192
        return bytes([0xC0 | tag, (length >> 8) + 192, length & 0xFF])
    return bytes([0xC0 | tag, 0xFF]) + length.to_bytes(4, "big")


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--version", type=int, default=1)
    parser.add_argument("keyfile")
    args = parser.parse_args()
    with open(args.keyfile, "rb") as f:
        packets = f.read()
    body = bytes([args.version]) + packets
    sys.stdout.buffer.write(new_format_header(15, len(body)) + body)
    return 0


if __name__ == "__main__":
    sys.exit(main())
