#!/usr/bin/env python3
"""Prints "algorithm length hexdigest" lines for the message pattern the hash
algorithm tests build (byte i is (7 * i + 3) mod 256), with hashlib's digests."""
import hashlib

LENGTHS = [0, 1, 3, 55, 56, 63, 64, 65, 111, 112, 119, 127, 128, 129, 1000]
ALGORITHMS = ["sha1", "sha224", "sha256", "sha384", "sha512", "sha512_256"]

for name in ALGORITHMS:
    for length in LENGTHS:
        message = bytes((7 * i + 3) % 256 for i in range(length))
        print(name, length, hashlib.new(name, message).hexdigest())
