#!/usr/bin/env python3
"""Mutation testing: the share of small faults, put one at a time into the
library and host sources, that the tests catch.

Each mutant changes one line of a .cpp file under models/, framework/ or
host/ in one of four ways: a binary operator flipped (+ -, * /, < <=, > >=,
== !=, && ||), a numeric constant changed (0 -> 1, 1 -> 0, n -> n+1, a real
times 1.5), a statement deleted (an assignment or a call on its own line), or
the two arguments of a two-argument call swapped. Every candidate site of the
tree is listed in a fixed order and shuffled with the seed, so one seed draws
the same mutants from the same sources.

For each mutant the script rebuilds only the test programs of the mutated
folder (see COVER), runs them, and for code that r3sim loads also the golden
test of every example; the mutant is killed when any of them fails, crashes
or times out. A mutant that does not compile is not scored and the next one
is drawn. The source file is restored after every mutant, also on Ctrl-C.
"""
import argparse
import os
import random
import re
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# Folder prefix -> the test programs that cover it. "golden" is the golden
# test of every example (r3sim with the model library and the plant blocks).
MODEL_TESTS = {
    "pump": "test_pump", "centrifugal_compressor": "test_ccmp", "recip_compressor": "test_rcmp",
    "control_valve": "test_valve", "turbo_expander": "test_trex", "steam_turbine": "test_strb",
    "heat_exchanger": "test_htua", "component_separator": "test_csep",
    "stoich_reactor": "test_stoic", "composition_skew": "test_skew", "numeric_layer": "test_numl",
}
COVER = [("models/" + m + "/", [t, "test_hostile_requests", "golden"]) for m, t in MODEL_TESTS.items()]
COVER += [
    ("framework/", ["test_records", "test_hostile_requests", "test_pump", "test_valve", "golden"]),
    ("host/thermo/", ["test_thermo", "test_property_sets", "golden"]),
    ("host/properties/", ["test_property_sets", "test_thermo", "golden"]),
    ("host/steam/", ["test_steam", "golden"]),
    ("host/numeric/", ["test_numl", "golden"]),
    ("host/units/", ["test_units", "test_r3sim", "golden"]),
    ("host/", ["test_host", "test_r3sim", "golden"]),
]
GOLDEN_TARGETS = ["r3sim", "r3models", "r3blocks", "r3user_examples"]

PAIRS = {" + ": " - ", " - ": " + ", " * ": " / ", " / ": " * ", " < ": " <= ", " <= ": " < ",
         " > ": " >= ", " >= ": " > ", " == ": " != ", " != ": " == ", " && ": " || ",
         " || ": " && "}
OPERATOR = re.compile("|".join(re.escape(k) for k in PAIRS))
NUMBER = re.compile(r"(?<![\w.])(\d+\.\d*(?:[eE][-+]?\d+)?|\d+[eE][-+]?\d+|\d+)(?![\w.'])")
STATEMENT = re.compile(r"^\s*(?:\*?[A-Za-z_][\w.\[\]>-]*(?:\s*(?:=|\+=|-=|\*=|/=)\s*[^=].*"
                       r"|\s*\(.*\)))\s*;\s*$")
DECLARATION = re.compile(r"^\s*(?:return|const|constexpr|static|auto|double|float|int|bool|"
                         r"char|size_t|int32_t|int64_t|uint\w*|std::|using|typedef|struct|"
                         r"class|enum|case|goto|throw|delete|new|break|continue)\b")
SWAP = re.compile(r"\b(\w+)\(([\w.]+(?:\[[\w.+-]+\])?), ([\w.]+(?:\[[\w.+-]+\])?)\)")
STRINGS = re.compile(r'"(?:[^"\\]|\\.)*"|\'(?:[^\'\\]|\\.)*\'')


def code_part(line):
    """The line with string literals blanked and any // comment cut off."""
    blanked = STRINGS.sub(lambda m: '"' + " " * (len(m.group()) - 2) + '"', line)
    cut = blanked.find("//")
    return blanked if cut < 0 else blanked[:cut]


def changed_number(text):
    if re.fullmatch(r"\d+", text):
        n = int(text)
        return "1" if n == 0 else "0" if n == 1 else str(n + 1)
    return repr(float(text) * 1.5)


def sites(path, lines):
    """Every candidate mutation of a file: (path, line number, kind, new line)."""
    out = []
    in_block_comment = False
    for no, line in enumerate(lines, 1):
        stripped = line.strip()
        if in_block_comment:
            in_block_comment = "*/" not in stripped
            continue
        if stripped.startswith("/*"):
            in_block_comment = "*/" not in stripped
            continue
        if not stripped or stripped.startswith(("#", "//", "static_assert", "extern \"C\"")):
            continue
        code = code_part(line)
        for m in OPERATOR.finditer(code):
            out.append((path, no, "operator",
                        line[:m.start()] + PAIRS[m.group()] + line[m.end():]))
        for m in NUMBER.finditer(code):
            out.append((path, no, "constant",
                        line[:m.start()] + changed_number(m.group()) + line[m.end():]))
        if STATEMENT.match(code) and not DECLARATION.match(code) and code.count("(") == code.count(")"):
            indent = line[:len(line) - len(line.lstrip())]
            out.append((path, no, "deleted", indent + ";  // deleted: " + stripped + "\n"))
        for m in SWAP.finditer(code):
            if m.group(2) != m.group(3) and m.group(1) not in ("if", "for", "while", "switch"):
                new = m.group(1) + "(" + m.group(3) + ", " + m.group(2) + ")"
                out.append((path, no, "swapped", line[:m.start()] + new + line[m.end():]))
    return out


def all_sites():
    files = subprocess.run(["git", "ls-files", "models", "framework", "host"], cwd=ROOT,
                           capture_output=True, text=True, check=True).stdout.split()
    found = []
    for f in sorted(x for x in files if x.endswith(".cpp")):
        with open(os.path.join(ROOT, f), encoding="utf-8") as fh:
            found += sites(f, fh.readlines())
    return found


def covering(path):
    for prefix, tests in COVER:
        if path.startswith(prefix):
            return tests
    return ["golden"]


def run(cmd, timeout, **kw):
    try:
        return subprocess.run(cmd, capture_output=True, text=True, timeout=timeout, **kw).returncode
    except subprocess.TimeoutExpired:
        return "timeout"


def build(build_dir, tests):
    targets = [t for t in tests if t != "golden"]
    if "golden" in tests:
        targets += GOLDEN_TARGETS
    return run(["cmake", "--build", build_dir, "-j", "1", "--target"] + targets, 1800) == 0


def executables(build_dir):
    found = {}
    for dirpath, _, names in os.walk(os.path.join(build_dir, "tests")):
        for n in names:
            if n.startswith("test_") and os.access(os.path.join(dirpath, n), os.X_OK) and "." not in n:
                found[n] = os.path.join(dirpath, n)
    return found


def killed(build_dir, tests, exes):
    """The first test program that fails, or None when every one passes."""
    env = dict(os.environ, R3_DATA_DIR=os.path.join(ROOT, "data"))
    for t in tests:
        if t == "golden":
            rc = run(["ctest", "--test-dir", build_dir, "-L", "golden", "--stop-on-failure"], 600)
        else:
            rc = run([exes[t], "--gtest_brief=1"], 300, cwd=os.path.dirname(exes[t]), env=env)
        if rc != 0:
            return f"{t} ({'timed out' if rc == 'timeout' else 'exit ' + str(rc)})"
    return None


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--seed", type=int, default=20261206)
    ap.add_argument("--count", type=int, default=150, help="mutants to score")
    ap.add_argument("--build", default=os.path.join(ROOT, "build-mutation"))
    ap.add_argument("--list", action="store_true", help="print the drawn mutants and stop")
    ap.add_argument("--log", help="also write every line of the report to this file")
    a = ap.parse_args()

    candidates = all_sites()
    random.Random(a.seed).shuffle(candidates)
    log = open(a.log, "w", encoding="utf-8") if a.log else None

    def say(text):
        print(text, flush=True)
        if log:
            log.write(text + "\n")
            log.flush()

    say(f"mutation: seed {a.seed}, {len(candidates)} candidate sites, scoring {a.count}")
    if a.list:
        for path, no, kind, new in candidates[:a.count]:
            say(f"{path}:{no} {kind}: {new.strip()}")
        return 0

    if not os.path.exists(os.path.join(a.build, "CMakeCache.txt")):
        say(f"configuring {a.build} (-O1, no debug information: quicker rebuilds)")
        if run(["cmake", "-S", ROOT, "-B", a.build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
                "-DCMAKE_CXX_FLAGS_RELEASE=-O1 -DNDEBUG", "-DR3_BUILD_BENCH=OFF",
                "-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"], 600) != 0:
            say("configuration failed")
            return 2
    all_tests = sorted({t for _, ts in COVER for t in ts})
    say("building the unmutated tree and checking that its tests pass ...")
    if not build(a.build, all_tests):
        say("the unmutated tree does not build")
        return 2
    exes = executables(a.build)
    missing = [t for t in all_tests if t != "golden" and t not in exes]
    if missing:
        say("test programs not built: " + ", ".join(missing))
        return 2
    why = killed(a.build, all_tests, exes)
    if why:
        say(f"the unmutated tree fails {why}: fix that first")
        return 2

    scored = stillborn = dead = 0
    survivors = []
    start = time.time()
    for path, no, kind, new in candidates:
        if scored == a.count:
            break
        full = os.path.join(ROOT, path)
        with open(full, encoding="utf-8") as fh:
            original = fh.readlines()
        mutated = original[:no - 1] + [new] + original[no:]
        tests = covering(path)
        try:
            with open(full, "w", encoding="utf-8") as fh:
                fh.writelines(mutated)
            if not build(a.build, tests):
                stillborn += 1
                continue
            why = killed(a.build, tests, exes)
        finally:
            with open(full, "w", encoding="utf-8") as fh:
                fh.writelines(original)
        scored += 1
        if why:
            dead += 1
        else:
            survivors.append(f"{path}:{no} {kind}: {new.strip()}")
        say(f"[{scored}/{a.count}] {'killed by ' + why if why else 'SURVIVED'}  "
            f"{path}:{no} {kind}  ({time.time() - start:.0f} s)")
    build(a.build, all_tests)  # leave the build matching the restored sources
    say(f"mutation: seed {a.seed}: {dead} of {scored} mutants killed "
        f"({100.0 * dead / max(scored, 1):.1f} %), {stillborn} did not compile")
    for s in survivors:
        say("survived: " + s)
    return 0


if __name__ == "__main__":
    sys.exit(main())
