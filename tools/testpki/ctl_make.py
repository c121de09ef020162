#!/usr/bin/env python3
"""Makes certificate trust lists for the trust-list tests with openssl.

  ctl_make.py content OUT [--hash sha1|sha256|...] [--subject-size N]
                      [--extensions] [--no-subjects] CERT.der...
      The list's DER through `openssl asn1parse -genconf`: usage, a sequence
      number, this-update time, subjectAlgorithm and one TrustedSubject per
      certificate (its hash; --subject-size cuts or pads the hash to N bytes).
  ctl_make.py sign OUT --content DER --signer PREFIX [--certfile PEM]...
                   [--noattr] [--keyid] [--nocerts] [--md sha256]
      signedData of the list by `openssl cms -sign` with the trust-list
      content type; PREFIX.pem and PREFIX.key are the signer's;
      --nocerts leaves the signer's certificate out.
"""
import argparse
import hashlib
import os
import subprocess
import sys
import tempfile

CTL_TYPE = "1.3.6.1.4.1.311.10.1"
HASH_OIDS = {
    "sha1": "1.3.14.3.2.26",
    "sha256": "2.16.840.1.101.3.4.2.1",
    "sha384": "2.16.840.1.101.3.4.2.2",
    "sha512": "2.16.840.1.101.3.4.2.3",
    "md5": "1.2.840.113549.2.5",
}


def genconf(args):
    lines = ["asn1=SEQUENCE:ctl", "[ctl]", "usage=SEQUENCE:usage", "seq=INTEGER:7",
             "this=UTCTIME:260101000000Z", "alg=SEQUENCE:alg"]
    if not args.no_subjects:
        lines.append("subjects=SEQUENCE:subjects")
    if args.extensions:
        lines.append("ext=EXPLICIT:0C,SEQUENCE:ext")
    lines += ["[usage]", "u=OID:1.3.6.1.4.1.311.10.3.9", "[alg]",
              "oid=OID:" + HASH_OIDS[args.hash], "null=NULL", "[subjects]"]
    sections = []
    for i, path in enumerate(args.certs):
        with open(path, "rb") as f:
            digest = hashlib.new(args.hash, f.read()).digest()
        if args.subject_size is not None:
            digest = (digest + bytes(64))[:args.subject_size]
        lines.append("s%d=SEQUENCE:s%d" % (i, i))
        sections += ["[s%d]" % i, "hash=FORMAT:HEX,OCTETSTRING:" + digest.hex(),
                     "attrs=SET:attrs"]
    lines += sections
    lines += ["[attrs]"]
    if args.extensions:
        lines += ["[ext]", "e=SEQUENCE:e1", "[e1]", "id=OID:1.2.3.4",
                  "v=FORMAT:HEX,OCTETSTRING:00"]
    return "\n".join(lines) + "\n"


def content(args):
    with tempfile.NamedTemporaryFile("w", suffix=".cnf", delete=False) as f:
        f.write(genconf(args))
        conf = f.name
    try:
        subprocess.run(["openssl", "asn1parse", "-genconf", conf, "-out", args.out, "-noout"],
                       check=True)
    finally:
        os.unlink(conf)


def sign(args):
    command = ["openssl", "cms", "-sign", "-binary", "-nodetach", "-econtent_type", CTL_TYPE,
               "-nosmimecap", "-md", args.md, "-outform", "DER", "-in", args.content,
               "-signer", args.signer + ".pem", "-inkey", args.signer + ".key", "-out", args.out]
    if args.noattr:
        command.append("-noattr")
    if args.keyid:
        command.append("-keyid")
    if args.nocerts:
        command.append("-nocerts")
    # openssl takes one -certfile; several are joined into one PEM file.
    with tempfile.NamedTemporaryFile("wb", suffix=".pem", delete=False) as bundle:
        for certfile in args.certfile:
            with open(certfile, "rb") as f:
                bundle.write(f.read())
    if args.certfile:
        command += ["-certfile", bundle.name]
    try:
        subprocess.run(command, check=True)
    finally:
        os.unlink(bundle.name)


def main():
    parser = argparse.ArgumentParser()
    sub = parser.add_subparsers(dest="command", required=True)
    c = sub.add_parser("content")
    c.add_argument("out")
    c.add_argument("--hash", default="sha1", choices=sorted(HASH_OIDS))
    c.add_argument("--subject-size", type=int)
    c.add_argument("--extensions", action="store_true")
    c.add_argument("--no-subjects", action="store_true")
    c.add_argument("certs", nargs="*")
    s = sub.add_parser("sign")
    s.add_argument("out")
    s.add_argument("--content", required=True)
    s.add_argument("--signer", required=True)
    s.add_argument("--certfile", action="append", default=[])
    s.add_argument("--noattr", action="store_true")
    s.add_argument("--keyid", action="store_true")
    s.add_argument("--nocerts", action="store_true")
    s.add_argument("--md", default="sha256")
    args = parser.parse_args()
    content(args) if args.command == "content" else sign(args)


if __name__ == "__main__":
    sys.exit(main())
