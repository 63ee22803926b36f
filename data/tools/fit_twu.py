#!/usr/bin/env python3
"""Fit Twu alpha parameters (L, M, N) for one component under Peng-Robinson.

Reproduces the fitted rows of data/alpha.tsv (source code `fit`): the parameters
minimise the largest |ln(p_PR / p_ref)| on 41 temperatures from 0.5 Tc to
0.95 Tc, with the databank's Tc and Pc, subject to the consistency conditions
alpha' < 0, alpha'' > 0 and alpha''' < 0 for 0.01 <= Tr <= 100 (so the
alpha stays positive, decreasing and convex, and the caloric properties stay
sound above Tc). Standard library only:

    python3 data/tools/fit_twu.py            # methanol, prints L M N and the deviations
"""
import math
import os

R = 8.314462618


def critical_constants(component):
    """Tc (K) and Pc (Pa) of a component from data/components.tsv."""
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "components.tsv")
    with open(path) as f:
        rows = [line.rstrip("\n").split("\t") for line in f if line.strip() and not line.startswith("#")]
    head = rows[0]
    for row in rows[1:]:
        if row[head.index("id")] == component:
            return float(row[head.index("Tc")]), float(row[head.index("Pc")])
    raise KeyError(component)


def cubic_roots(a2, a1, a0):
    """Real roots of z^3 + a2 z^2 + a1 z + a0."""
    q = (3 * a1 - a2 * a2) / 9
    r = (9 * a2 * a1 - 27 * a0 - 2 * a2 ** 3) / 54
    d = q ** 3 + r * r
    if d > 0:
        cb = lambda x: math.copysign(abs(x) ** (1 / 3), x)
        return [cb(r + math.sqrt(d)) + cb(r - math.sqrt(d)) - a2 / 3]
    th = math.acos(r / math.sqrt(-q ** 3))
    return [2 * math.sqrt(-q) * math.cos((th + 2 * math.pi * k) / 3) - a2 / 3 for k in range(3)]


def twu(L, M, N):
    return lambda tr: tr ** (N * (M - 1)) * math.exp(L * (1 - tr ** (N * M)))


def pr_psat(T, tc, pc, alpha):
    """Peng-Robinson vapour pressure (Pa) by successive substitution on ln(phi_L/phi_V)."""
    a = 0.45723553 * R * R * tc * tc / pc * alpha(T / tc)
    b = 0.07779607 * R * tc / pc
    s2 = math.sqrt(2)

    def lnphi(z, A, B):
        return z - 1 - math.log(z - B) - A / (2 * s2 * B) * math.log((z + (1 + s2) * B) / (z + (1 - s2) * B))

    p = pc * math.exp(5.373 * 1.5 * (1 - tc / T))
    for _ in range(300):
        A, B = a * p / (R * T) ** 2, b * p / (R * T)
        z = sorted(x for x in cubic_roots(-(1 - B), A - 3 * B * B - 2 * B, -(A * B - B * B - B ** 3)) if x > B)
        if len(z) < 2:
            p *= 1.1 if z and z[0] < 0.3 else 0.9
            continue
        d = lnphi(z[0], A, B) - lnphi(z[-1], A, B)
        p *= math.exp(d)
        if abs(d) < 1e-12:
            return p
    raise ArithmeticError("no vapour pressure at %g K" % T)


def alpha_derivatives(L, M, N, t):
    """alpha'/alpha, alpha''/alpha, alpha'''/alpha at Tr = t."""
    k = N * M
    g1 = N * (M - 1) / t - L * k * t ** (k - 1)
    g2 = -N * (M - 1) / t ** 2 - L * k * (k - 1) * t ** (k - 2)
    g3 = 2 * N * (M - 1) / t ** 3 - L * k * (k - 1) * (k - 2) * t ** (k - 3)
    return g1, g2 + g1 * g1, g3 + 3 * g1 * g2 + g1 ** 3


def nelder_mead(f, x0, step, iterations):
    n = len(x0)
    pts = [list(x0)] + [[x0[j] + (step * max(abs(x0[j]), 0.1) if j == i else 0) for j in range(n)] for i in range(n)]
    vals = [f(p) for p in pts]
    for _ in range(iterations):
        order = sorted(range(n + 1), key=lambda i: vals[i])
        pts, vals = [pts[i] for i in order], [vals[i] for i in order]
        c = [sum(p[j] for p in pts[:-1]) / n for j in range(n)]
        xr = [2 * c[j] - pts[-1][j] for j in range(n)]
        fr = f(xr)
        if fr < vals[0]:
            xe = [3 * c[j] - 2 * pts[-1][j] for j in range(n)]
            fe = f(xe)
            pts[-1], vals[-1] = (xe, fe) if fe < fr else (xr, fr)
        elif fr < vals[-2]:
            pts[-1], vals[-1] = xr, fr
        else:
            xc = [0.5 * (c[j] + pts[-1][j]) for j in range(n)]
            fc = f(xc)
            if fc < vals[-1]:
                pts[-1], vals[-1] = xc, fc
            else:
                pts = [pts[0]] + [[0.5 * (pts[0][j] + p[j]) for j in range(n)] for p in pts[1:]]
                vals = [vals[0]] + [f(p) for p in pts[1:]]
    i = min(range(n + 1), key=lambda i: vals[i])
    return pts[i]


def fit(tc, pc, p_ref, start):
    temps = [tc * (0.5 + 0.45 * i / 40) for i in range(41)]
    refs = [p_ref(T) for T in temps]
    grid = [0.01 * 1.002 ** i for i in range(4615)]

    def worst(p):
        return max(abs(math.log(pr_psat(T, tc, pc, twu(*p)) / r)) for T, r in zip(temps, refs))

    def inconsistency(p, margin):
        L, M, N = p
        if L <= 0 or N <= 0 or not 0 < M < 1:
            return 1e9
        penalty = 0.0
        for t in grid:
            a1, a2, a3 = alpha_derivatives(L, M, N, t)
            penalty += max(0.0, a1) + max(0.0, -a2) + max(0.0, a3 + margin)
        return penalty

    def objective(p):
        penalty = inconsistency(p, 1e-3)  # the margin leaves room for rounding
        if penalty >= 1e9:
            return penalty
        try:
            return worst(p) + 10 * penalty
        except (ArithmeticError, ValueError):
            return 1e9

    x = nelder_mead(objective, start, 0.02, 300)
    x = nelder_mead(objective, x, 0.005, 300)
    x = [round(x[0], 4), round(x[1], 5), round(x[2], 4)]
    if inconsistency(x, 0.0) > 0:
        raise ArithmeticError("the rounded parameters break the consistency conditions")
    return x, worst(x), temps, refs


def methanol_psat(T):
    """Methanol vapour pressure (Pa) from the reference equation of state of de Reuck and
    Craven (IUPAC, 1993), as its saturated-liquid pressure correlation (within 0.6 %):
    p = pr exp(Tr/T sum n_i (1 - T/Tr)^t_i), Tr = 512.5 K, pr = 8.21585 MPa."""
    n = [-0.06786072630620305, 0.37064921000560125, -3.6850178941332135,
         -5.531504842398972, -0.1261742218723768, -1.6655134662275959]
    t = [0.054, 0.298, 0.728, 1.284, 3.131, 3.97]
    th = 1 - T / 512.5
    return 8215850.0 * math.exp(512.5 / T * sum(a * th ** b for a, b in zip(n, t)))


if __name__ == "__main__":
    tc, pc = critical_constants("MEOH")
    (L, M, N), dev, temps, refs = fit(tc, pc, methanol_psat, [0.7712, 0.93587, 1.56247])
    print("MEOH\t%s\t%s\t%s\tfit" % (L, M, N))
    print("largest deviation %.2f %%" % (100 * (math.exp(dev) - 1)))
    for T in (256.32, 273.15, 298.15, 337.85, 400, 450, 487):
        print("%7.2f K  %+.2f %%" % (T, 100 * (pr_psat(T, tc, pc, twu(L, M, N)) / methanol_psat(T) - 1)))
