#!/usr/bin/env python3
"""Rewrites a signed trust list (DER ContentInfo of signedData) for the
negative tests, keeping the signature bytes as they are.

  ctl_der.py IN OUT EDIT...

Edits, applied in order:
  drop-attribute=OID        remove that authenticated attribute
  content-type=OID          the contentType attribute names OID
  flip-content=N            XOR 0x01 into content octet N
  content-indefinite        the [0] content field in the indefinite form
  inner-indefinite          the content OCTET STRING constructed, indefinite
  inner-constructed         the content OCTET STRING constructed, two segments
  append-signer=FILE        add FILE's first SignerInfo after ours
  prepend-signer=FILE       put FILE's first SignerInfo before ours
  drop-certificate=I        remove carried certificate I
  append-certificate=FILE   carry the DER certificate in FILE as well
  append-junk-certificate   carry a SEQUENCE that is no certificate
"""
import sys


class Node:
    def __init__(self, tag, value=b"", children=None, indefinite=False):
        self.tag, self.value, self.children, self.indefinite = tag, value, children, indefinite

    def encode(self):
        body = b"".join(c.encode() for c in self.children) if self.children is not None \
            else self.value
        if self.indefinite:
            return bytes([self.tag, 0x80]) + body + b"\0\0"
        return bytes([self.tag]) + length(len(body)) + body


def length(n):
    if n < 0x80:
        return bytes([n])
    raw = n.to_bytes((n.bit_length() + 7) // 8, "big")
    return bytes([0x80 | len(raw)]) + raw


def parse(data, pos=0):
    tag = data[pos]
    n = data[pos + 1]
    pos += 2
    if n & 0x80:
        k = n & 0x7F
        n = int.from_bytes(data[pos:pos + k], "big")
        pos += k
    value = data[pos:pos + n]
    node = Node(tag, value)
    if tag & 0x20:
        node.children = []
        inner = 0
        while inner < len(value):
            child, inner = parse(value, inner)
            node.children.append(child)
    return node, pos + n


OID_NAMES = {"1.2.840.113549.1.9.3": "contentType", "1.2.840.113549.1.9.4": "messageDigest"}


def oid_der(text):
    arcs = [int(a) for a in text.split(".")]
    out = bytearray([arcs[0] * 40 + arcs[1]])
    for arc in arcs[2:]:
        chunk = [arc & 0x7F]
        arc >>= 7
        while arc:
            chunk.append(0x80 | (arc & 0x7F))
            arc >>= 7
        out += bytes(reversed(chunk))
    return bytes(out)


def signed_data(root):
    return root.children[1].children[0]


def signer_infos(root):
    return signed_data(root).children[-1]


def attributes(root):
    return signer_infos(root).children[0].children[3]


def certificates(root):
    for child in signed_data(root).children:
        if child.tag == 0xA0:
            return child
    raise SystemExit("no certificates")


def content_field(root):
    return signed_data(root).children[2].children[1]


def load(path):
    with open(path, "rb") as f:
        return parse(f.read())[0]


def apply(root, edit):
    name, _, arg = edit.partition("=")
    if name == "drop-attribute":
        attrs = attributes(root)
        attrs.children = [a for a in attrs.children if a.children[0].value != oid_der(arg)]
    elif name == "content-type":
        for a in attributes(root).children:
            if a.children[0].value == oid_der("1.2.840.113549.1.9.3"):
                a.children[1].children[0] = Node(6, oid_der(arg))
    elif name == "flip-content":
        inner = content_field(root).children[0]
        value = bytearray(inner.value)
        value[int(arg)] ^= 1
        inner.value = bytes(value)
    elif name == "content-indefinite":
        content_field(root).indefinite = True
    elif name in ("inner-indefinite", "inner-constructed"):
        field = content_field(root)
        value = field.children[0].value
        half = len(value) // 2
        field.children[0] = Node(0x24, children=[Node(4, value[:half]), Node(4, value[half:])],
                                 indefinite=(name == "inner-indefinite"))
    elif name in ("append-signer", "prepend-signer"):
        other = signer_infos(load(arg)).children[0]
        signers = signer_infos(root).children
        signers.insert(len(signers) if name == "append-signer" else 0, other)
    elif name == "drop-certificate":
        del certificates(root).children[int(arg)]
    elif name == "append-certificate":
        with open(arg, "rb") as f:
            certificates(root).children.append(parse(f.read())[0])
    elif name == "append-junk-certificate":
        certificates(root).children.append(Node(0x30, children=[Node(2, b"\x01")]))
    else:
        raise SystemExit("unknown edit " + edit)


def main():
    root = load(sys.argv[1])
    for edit in sys.argv[3:]:
        apply(root, edit)
    with open(sys.argv[2], "wb") as f:
        f.write(root.encode())


if __name__ == "__main__":
    main()
