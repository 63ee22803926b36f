"""A back-pressure steam turbine (examples/strb/standard.toml) over a season
of supply steam: one point a day, the steam's temperature and pressure drawn
around their design values and the stage efficiency around its test value.

    python3 examples/python/turbine_season.py [--jobs N] [--days 365] [--seed 1]

Prints the spread of the shaft power and of the exhaust temperature.
"""

import argparse
import os
import statistics

import r3sim

HERE = os.path.dirname(os.path.abspath(__file__))
CASE = os.path.join(HERE, "..", "strb", "standard.toml")


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--jobs", type=int, default=os.cpu_count() or 1, help="worker processes")
    ap.add_argument("--days", type=int, default=365)
    ap.add_argument("--seed", type=int, default=1)
    a = ap.parse_args()

    grid = {"HPSTEAM.TEMPERATURE": {"normal": [700.0, 8.0]},    # K
            "HPSTEAM.PRESSURE": {"normal": [4.0e6, 0.1e6]},     # Pa
            "T1.eff_spec": {"uniform": [0.76, 0.82]}}
    rows = r3sim.sweep(r3sim.Case.load(CASE), grid, jobs=a.jobs, samples=a.days, seed=a.seed,
                       outputs=["T1.total_power", "EXHAUST.TEMPERATURE"], frame=False)
    good = [r for r in rows if r["status"] == "converged"]
    for r in rows:
        if r["status"] != "converged":
            print(f"day {r['point']}: {r['status']}: {r['message']}")
    # The model reports the power it takes from the steam as negative work.
    power = sorted(abs(r["T1.total_power"]) / 1e3 for r in good)
    exhaust = [r["EXHAUST.TEMPERATURE"] for r in good]
    q = statistics.quantiles(power, n=20)
    print(f"{len(good)} of {len(rows)} days solved")
    print(f"shaft power    mean {statistics.fmean(power):8.1f} kW   5% {q[0]:8.1f} kW   95% {q[-1]:8.1f} kW")
    print(f"exhaust temp.  mean {statistics.fmean(exhaust):8.2f} K    min {min(exhaust):8.2f} K    "
          f"max {max(exhaust):8.2f} K")


if __name__ == "__main__":
    main()
