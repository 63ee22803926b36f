"""The r3sim package against the r3sim program: same results, same messages,
sweeps independent of the number of workers and of where they run."""

import csv
import json
import math
import os
import subprocess
import threading
import time

import pytest
import r3sim

SRC = os.environ.get("R3_SOURCE", os.path.join(os.path.dirname(__file__), "..", ".."))
EX = os.path.join(SRC, "examples")
R3SIM = os.environ.get("R3SIM", "r3sim")
PUMP, PUMP_EO = os.path.join(EX, "pump.toml"), os.path.join(EX, "pump_eo.toml")
TEXT = open(PUMP_EO).read()


def cli(*args):
    return subprocess.run([R3SIM, *args], capture_output=True, text=True)


@pytest.mark.parametrize("case", ["pump.toml", "pump_eo.toml", "ccmp/ccmp_curves_speed.toml", "strb/series.toml"])
def test_results_are_the_cli_json(case, tmp_path):
    path = os.path.join(EX, case)
    assert cli("run", path, "--quiet", "--json", str(tmp_path / "r.json")).returncode == 0
    res = r3sim.Case.load(path).solve()
    assert res.to_dict() == json.load(open(tmp_path / "r.json"))
    assert res.status == "converged" and res.converged


def test_fixed_inputs_with_units():
    case = r3sim.Case.load(PUMP).fix("P1.DELTA_P", "6 bar").fix("FEED.TEMPERATURE", "40 degC")
    res = case.solve()
    assert res["P1.DELTA_P"] == 6e5 and res.streams["PROD"].pressure == pytest.approx(7e5)
    assert res.streams["FEED"].temperature == pytest.approx(313.15)
    assert res["PROD.temperature"] > 313.15  # the pump heats what it pumps
    # A copy carries the inputs; the original is unchanged by the copy's.
    again = case.copy().fix("P1.DELTA_P", 5e5).solve()
    assert again["P1.BHP"] < res["P1.BHP"] and case.solve()["P1.BHP"] == res["P1.BHP"]


@pytest.mark.parametrize("change, error", [
    (("6.0e5", '"high"'), r3sim.BadInput),
    (("BHP = 12912.5, ", ""), r3sim.SpecificationError),
    (("BHP = 12912.5", "BHP = 1.0e9"), r3sim.NotConverged),
])
def test_errors_carry_the_cli_messages(change, error, tmp_path):
    (tmp_path / "c.toml").write_text(TEXT.replace(*change))
    out = cli("run", str(tmp_path / "c.toml"), "--quiet")
    with pytest.raises(error) as e:
        r3sim.Case.load(tmp_path / "c.toml").solve()
    assert out.returncode == error.code and out.stderr.strip() == "r3sim: " + str(e.value)
    assert (e.value.result is None) == (error is r3sim.BadInput)


def test_feed_inputs_change_the_state():
    base = r3sim.Case.load(PUMP).solve()
    double = r3sim.Case.load(PUMP).fix("FEED.TOTAL_FLOW", "2 kmol/s").solve()
    assert double["P1.BHP"] == pytest.approx(2 * base["P1.BHP"]) and double.streams["FEED"].flows["H2O"] == 2.0
    boiling = r3sim.Case.load(PUMP).fix("FEED.VAPOUR_FRACTION", 0.0).solve().streams["FEED"]
    assert boiling.vapour_fraction == 0.0 and 365.0 < boiling.temperature < 380.0  # water boils near 373 K at 1 bar


def test_props_are_those_of_the_cli():
    out = cli("props", "--components", "CH4,C2H6", "--flows", "0.9,0.1", "--pressure", "5e6", "--temperature", "250",
              "--json")
    assert r3sim.props("PENG-ROB", {"CH4": 0.9, "C2H6": 0.1}, P="50 bar", T=250.0) == json.loads(out.stdout)
    with pytest.raises(r3sim.BadInput, match="^unknown component 'XX'$"):
        r3sim.props("PENG-ROB", {"XX": 1.0}, P=1e5, T=300.0)


@pytest.mark.parametrize("grid, code, said", [
    ('[grid]\n"P1.DELTA_P" = [5e5, -9e9]\n', 3, "1 of 2 points failed"),
    ('[grid]\n"P1.DELTA_P" = {from = 1, to = 2}\n', 1, "a range is {from = A, to = B, steps = N}"),
    ('speed = 1\n[grid]\n"P1.DELTA_P" = [5e5]\n', 1, "g.toml:1: unknown key 'speed'"),
])
def test_cli_sweep_exit_codes(grid, code, said, tmp_path):
    (tmp_path / "g.toml").write_text(grid)
    out = cli("sweep", PUMP, "--grid", str(tmp_path / "g.toml"), "--out", str(tmp_path / "r.csv"))
    assert out.returncode == code and said in out.stderr
    if code == 3:
        rows = list(csv.DictReader(open(tmp_path / "r.csv")))
        assert [r["status"] for r in rows] == ["converged", "model failure"] and rows[1]["P1.BHP"] == ""


@pytest.mark.parametrize("name, value", [("X1.DELTA_P", 1.0), ("P1.DELTA_P", "6 furlongs"), ("FEED.COLOUR", 1.0)])
def test_bad_inputs_are_refused(name, value):
    with pytest.raises(r3sim.BadInput):
        r3sim.Case.load(PUMP).fix(name, value)


def test_from_dict_reads_like_the_file():
    d = {"title": "t", "properties": {"method": "PENG-ROB", "components": ["H2O"]},
         "streams": {"FEED": {"temperature": 300.0, "pressure": 1e5, "flows": {"H2O": 1.0}}, "PROD": {},
                     "POWER": {"kind": "work"}},
         "blocks": [{"id": "P1", "model": "R3PUMP", "inlets": ["FEED"], "outlets": ["PROD"],
                     "info_outlets": ["POWER"], "int": [0, 1],
                     "fix": {"DELTA_P": 5e5, "PUMP_EFF": 0.7, "DR_EFF": 1.0}}]}
    assert r3sim.Case.from_dict(d).solve()["P1.BHP"] == r3sim.Case.load(PUMP).solve()["P1.BHP"]


GRID = {"P1.BHP": {"from": 9e3, "to": 15e3, "steps": 20}, "FEED.TEMPERATURE": {"from": 290.0, "to": 340.0, "steps": 10}}


@pytest.fixture(scope="module")
def local_rows():
    return r3sim.sweep(r3sim.Case.load(PUMP_EO), GRID, jobs=1, frame=False)


def test_sweep_is_the_same_on_any_number_of_workers(local_rows, tmp_path):
    assert len(local_rows) == 200 and all(r["status"] == "converged" for r in local_rows)
    assert r3sim.sweep(r3sim.Case.load(PUMP_EO), GRID, jobs=3, frame=False) == local_rows
    # r3sim sweep writes the same rows.
    (tmp_path / "g.toml").write_text('[grid]\n"P1.BHP" = {from = 9e3, to = 15e3, steps = 20}\n'
                                     '"FEED.TEMPERATURE" = {from = 290.0, to = 340.0, steps = 10}\n')
    out = cli("sweep", PUMP_EO, "--grid", str(tmp_path / "g.toml"), "--jobs", "2", "--out", str(tmp_path / "r.csv"))
    assert out.returncode == 0 and "200/200 points, 0 failed" in out.stderr
    for row, mine in zip(csv.DictReader(open(tmp_path / "r.csv")), local_rows, strict=True):
        assert {k: float(v) for k, v in row.items() if k.startswith(("P1.", "FEED.", "PROD."))} == \
            {k: v for k, v in mine.items() if k.startswith(("P1.", "FEED.", "PROD."))}


def test_sweep_on_a_dask_local_cluster(local_rows):
    distributed = pytest.importorskip("distributed")
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, dashboard_address=None) as cluster, \
            distributed.Client(cluster) as client:
        assert r3sim.sweep(r3sim.Case.load(PUMP_EO), GRID, client=client, frame=False) == local_rows


def test_random_draws_are_reproducible():
    case, grid = r3sim.Case.load(PUMP), {"P1.PUMP_EFF": {"uniform": [0.6, 0.8]}, "P1.DELTA_P": [4e5, 6e5]}
    a = r3sim.sweep(case, grid, seed=7, samples=30, outputs=["P1.BHP"], frame=False)
    b = r3sim.sweep(case, grid, seed=7, samples=30, outputs=["P1.BHP"], jobs=2, frame=False)
    c = r3sim.sweep(case, grid, seed=8, samples=30, outputs=["P1.BHP"], frame=False)
    effs = [r["P1.PUMP_EFF"] for r in a]
    assert a == b and effs != [r["P1.PUMP_EFF"] for r in c] and len(set(effs)) == 60
    assert all(0.6 <= e < 0.8 for e in effs) and [r["P1.DELTA_P"] for r in a] == [4e5] * 30 + [6e5] * 30


@pytest.mark.parametrize("grid, message", [
    ({"P1.NOPE": [1.0]}, "block P1 has no variable 'NOPE'"),
    ({"X9.DELTA_P": [1.0]}, "unknown input 'X9.DELTA_P'"),
    ({}, "the grid names no inputs"),
    ({"P1.DELTA_P": []}, "P1.DELTA_P has no values"),
    ({"P1.DELTA_P": [5e5], "outputs": ["P1.NOPE"]}, "unknown output 'P1.NOPE'"),
])
def test_sweep_refuses_a_grid_that_does_not_fit(grid, message):
    with pytest.raises(r3sim.BadInput, match=message):
        r3sim.sweep(r3sim.Case.load(PUMP), grid)


def test_failed_points_keep_every_other_row(local_rows):
    grid = dict(GRID, **{"P1.BHP": [9e3, 1e9, *[9e3 + 300 * i for i in range(1, 20)]]})
    rows = r3sim.sweep(r3sim.Case.load(PUMP_EO), grid, jobs=2, frame=False, _die_at=37)
    died = [r for r in rows if r["status"] == "worker died"]
    assert [r["point"] for r in died] == [37] and "killed by signal 9" in died[0]["message"]
    diverged = [r for r in rows if r["P1.BHP"] == 1e9]
    assert all(r["status"] != "converged" and r["P1.PUMP_EFF"] is None and r["message"] for r in diverged)
    good = [r for r in rows if r["status"] == "converged"]
    assert len(good) == 210 - 10 - 1 and all(math.isfinite(r["P1.PUMP_EFF"]) for r in good)


def test_other_threads_run_while_a_sweep_solves():
    done, ticks = threading.Event(), 0
    grid = {"P1.BHP": {"from": 9e3, "to": 15e3, "steps": 100}, "FEED.TEMPERATURE": [300.0, 320.0, 340.0]}
    worker = threading.Thread(target=lambda: (r3sim.sweep(r3sim.Case.load(PUMP_EO), grid, frame=False), done.set()))
    worker.start()
    while not done.is_set():
        ticks += 1
        time.sleep(0.002)
    worker.join()
    assert ticks > 5
