"""Values with units ("6 bar", "25 degC") converted to the SI units the
solver works in."""

from __future__ import annotations

import re

# unit -> (factor, offset): SI = value * factor + offset
_UNITS: dict[str, tuple[float, float]] = {
    # pressure, Pa
    "Pa": (1.0, 0.0), "kPa": (1e3, 0.0), "MPa": (1e6, 0.0), "bar": (1e5, 0.0),
    "mbar": (1e2, 0.0), "atm": (101325.0, 0.0), "psi": (6894.757293168361, 0.0),
    # temperature, K
    "K": (1.0, 0.0), "degC": (1.0, 273.15), "C": (1.0, 273.15), "degF": (5.0 / 9.0, 273.15 - 32.0 * 5.0 / 9.0),
    "F": (5.0 / 9.0, 273.15 - 32.0 * 5.0 / 9.0),
    # power and duty, W
    "W": (1.0, 0.0), "kW": (1e3, 0.0), "MW": (1e6, 0.0),
    # molar and mass flow, kmol/s and kg/s
    "kmol/s": (1.0, 0.0), "kmol/h": (1.0 / 3600.0, 0.0), "mol/s": (1e-3, 0.0),
    "kg/s": (1.0, 0.0), "kg/h": (1.0 / 3600.0, 0.0), "t/h": (1.0 / 3.6, 0.0),
    # energy per mass and per mole
    "J/kg": (1.0, 0.0), "kJ/kg": (1e3, 0.0), "J/kmol": (1.0, 0.0), "kJ/kmol": (1e3, 0.0),
    # length, fractions
    "m": (1.0, 0.0), "%": (0.01, 0.0),
}

_VALUE = re.compile(r"^\s*([-+]?(?:\d+\.?\d*|\.\d+)(?:[eE][-+]?\d+)?)\s*(\S*)\s*$")


def to_si(value: float | int | str, what: str = "value") -> float:
    """A number as it is, or "NUMBER UNIT" converted to SI.

    Raises ValueError naming the unit when it is not known.
    """
    if isinstance(value, bool):
        raise ValueError(f"{what}: {value!r} is not a number")
    if isinstance(value, (int, float)):
        return float(value)
    if not isinstance(value, str):
        raise ValueError(f"{what}: {value!r} is not a number or a 'number unit' text")
    m = _VALUE.match(value)
    if not m:
        raise ValueError(f"{what}: '{value}' is not of the form 'NUMBER UNIT'")
    number, unit = float(m.group(1)), m.group(2)
    if not unit:
        return number
    if unit not in _UNITS:
        raise ValueError(f"{what}: unknown unit '{unit}' in '{value}' (known: {', '.join(_UNITS)})")
    factor, offset = _UNITS[unit]
    return number * factor + offset
