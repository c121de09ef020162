#!/usr/bin/env python3
"""Writes big-integer cases with Python's own integers as the expected values.

One case a line: an operation name, limb counts and operands in hexadecimal,
then the expected results (or "none" when the operation must fail). Besides
random numbers it picks divisions that drive the long division through its
rare quotient-digit paths: an estimate capped at the digit maximum, the
correction against the second divisor limb, and the add-back after an
estimate one too high.
"""
import random
import sys

BASE = 1 << 64
SPECIAL_LIMBS = [0, 1, 2, BASE - 1, BASE - 2, 1 << 63, (1 << 63) - 1, (1 << 63) + 1]


def limbs(x, n):
    return [(x >> (64 * i)) & (BASE - 1) for i in range(n)]


def hexn(x, n):
    return format(x, "0%dx" % (16 * n))


def structured(rng, n):
    """A number of n limbs, each limb often a boundary value."""
    value = 0
    for i in range(n):
        limb = rng.choice(SPECIAL_LIMBS) if rng.random() < 0.7 else rng.getrandbits(64)
        value |= limb << (64 * i)
    return value


def division_paths(u, v):
    """The quotient-digit paths Algorithm D takes for u / v (64-bit digits)."""
    paths = set()
    nv = (v.bit_length() + 63) // 64
    nu = (u.bit_length() + 63) // 64
    if nv < 2 or u < v:
        return paths
    shift = 64 - (v >> (64 * (nv - 1))).bit_length()
    vn = limbs(v << shift, nv)
    un = limbs(u << shift, nu + 1)
    divisor = v << shift
    for j in range(nu - nv, -1, -1):
        top, nxt = un[j + nv], un[j + nv - 1]
        if top >= vn[-1]:
            paths.add("digit-max")
            qhat, rhat = BASE - 1, nxt + vn[-1]
        else:
            qhat, rhat = divmod(top * BASE + nxt, vn[-1])
        while rhat < BASE and qhat * vn[-2] > rhat * BASE + un[j + nv - 2]:
            paths.add("correction")
            qhat, rhat = qhat - 1, rhat + vn[-1]
        window = sum(un[j + i] << (64 * i) for i in range(nv + 1)) - qhat * divisor
        if window < 0:
            paths.add("add-back")
            window += divisor
        for i in range(nv + 1):
            un[j + i] = (window >> (64 * i)) & (BASE - 1)
    return paths


def top_limb_set(rng, n, make):
    while True:
        v = make(rng, n)
        if v >> (64 * (n - 1)):
            return v


def reduce_cases(rng, out):
    wanted = {"digit-max": 60, "correction": 60, "add-back": 60}
    while any(wanted.values()):
        n = rng.randint(2, 6)
        v = top_limb_set(rng, n, structured)
        u = structured(rng, 2 * n)
        hit = [p for p in division_paths(u, v) if wanted.get(p, 0) > 0]
        if not hit:
            continue
        for p in hit:
            wanted[p] -= 1
        q, r = divmod(u, v)
        out.append("reduce %d %s %s %s %s" % (n, hexn(u, 2 * n), hexn(v, n),
                                               hexn(q % BASE ** n, n), hexn(r, n)))
    for _ in range(300):
        n = rng.randint(1, 9)
        v = rng.getrandbits(rng.randint(1, 64 * n)) or 1
        u = rng.getrandbits(rng.randint(1, 128 * n))
        q, r = divmod(u, v)
        out.append("reduce %d %s %s %s %s" % (n, hexn(u, 2 * n), hexn(v, n),
                                               hexn(q % BASE ** n, n), hexn(r, n)))


def product_cases(rng, out):
    for _ in range(200):
        na, nb = rng.randint(1, 12), rng.randint(1, 12)
        make = structured if rng.random() < 0.5 else lambda r, n: r.getrandbits(64 * n)
        a, b = make(rng, na), make(rng, nb)
        out.append("mul %d %d %s %s %s" % (na, nb, hexn(a, na), hexn(b, nb),
                                           hexn(a * b, na + nb)))
    for _ in range(150):
        n = rng.randint(1, 40)
        a = structured(rng, n) if rng.random() < 0.5 else rng.getrandbits(64 * n)
        out.append("sqr %d %s %s" % (n, hexn(a, n), hexn(a * a, 2 * n)))
    for _ in range(100):
        n = rng.randint(1, 10)
        a, b = structured(rng, n), rng.getrandbits(64 * n)
        out.append("mullow %d %s %s %s" % (n, hexn(a, n), hexn(b, n), hexn(a * b % BASE ** n, n)))


def modular_cases(rng, out):
    for _ in range(200):
        n = rng.randint(1, 16)
        m = top_limb_set(rng, n, structured) if rng.random() < 0.5 else rng.getrandbits(64 * n) | 1
        a, b = rng.getrandbits(64 * n), rng.getrandbits(64 * n)
        out.append("modmul %d %s %s %s %s" % (n, hexn(a, n), hexn(b, n), hexn(m, n),
                                              hexn(a * b % m, n)))
    for i in range(80):
        n = rng.randint(1, 8)
        # Odd moduli take Montgomery's form, even ones the division path.
        m = rng.getrandbits(64 * n) | 1 if i % 2 else (rng.getrandbits(64 * n) | 2) & ~1
        base = rng.getrandbits(64 * n)
        e = rng.getrandbits(rng.randint(0, 64 * n))
        out.append("modexp %d %s %s %s %s" % (n, hexn(base, n), hexn(e, n), hexn(m, n),
                                              hexn(pow(base, e, m), n)))
    for bits in (1024, 2048, 4096):
        n = bits // 64
        m = rng.getrandbits(bits) | (1 << (bits - 1)) | 1
        for e in (3, 65537, rng.getrandbits(bits)):
            base = rng.getrandbits(bits) % m
            out.append("modexp %d %s %s %s %s" % (n, hexn(base, n), hexn(e, n), hexn(m, n),
                                                  hexn(pow(base, e, m), n)))
    for i in range(240):
        n = rng.randint(1, 9)
        # Half the moduli fill their top limb (a 256-bit DSA q in 4 limbs).
        m = rng.getrandbits(64 * n - 1) | 1 | ((1 << (64 * n - 1)) if i % 2 else 0)
        a = rng.randrange(1, m) if m > 1 else 1
        try:
            expected = hexn(pow(a, -1, m), n)
        except ValueError:
            expected = "none"
        out.append("modinv %d %s %s %s" % (n, hexn(a, n), hexn(m, n), expected))


def shift_cases(rng, out):
    for _ in range(150):
        n = rng.randint(1, 8)
        a = structured(rng, n)
        bits = rng.randint(0, 64 * n + 70)
        out_n = rng.randint(1, n + 1)
        value = a >> bits if bits < 64 * n else 0
        expected = hexn(value, out_n) if value < BASE ** out_n else "none"
        out.append("shr %d %s %d %d %s" % (n, hexn(a, n), bits, out_n, expected))


def main():
    seed = int(sys.argv[1]) if len(sys.argv) > 1 else 8
    rng = random.Random(seed)
    out = []
    reduce_cases(rng, out)
    product_cases(rng, out)
    modular_cases(rng, out)
    shift_cases(rng, out)
    sys.stdout.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
