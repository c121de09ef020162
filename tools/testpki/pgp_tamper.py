#!/usr/bin/env python3
"""Rewrites OpenPGP signed files for the verifier's attack tests.

Works on the top-level packets of a file (key block, one-pass signature,
literal data, signature) and writes a changed copy:

    pgp_tamper.py list FILE                     offset, header size, tag, body length
    pgp_tamper.py flip-content IN OUT           one content byte of the literal data
    pgp_tamper.py flip-signature IN OUT         the last byte of the signature value
    pgp_tamper.py flip-left16 IN OUT            the stored left 16 bits of the digest
    pgp_tamper.py splice OUT FILE:TAG...        the first packet of TAG from each FILE
    pgp_tamper.py hide-in-block IN OUT TRAILER  message packets inside a certifying key
                                                block that ends early, TRAILER after it
    pgp_tamper.py oversize-onepass IN OUT       one-pass packet that swallows the rest
    pgp_tamper.py long-name IN OUT              literal name length beyond the body
    pgp_tamper.py overlong-literal IN OUT       literal length beyond the end of the file
    pgp_tamper.py mpi-overrun IN OUT            signature MPI bit count beyond the packet
    pgp_tamper.py area-overrun IN OUT           hashed area length beyond the packet
    pgp_tamper.py trailing-byte IN OUT          one byte more inside the signature packet
    pgp_tamper.py reframe IN OUT FORM           every header in one length form:
                                                new (shortest), new4, old2, old4
    pgp_tamper.py keyblock-append IN OUT HEX    bytes added to the end of the key block
    pgp_tamper.py self-signature KB GPG OUT     the key's own certification of its user
                                                ID as the signature of a literal packet
                                                holding the bytes it covers
"""
import sys

TAG_SIGNATURE, TAG_ONE_PASS, TAG_LITERAL, TAG_KEY_BLOCK = 2, 4, 11, 15


class Packet:
    def __init__(self, tag, header, body):
        self.tag, self.header, self.body = tag, header, body

    def raw(self):
        return self.header + self.body


def parse(data):
    packets, at = [], 0
    while at < len(data):
        first = data[at]
        if not first & 0x80:
            raise ValueError("no packet at %d" % at)
        if first & 0x40:
            tag, o = first & 0x3F, data[at + 1]
            if o < 192:
                size, length = 2, o
            elif o < 224:
                size, length = 3, ((o - 192) << 8) + data[at + 2] + 192
            elif o == 255:
                size, length = 6, int.from_bytes(data[at + 2:at + 6], "big")
            else:
                raise ValueError("partial length at %d" % at)
        else:
            tag, kind = (first >> 2) & 0x0F, first & 3
            if kind == 3:
                raise ValueError("indeterminate length at %d" % at)
            n = (1, 2, 4)[kind]
            size, length = 1 + n, int.from_bytes(data[at + 1:at + 1 + n], "big")
        packets.append(Packet(tag, data[at:at + size], data[at + size:at + size + length]))
        at += size + length
    return packets


def header(tag, length, form="new"):
    if form == "new":
        if length < 192:
            return bytes([0xC0 | tag, length])
        if length < 8384:
            length -= 192
            return bytes([0xC0 | tag, (length >> 8) + 192, length & 0xFF])
        form = "new4"
    if form == "new4":
        return bytes([0xC0 | tag, 0xFF]) + length.to_bytes(4, "big")
    if form == "old2" and length < 65536:
        return bytes([0x80 | (tag << 2) | 1]) + length.to_bytes(2, "big")
    if form in ("old2", "old4"):
        return bytes([0x80 | (tag << 2) | 2]) + length.to_bytes(4, "big")
    raise ValueError(form)


def packet(tag, body, form="new"):
    return header(tag, len(body), form) + body


def first(packets, tag):
    return next(p for p in packets if p.tag == tag)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def flip(data, index):
    b = bytearray(data)
    b[index] ^= 0x01
    return bytes(b)


def join(packets):
    return b"".join(p.raw() for p in packets)


def literal_content_start(body):
    return 2 + body[1] + 4


def signature_fields_end(body):
    """Offset of the left 16 bits in a version 4 signature body."""
    hashed = int.from_bytes(body[4:6], "big")
    unhashed_at = 6 + hashed
    unhashed = int.from_bytes(body[unhashed_at:unhashed_at + 2], "big")
    return unhashed_at + 2 + unhashed


def replace(packets, tag, new_raw):
    out, done = [], False
    for p in packets:
        if p.tag == tag and not done:
            out.append(new_raw)
            done = True
        else:
            out.append(p.raw())
    return b"".join(out)


def cmd(name, args):
    if name == "list":
        at = 0
        for p in parse(read(args[0])):
            print(at, len(p.header), p.tag, len(p.body))
            at += len(p.raw())
        return None
    if name == "splice":
        out, sources = args[0], args[1:]
        data = b""
        for source in sources:
            path, tag = source.rsplit(":", 1)
            data += first(parse(read(path)), int(tag)).raw()
        return out, data
    if name == "self-signature":
        kb_path, gpg_path, out = args
        kb = first(parse(read(kb_path)), TAG_KEY_BLOCK)
        nested = parse(kb.body[1:])
        key, uid = first(nested, 6), first(nested, 13)
        self_sig = next(p for p in nested if p.tag == TAG_SIGNATURE and p.body[1] == 0x13)
        signed = (b"\x99" + len(key.body).to_bytes(2, "big") + key.body + b"\xb4" +
                  len(uid.body).to_bytes(4, "big") + uid.body)
        one_pass = bytearray(first(parse(read(gpg_path)), TAG_ONE_PASS).body)
        one_pass[2] = self_sig.body[3]  # the self-signature's own hash algorithm
        literal = packet(TAG_LITERAL, b"b\x00\x00\x00\x00\x00" + signed)
        return out, kb.raw() + packet(TAG_ONE_PASS, bytes(one_pass)) + literal + self_sig.raw()
    src, out = args[0], args[1]
    packets = parse(read(src))
    lit, sig = first(packets, TAG_LITERAL), first(packets, TAG_SIGNATURE)
    if name == "flip-content":
        body = flip(lit.body, literal_content_start(lit.body) + 17)
        return out, replace(packets, TAG_LITERAL, lit.header + body)
    if name == "flip-signature":
        return out, replace(packets, TAG_SIGNATURE, sig.header + flip(sig.body, len(sig.body) - 1))
    if name == "flip-left16":
        body = flip(sig.body, signature_fields_end(sig.body))
        return out, replace(packets, TAG_SIGNATURE, sig.header + body)
    if name == "hide-in-block":
        trailer = read(args[2])
        kb = first(packets, TAG_KEY_BLOCK)
        message = b"".join(p.raw() for p in packets if p.tag != TAG_KEY_BLOCK)
        # The genuine block certifies its key, then a second public-key packet
        # ends it right before the genuine message packets, which lie inside
        # the block; other content follows where the block's length says the
        # next packets are.
        body = kb.body + bytes([0xC6, 0]) + message + trailer
        return out, packet(TAG_KEY_BLOCK, body) + trailer
    if name == "oversize-onepass":
        kb, op = first(packets, TAG_KEY_BLOCK), first(packets, TAG_ONE_PASS)
        rest = lit.raw() + sig.raw()
        return out, kb.raw() + packet(TAG_ONE_PASS, op.body + rest) + rest
    if name == "long-name":
        body = bytes([lit.body[0], 255]) + lit.body[2:2 + lit.body[1]]
        return out, replace(packets, TAG_LITERAL, packet(TAG_LITERAL, body))
    if name == "overlong-literal":
        data = join(packets)
        cut = data.index(lit.raw())
        return out, data[:cut] + header(TAG_LITERAL, len(lit.body) + 100, "new4") + lit.body
    if name == "mpi-overrun":
        at = signature_fields_end(sig.body) + 2
        body = sig.body[:at] + b"\xff\xff" + sig.body[at + 2:]
        return out, replace(packets, TAG_SIGNATURE, packet(TAG_SIGNATURE, body))
    if name == "area-overrun":
        body = sig.body[:4] + b"\xff\x00" + sig.body[6:]
        return out, replace(packets, TAG_SIGNATURE, packet(TAG_SIGNATURE, body))
    if name == "trailing-byte":
        return out, replace(packets, TAG_SIGNATURE, packet(TAG_SIGNATURE, sig.body + b"\x00"))
    if name == "keyblock-append":
        kb = first(packets, TAG_KEY_BLOCK)
        return out, replace(packets, TAG_KEY_BLOCK, packet(TAG_KEY_BLOCK, kb.body + bytes.fromhex(args[2])))
    if name == "reframe":
        form = args[2]
        return out, b"".join(packet(p.tag, p.body, form) for p in packets)
    raise SystemExit("unknown operation " + name)


def main():
    if len(sys.argv) < 3:
        raise SystemExit(__doc__)
    result = cmd(sys.argv[1], sys.argv[2:])
    if result is not None:
        with open(result[0], "wb") as f:
            f.write(result[1])
    return 0


if __name__ == "__main__":
    sys.exit(main())
