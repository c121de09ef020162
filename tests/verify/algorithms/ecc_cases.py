#!/usr/bin/env python3
"""Writes field and curve cases for the NIST prime curves.

The domain parameters come from `openssl ecparam -param_enc explicit`, the
expected values from Python integers and textbook affine point arithmetic.
Points are handed over in Jacobian form with random Z, so every formula sees
general inputs. One case a line; "inf" is the point at infinity.
"""
import random
import subprocess
import sys

CURVES = [(1, "prime256v1", 32), (2, "secp384r1", 48), (3, "secp521r1", 66)]


def openssl_params(name):
    der = subprocess.run(["openssl", "ecparam", "-name", name, "-param_enc", "explicit",
                          "-outform", "DER"], check=True, capture_output=True).stdout
    text = subprocess.run(["openssl", "asn1parse", "-inform", "DER"], input=der, check=True,
                          capture_output=True).stdout.decode()
    values = []
    for line in text.splitlines():
        if "INTEGER" in line or "OCTET STRING" in line:
            values.append(line.rsplit(":", 1)[1])
    _, p, a, b, g, n, _ = values
    size = (len(g) - 2) // 4
    gx, gy = g[2:2 + 2 * size], g[2 + 2 * size:]
    return {k: int(v, 16) for k, v in dict(p=p, a=a, b=b, n=n, gx=gx, gy=gy).items()}


class Curve:
    def __init__(self, cid, name, size):
        self.id, self.size = cid, size
        self.__dict__.update(openssl_params(name))
        self.g = (self.gx, self.gy)

    def add(self, P, Q):
        p = self.p
        if P is None:
            return Q
        if Q is None:
            return P
        if P[0] == Q[0]:
            if (P[1] + Q[1]) % p == 0:
                return None
            lam = (3 * P[0] * P[0] + self.a) * pow(2 * P[1], -1, p) % p
        else:
            lam = (Q[1] - P[1]) * pow(Q[0] - P[0], -1, p) % p
        x = (lam * lam - P[0] - Q[0]) % p
        return (x, (lam * (P[0] - x) - P[1]) % p)

    def mul(self, k, P):
        result = None
        while k:
            if k & 1:
                result = self.add(result, P)
            P = self.add(P, P)
            k >>= 1
        return result


def h(x, size):
    return format(x, "0%dx" % (2 * size))


def jacobian(curve, P, rng):
    if P is None:
        return "00 01 00"
    z = rng.randrange(1, curve.p) if rng.random() < 0.8 else 1
    X, Y = P[0] * z * z % curve.p, P[1] * z * z * z % curve.p
    return "%s %s %s" % (h(X, curve.size), h(Y, curve.size), h(z, curve.size))


def affine(curve, P):
    return "inf" if P is None else "%s %s" % (h(P[0], curve.size), h(P[1], curve.size))


def field_cases(curve, rng, out):
    p = curve.p
    edges = [0, 1, 2, p - 1, p - 2, (p - 1) // 2, 1 << (8 * curve.size - 9)]
    values = edges + [rng.randrange(p) for _ in range(40)]
    for _ in range(150):
        a, b = rng.choice(values), rng.choice(values)
        s = curve.size
        out.append("field %d add %s %s %s" % (curve.id, h(a, s), h(b, s), h((a + b) % p, s)))
        out.append("field %d sub %s %s %s" % (curve.id, h(a, s), h(b, s), h((a - b) % p, s)))
        out.append("field %d mul %s %s %s" % (curve.id, h(a, s), h(b, s), h(a * b % p, s)))
        out.append("field %d sqr %s %s %s" % (curve.id, h(a, s), h(a, s), h(a * a % p, s)))
        out.append("field %d neg %s %s %s" % (curve.id, h(a, s), h(a, s), h(-a % p, s)))
        k = rng.choice([0, 1, -1, 3, -3, 2 ** 31 - 1, -2 ** 31, rng.randint(-2 ** 31, 2 ** 31 - 1)])
        out.append("small %d %d %s %s" % (curve.id, k, h(a, s), h(a * k % p, s)))


def generic_cases(rng, out):
    """Moduli that are none of the NIST primes take the division path."""
    for _ in range(120):
        n = rng.randint(1, 9)
        m = rng.getrandbits(64 * n) | 1 | (1 << (64 * n - 1) if rng.random() < 0.5 else 1)
        a, b = rng.randrange(m), rng.randrange(m)
        hx = lambda x: format(x, "0%dx" % (16 * n))
        for op, value in (("add", a + b), ("sub", a - b), ("mul", a * b), ("neg", -a)):
            out.append("generic %d %s %s %s %s %s" % (n, hx(m), op, hx(a), hx(b), hx(value % m)))


def point_cases(curve, rng, out):
    n, s = curve.n, curve.size
    multiples = [curve.mul(rng.randrange(1, n), curve.g) for _ in range(12)] + [curve.g]
    for _ in range(25):
        P, Q = rng.choice(multiples), rng.choice(multiples)
        out.append("add %d %s %s %s" % (curve.id, jacobian(curve, P, rng), jacobian(curve, Q, rng),
                                        affine(curve, curve.add(P, Q))))
    for P in multiples[:4]:
        minus = (P[0], -P[1] % curve.p)
        out.append("add %d %s %s inf" % (curve.id, jacobian(curve, P, rng), jacobian(curve, minus, rng)))
        out.append("add %d %s %s %s" % (curve.id, jacobian(curve, P, rng), jacobian(curve, P, rng),
                                        affine(curve, curve.add(P, P))))
        out.append("add %d %s %s %s" % (curve.id, jacobian(curve, P, rng), jacobian(curve, None, rng),
                                        affine(curve, P)))
        out.append("add %d %s %s %s" % (curve.id, jacobian(curve, None, rng), jacobian(curve, P, rng),
                                        affine(curve, P)))
        out.append("dbl %d %s %s" % (curve.id, jacobian(curve, P, rng), affine(curve, curve.add(P, P))))
        out.append("oncurve %d %s 1" % (curve.id, jacobian(curve, P, rng)))
        off = (P[0], (P[1] + 1) % curve.p)
        out.append("oncurve %d %s 0" % (curve.id, jacobian(curve, off, rng)))
    scalars = [0, 1, 2, 3, n - 1, n, n + 1, (1 << (8 * s - 9)) - 1] + [rng.randrange(n) for _ in range(6)]
    for k in scalars:
        P = rng.choice(multiples)
        out.append("scalar %d %s %s %s" % (curve.id, jacobian(curve, P, rng), h(k, s),
                                           affine(curve, curve.mul(k, P))))
    # k1 P1 + k2 P2, with the sums that meet equal and opposite points.
    combos = [(rng.randrange(n), rng.choice(multiples), rng.randrange(n), rng.choice(multiples))
              for _ in range(12)]
    P = rng.choice(multiples)
    minus = (P[0], -P[1] % curve.p)
    combos += [(0, P, 5, P), (7, P, 0, P), (0, P, 0, P), (5, P, 5, minus), (3, P, 9, P),
               (1, P, 1, P), (n - 1, P, 1, P), (n - 1, P, 2, P), (1, curve.g, n - 1, curve.g)]
    for k1, P1, k2, P2 in combos:
        expected = curve.add(curve.mul(k1, P1), curve.mul(k2, P2))
        out.append("combo %d %s %s %s %s %s" % (curve.id, h(k1, s), jacobian(curve, P1, rng), h(k2, s),
                                                jacobian(curve, P2, rng), affine(curve, expected)))


def main():
    rng = random.Random(int(sys.argv[1]) if len(sys.argv) > 1 else 109)
    out = []
    generic_cases(rng, out)
    for cid, name, size in CURVES:
        curve = Curve(cid, name, size)
        out.append("params %d %s" % (cid, " ".join(h(getattr(curve, k), size)
                                                    for k in ("p", "a", "b", "n", "gx", "gy"))))
        field_cases(curve, rng, out)
        point_cases(curve, rng, out)
    sys.stdout.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
