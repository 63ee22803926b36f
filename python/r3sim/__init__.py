"""r3sim for Python: load a case, change its inputs, solve it, read the
results, and sweep it over a grid of inputs on every core or a Dask cluster.

    import r3sim
    case = r3sim.Case.load("examples/pump.toml")
    case.fix("P1.DELTA_P", "6 bar")
    res = case.solve()
    res["P1.BHP"], res.streams["PROD"].temperature

Values are SI (Pa, K, W, kmol/s, J/kg) unless given as "NUMBER UNIT" text.
"""

from __future__ import annotations

import json
import os
from typing import Any, Mapping

from . import _core, _toml
from ._units import to_si

__all__ = ["Case", "Result", "Stream", "Error", "BadInput", "ModelFailure", "NotConverged",
           "SpecificationError", "props", "sweep", "to_si"]
__version__ = "0.1.0"


class Error(Exception):
    """A case that could not be solved; `result` holds what the run left
    (None when the case could not be set up)."""

    code = 0

    def __init__(self, message: str, result: "Result | None" = None):
        super().__init__(message)
        self.message = message
        self.result = result


class BadInput(Error, ValueError):
    """The case, an input name or a value is wrong (r3sim exit code 1)."""

    code = 1


class ModelFailure(Error):
    """A model reported a failure (exit code 2)."""

    code = 2


class NotConverged(Error):
    """The Newton iterations did not reach the tolerance (exit code 3)."""

    code = 3


class SpecificationError(Error):
    """Missing or surplus specifications, or a structurally singular system
    (exit code 3)."""

    code = 3


def _raise_bad(e: ValueError) -> None:
    raise BadInput(str(e)) from None


class Stream:
    """A solved stream: temperature (K), pressure (Pa), total_flow (kmol/s),
    mass_enthalpy (J/kg), vapour_fraction, density (kg/m3), molecular_weight,
    flows ({component: kmol/s}); an information stream has `value` (W)."""

    def __init__(self, name: str, data: Mapping[str, Any]):
        self.name = name
        self._data = dict(data)

    def __getattr__(self, key: str) -> Any:
        try:
            return self._data[key]
        except KeyError:
            raise AttributeError(f"stream {self.name} has no '{key}' (it has {', '.join(self._data)})") from None

    def to_dict(self) -> dict:
        return dict(self._data)

    def __repr__(self) -> str:
        return f"Stream({self.name!r}, {self._data!r})"


class Result:
    """The results of a solve, with the same content as `r3sim run --json`."""

    def __init__(self, data: dict, state: str, message: str):
        self._data = data
        self.status: str = state
        self.message: str = message

    @property
    def converged(self) -> bool:
        return bool(self._data.get("converged", False))

    @property
    def iterations(self) -> int:
        return int(self._data.get("iterations", 0))

    @property
    def residual_norm(self) -> float:
        return float(self._data.get("residual_norm", float("nan")))

    @property
    def variables(self) -> dict[str, float]:
        return dict(self._data.get("variables", {}))

    @property
    def streams(self) -> dict[str, Stream]:
        return {k: Stream(k, v) for k, v in self._data.get("streams", {}).items()}

    @property
    def report(self) -> str:
        return self._data.get("report", "")

    def __getitem__(self, name: str) -> float:
        """A variable (P1.BHP) or a stream property (PROD.temperature)."""
        v = self._data.get("variables", {})
        if name in v:
            return v[name]
        sid, _, key = name.partition(".")
        s = self._data.get("streams", {}).get(sid)
        if s is not None and key.lower() in s:
            return s[key.lower()]
        raise KeyError(f"no variable or stream property '{name}'")

    def to_dict(self) -> dict:
        """The results as r3sim's JSON has them (a deep copy)."""
        return json.loads(json.dumps(self._data))

    def __repr__(self) -> str:
        return f"<r3sim.Result {self.status}, {self.iterations} iterations, residual {self.residual_norm:.3e}>"


class Case:
    """A case (the same TOML as r3sim reads) and the inputs set on it."""

    def __init__(self, text: str, path: str = "<case>"):
        self._text = text
        self._path = path
        self._inputs: dict[str, float] = {}
        try:
            self._core = _core.Case(text, path)
        except ValueError as e:
            _raise_bad(e)

    @classmethod
    def load(cls, path: str | os.PathLike) -> "Case":
        """Reads a case file."""
        path = os.fspath(path)
        try:
            with open(path, encoding="utf-8") as f:
                text = f.read()
        except OSError as e:
            raise BadInput(f"cannot read {path}: {e.strerror}") from None
        return cls(text, path)

    @classmethod
    def from_toml(cls, text: str, path: str = "<string>") -> "Case":
        """A case from TOML text (`path` names it in messages and anchors its
        relative library paths)."""
        return cls(text, path)

    @classmethod
    def from_dict(cls, d: Mapping[str, Any], path: str = "<dict>") -> "Case":
        """A case from a dict laid out as the case file is."""
        try:
            text = _toml.dumps(dict(d))
        except ValueError as e:
            _raise_bad(e)
        return cls(text, path)

    @property
    def inputs(self) -> dict[str, float]:
        """The inputs set with fix(), in SI."""
        return dict(self._inputs)

    def fix(self, name: str, value: float | str) -> "Case":
        """Fixes BLOCK.VAR, a product stream's variable (PROD.PRESSURE), or a
        feed's condition (FEED.TEMPERATURE, FEED.PRESSURE, FEED.TOTAL_FLOW,
        FEED.FLOW_<component>, ...). `value` is SI or "NUMBER UNIT"."""
        try:
            v = to_si(value, name)
            self._core.set(name, v)
        except ValueError as e:
            _raise_bad(e)
        self._inputs[name] = v
        return self

    def copy(self) -> "Case":
        c = Case.__new__(Case)
        c.__setstate__(self.__getstate__())
        return c

    def solve(self, progress: bool = False) -> Result:
        """Solves the case. Raises BadInput, ModelFailure, NotConverged or
        SpecificationError with r3sim's message; the exception's `result`
        holds the unsolved results when the case was set up. `progress` prints
        the iterations on standard error."""
        code, state, message, text = self._core.solve(progress)
        res = Result(json.loads(text), state, message)
        if code == 0:
            return res
        kind = {1: BadInput, 2: ModelFailure}.get(code, SpecificationError if state == "specification error" else NotConverged)
        raise kind(message, res if "report" in res._data else None)

    def __getstate__(self) -> tuple:
        return (self._text, self._path, dict(self._inputs))

    def __setstate__(self, state: tuple) -> None:
        self._text, self._path, inputs = state
        self._inputs = {}
        self._core = _core.Case(self._text, self._path)
        for k, v in inputs.items():
            self._core.set(k, v)
            self._inputs[k] = v

    def __repr__(self) -> str:
        return f"<r3sim.Case {self._path}, {len(self._inputs)} inputs set>"


def props(method: str, composition: Mapping[str, float], *, P: float | str, T: float | str | None = None,
          H: float | None = None, S: float | None = None, vapour_fraction: float | None = None,
          phase: str | None = None) -> dict:
    """Properties of a state from the property engine, as `r3sim props
    --json` gives them: give P and one of T, H (J/kmol), S (J/kmol/K) or
    vapour_fraction; `phase` ("vapour" or "liquid") with T skips the flash."""
    if phase not in (None, "vapour", "liquid"):
        raise BadInput(f"phase must be 'vapour' or 'liquid', not '{phase}'")
    try:
        text = _core.props(method, ",".join(composition), ",".join(repr(float(x)) for x in composition.values()),
                           to_si(P, "P"), None if T is None else to_si(T, "T"), H, S, vapour_fraction, phase or "")
    except ValueError as e:
        _raise_bad(e)
    except RuntimeError as e:
        raise ModelFailure(str(e)) from None
    return json.loads(text)


from ._sweep import sweep  # noqa: E402
