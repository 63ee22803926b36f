"""Sweeps: a case solved at every point of a grid, on local worker processes
or on a Dask cluster.

Both paths cut the grid into the same chunks of consecutive points and solve
each chunk with the same routine (warm starts from the nearest solved point
of the chunk), so they give the same rows whatever the number of workers.
"""

from __future__ import annotations

import json
import sys
import time
from typing import Any, Iterable, Mapping

from . import _core

_ROW_KEYS = ("status", "iterations", "residual_norm")


def _rows(names, points, outputs, raw) -> list[dict]:
    rows = []
    for index, status, iterations, residual, outs, message in raw:
        row: dict[str, Any] = {"point": index + 1}
        row.update(zip(names, points[index]))
        row.update(status=status, iterations=iterations, residual_norm=residual)
        row.update(zip(outputs, outs))
        row["message"] = message
        rows.append(row)
    return rows


def _spec(grid: Mapping[str, Any], outputs, seed, samples, chunk) -> str:
    spec = dict(grid)
    for key, value in (("outputs", None if outputs is None else list(outputs)), ("seed", seed),
                       ("samples", samples), ("chunk", chunk)):
        if value is not None:
            spec[key] = value
    return json.dumps(spec)


def _dask_chunk(case, names, points, outputs, begin):
    """One chunk on a Dask worker: rows with their grid indices."""
    raw = _core.chunk(case._core, names, points, outputs, 0, len(points))
    return [(begin + r[0],) + tuple(r[1:]) for r in raw]


class _Progress:
    def __init__(self, total: int, on: bool):
        self.total, self.on, self.done, self.failed = total, on, 0, 0
        self.t0 = self.last = time.monotonic()

    def add(self, rows: Iterable[tuple]) -> None:
        for r in rows:
            self.done += 1
            self.failed += r[1] != "converged"
        now = time.monotonic()
        if self.on and (self.done == self.total or now - self.last > 1.0):
            self.last = now
            rate = self.done / max(now - self.t0, 1e-9)
            left = (self.total - self.done) / rate if rate > 0 else 0.0
            print(f"sweep: {self.done}/{self.total} points, {self.failed} failed, {rate:.1f} points/s, "
                  f"{left:.1f} s left", file=sys.stderr, flush=True)


def _on_dask(case, spec: str, client, progress: bool):
    from distributed import as_completed

    try:
        names, points, outputs, chunk = _core.expand(case._core, spec)
    except ValueError as e:
        from . import BadInput
        raise BadInput(str(e)) from None
    # The case goes to every worker once; each task carries its chunk's points.
    shipped = client.scatter(case, broadcast=True)
    futures = {}
    for begin in range(0, len(points), chunk):
        f = client.submit(_dask_chunk, shipped, names, points[begin:begin + chunk], outputs, begin, pure=False)
        futures[f] = begin
    raw: list[tuple] = []
    bar = _Progress(len(points), progress)
    for f in as_completed(list(futures)):
        begin = futures[f]
        try:
            got = f.result()
        except Exception as e:  # a worker lost, or the task failed: its points fail, the others are kept
            end = min(begin + chunk, len(points))
            got = [(i, "worker died", 0, None, [None] * len(outputs), f"the Dask task solving this point failed: {e!r}")
                   for i in range(begin, end)]
        bar.add(got)
        raw.extend(got)
    raw.sort(key=lambda r: r[0])
    return names, points, outputs, raw


def sweep(case, grid: Mapping[str, Any], jobs: int = 1, *, client=None, outputs: Iterable[str] | None = None,
          seed: int | None = None, samples: int | None = None, chunk: int | None = None, progress: bool = True,
          frame: bool | None = None, _die_at: int = -1):
    """Solves `case` at every point of `grid` and returns one row per point.

    grid: {name: [values] | {"from": a, "to": b, "steps": n} |
           {"uniform": [low, high]} | {"normal": [mean, sd]}}; lists and ranges
           combine as a full grid, random draws give `samples` points per grid
           point from a generator seeded with `seed`.
    jobs: local worker processes. client: a dask.distributed Client; the
          chunks then run on its workers (jobs is not used).
    outputs: names to report (variables, or STREAM.TEMPERATURE and the like);
             default every variable.
    Rows: point, the inputs, status, iterations, residual_norm, the outputs
    (None unless converged), message. A pandas DataFrame when pandas is
    installed (frame=None) or asked for (frame=True); else a list of dicts.
    A failed point keeps its row with the reason; the others are unaffected.
    Raises BadInput when the grid does not fit the case (no point runs).
    """
    from . import BadInput

    if not isinstance(grid, Mapping):
        raise BadInput("the grid must be a dict of inputs and their values")
    spec = _spec(grid, outputs, seed, samples, chunk)
    if client is not None:
        names, points, outs, raw = _on_dask(case, spec, client, progress)
    else:
        if int(jobs) < 1:
            raise BadInput("jobs must be at least 1")
        try:
            names, points, outs, raw = _core.run(case._core, spec, int(jobs), progress, _die_at)
        except ValueError as e:
            raise BadInput(str(e)) from None
    rows = _rows(names, points, outs, raw)
    if frame is False:
        return rows
    try:
        import pandas
    except ImportError:
        if frame:
            raise
        return rows
    return pandas.DataFrame(rows, columns=["point", *names, *_ROW_KEYS, *outs, "message"])
