#!/usr/bin/env python3
"""Writes a case of N pumps in series to standard output.

  pumps_case.py N [efficiency|power] [DELTA_P]

efficiency: each pump's efficiency is given and its power found;
power: each pump's power is fixed and its efficiency found (no guess).
"""
import sys

n = int(sys.argv[1])
variant = sys.argv[2] if len(sys.argv) > 2 else "efficiency"
dp = float(sys.argv[3]) if len(sys.argv) > 3 else 1.0e5
out = ['title = "%d pumps in series (%s given)"' % (n, variant),
       '[properties]', 'method = "PENG-ROB"', 'components = ["NC6", "NC7"]',
       '[streams.S0]', 'temperature = 300.0', 'pressure = 2.0e5', 'flows = { NC6 = 0.6, NC7 = 0.4 }']
out += ['[streams.S%d]' % i for i in range(1, n + 1)]
# About 70 % efficient at 1 bar per pump; scaled with the pressure rise.
power = 2.0e4 * dp / 1.0e5
for i in range(1, n + 1):
    spec = ("PUMP_EFF = 0.7" if variant == "efficiency" else "BHP = %.6g" % power)
    out += ['[[blocks]]', 'id = "P%d"' % i, 'model = "R3PUMP"', 'inlets = ["S%d"]' % (i - 1),
            'outlets = ["S%d"]' % i, 'int = [1, 1]', 'fix = { DELTA_P = %.6g, %s, DR_EFF = 1.0 }' % (dp, spec)]
print("\n".join(out))
