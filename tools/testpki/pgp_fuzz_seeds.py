#!/usr/bin/env python3
"""Writes seed inputs of tests/fuzz/pgp_verify_fuzz.cpp from the signing kit.

    pgp_fuzz_seeds.py KITDIR OUTDIR

Each seed is a flags byte, the 2-byte length and body of the certifier's
public-key packet, then one of the kit's signed files (genuine and tampered).
"""
import glob
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pgp_tamper  # noqa: E402


def main():
    kit, out = sys.argv[1], sys.argv[2]
    os.makedirs(out, exist_ok=True)
    key = pgp_tamper.first(pgp_tamper.parse(pgp_tamper.read(os.path.join(kit, "certifier.pgp"))), 6)
    prefix = len(key.body).to_bytes(2, "big") + key.body
    files = sorted(glob.glob(os.path.join(kit, "*.signed")) + glob.glob(os.path.join(kit, "tamper", "*.signed")))
    for path in files:
        name = os.path.basename(path)[: -len(".signed")]
        message = pgp_tamper.read(path)
        for flags in (0, 1, 6):
            with open(os.path.join(out, "%s-%d" % (name, flags)), "wb") as f:
                f.write(bytes([flags]) + prefix + message)
    return 0


if __name__ == "__main__":
    sys.exit(main())
