"""Performance map of a natural-gas centrifugal compressor: the case in
examples/ccmp/ccmp_curves_speed.toml (head, efficiency and surge curves at a
given speed) solved over a grid of feed flows and shaft speeds.

    python3 examples/python/compressor_map.py [--jobs N] [--csv map.csv] [--plot map.png]

Prints the map; plots the pressure ratio against the actual suction flow,
one line per speed, when matplotlib is installed. Points beyond the curves'
range (the model does not converge there) are listed as failed.
"""

import argparse
import os

import r3sim

HERE = os.path.dirname(os.path.abspath(__file__))
CASE = os.path.join(HERE, "..", "ccmp", "ccmp_curves_speed.toml")
OUTPUTS = ["K1.QACT", "K1.PRATIO", "K1.POLY_EFF", "K1.HEAD", "K1.BHP", "K1.SURGE_RATIO", "PROD.TEMPERATURE"]


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--jobs", type=int, default=os.cpu_count() or 1, help="worker processes")
    ap.add_argument("--csv", help="write the map to this CSV file")
    ap.add_argument("--plot", default="compressor_map.png", help="plot file (needs matplotlib)")
    a = ap.parse_args()

    grid = {"K1.SPEED": {"from": 8000.0, "to": 12000.0, "steps": 5},            # rpm
            "FEED.TOTAL_FLOW": {"from": 0.6, "to": 2.0, "steps": 15}}           # kmol/s
    rows = r3sim.sweep(r3sim.Case.load(CASE), grid, jobs=a.jobs, outputs=OUTPUTS, frame=False)

    print(f"{'speed':>8} {'flow':>7} {'Q actual':>9} {'P ratio':>8} {'poly eff':>8} {'power':>8} {'surge':>6}")
    print(f"{'rpm':>8} {'kmol/s':>7} {'m3/s':>9} {'-':>8} {'-':>8} {'kW':>8} {'margin':>6}")
    for r in rows:
        if r["status"] != "converged":
            print(f"{r['K1.SPEED']:8.0f} {r['FEED.TOTAL_FLOW']:7.2f}   {r['status']}: {r['message']}")
            continue
        print(f"{r['K1.SPEED']:8.0f} {r['FEED.TOTAL_FLOW']:7.2f} {r['K1.QACT']:9.3f} {r['K1.PRATIO']:8.3f} "
              f"{r['K1.POLY_EFF']:8.3f} {r['K1.BHP'] / 1e3:8.1f} {r['K1.SURGE_RATIO']:6.2f}")
    if a.csv:
        import csv
        with open(a.csv, "w", newline="") as f:
            w = csv.DictWriter(f, fieldnames=list(rows[0]))
            w.writeheader()
            w.writerows(rows)
    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        print("matplotlib is not installed: no plot")
        return
    fig, ax = plt.subplots(figsize=(7, 5))
    for speed in sorted({r["K1.SPEED"] for r in rows}):
        line = [r for r in rows if r["K1.SPEED"] == speed and r["status"] == "converged"]
        ax.plot([r["K1.QACT"] for r in line], [r["K1.PRATIO"] for r in line], "o-", label=f"{speed:.0f} rpm")
    ax.set_xlabel("actual suction flow, m3/s")
    ax.set_ylabel("pressure ratio")
    ax.set_title("Centrifugal compressor map")
    ax.legend()
    ax.grid(True)
    fig.savefig(a.plot, dpi=120)
    print(f"map plotted to {a.plot}")


if __name__ == "__main__":
    main()
