#!/usr/bin/env bash
# Seeds for asn1_fuzz: the PKITS certificates and CRLs, and BER forms made by
# openssl and by hand (indefinite lengths, which certificates never carry).
set -euo pipefail
out=$1
mkdir -p "$out"
pkits=/usr/lib/python3/dist-packages/cryptography_vectors/x509/PKITS_data
if [ -d "$pkits" ]; then
  cp "$pkits"/certs/*.crt "$pkits"/crls/*.crl "$out"/
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat > "$work/all.cnf" <<'CNF'
asn1 = SEQUENCE:top
[top]
version = EXPLICIT:0,INTEGER:2
oid = OID:1.2.840.113549.1.1.11
when = UTCTIME:240229120000Z
later = GENTIME:99991231235959Z
bits = FORMAT:HEX,BITSTRING:0600
names = SET:names
[names]
a = UTF8String:first
b = IA5STRING:*.example.org
CNF
openssl asn1parse -genconf "$work/all.cnf" -out "$out/genconf.der" > /dev/null
printf '\x30\x80\x02\x01\x05\x00\x00' > "$out/indefinite.ber"
printf '\x30\x80\x31\x80\x04\x01\xaa\x00\x00\x30\x03\x02\x01\x01\x00\x00' > "$out/nested_indefinite.ber"
printf '\x06\x06\x2a\x86\x48\x86\xf7\x0d' > "$out/oid.der"
