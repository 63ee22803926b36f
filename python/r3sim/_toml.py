"""A case given as a Python dict written as TOML, so that it is read and
checked by the same case reader as a file."""

from __future__ import annotations

import json
import math
import re
from typing import Any

_BARE = re.compile(r"^[A-Za-z0-9_-]+$")


def _key(k: Any) -> str:
    k = str(k)
    return k if _BARE.match(k) else json.dumps(k)


def _value(v: Any, where: str) -> str:
    if isinstance(v, bool):
        return "true" if v else "false"
    if isinstance(v, int):
        return str(v)
    if isinstance(v, float):
        if not math.isfinite(v):
            raise ValueError(f"{where}: {v} is not a finite number")
        return repr(v)
    if isinstance(v, str):
        return json.dumps(v)
    if isinstance(v, (list, tuple)):
        return "[" + ", ".join(_value(e, where) for e in v) + "]"
    if isinstance(v, dict):
        return "{ " + ", ".join(f"{_key(k)} = {_value(e, where + '.' + str(k))}" for k, e in v.items()) + " }"
    raise ValueError(f"{where}: {v!r} cannot be written in a case")


def _table(d: dict, path: list[str], out: list[str]) -> None:
    subtables = []
    for k, v in d.items():
        if isinstance(v, dict) and (not path or path == ["streams"]):
            subtables.append((k, v))
        elif not path and isinstance(v, list) and v and all(isinstance(e, dict) for e in v):
            subtables.append((k, v))
        else:
            out.append(f"{_key(k)} = {_value(v, '.'.join(path + [str(k)]))}")
    for k, v in subtables:
        name = ".".join(_key(p) for p in path + [k])
        if isinstance(v, list):
            for e in v:
                out.append(f"\n[[{name}]]")
                _table(e, path + [str(k)], out)
        else:
            out.append(f"\n[{name}]")
            _table(v, path + [str(k)], out)


def dumps(case: dict) -> str:
    """TOML text of a case dict (top-level tables, arrays of tables for the
    blocks, inline tables below)."""
    if not isinstance(case, dict):
        raise ValueError("a case must be a dict")
    out: list[str] = []
    _table(case, [], out)
    return "\n".join(out) + "\n"
