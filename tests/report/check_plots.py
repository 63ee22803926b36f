#!/usr/bin/env python3
"""Reads the plots of r3sim's HTML report and plot command back and checks
that every operating point lies inside its plot area, where the axes put its
values, and that those values are the solved ones in the results JSON.
Also: an unsolved run is marked on the page and on every plot, a block with
nothing to plot gets none, and --html into a missing folder fails before
solving.  Usage: check_plots.py R3SIM EXAMPLES_DIR WORK_DIR"""
import json, os, re, subprocess, sys, xml.etree.ElementTree as ET

r3sim, examples, work = sys.argv[1:4]
os.makedirs(work, exist_ok=True)
failures = []
NS = "{http://www.w3.org/2000/svg}"
CASES = ["ccmp/ccmp_curves_speed", "ccmp/ccmp_rps", "valve/char0_interpolated", "valve/vapour_gas",
         "htua/counter_current", "htua/co_current", "htua/heat_streams", "strb/standard", "strb/admission", "trex/two_phase_outlet",
         "pump/head", "stoic/steam_reforming", "skew/mass_open_knots", "csep/two_outlets"]


def run(args):
    return subprocess.run([r3sim] + args, capture_output=True, text=True)


def resolve(ref, res):
    """Value of a reference "NAME*factor+offset", NAME a variable or STREAM.field."""
    def value(m):
        name = m.group(0)
        if name in res["variables"]:
            return repr(res["variables"][name])
        stream, field = name.split(".", 1)
        return repr(res["streams"][stream][field])
    return eval(re.sub(r"(?<![\d.])[A-Za-z_]\w*\.[\w.]*\w", value, ref), {"__builtins__": {}})


def distance(x, y, d):
    """Distance in pixels from (x, y) to the polyline of a path "Mx,y Lx,y ..." (M starts a new piece)."""
    best, prev = float("inf"), None
    for cmd, px, py in re.findall(r"([ML])([-\d.]+),([-\d.]+)", d):
        px, py = float(px), float(py)
        if cmd == "L" and prev:
            (ax, ay), dx, dy = prev, px - prev[0], py - prev[1]
            t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy or 1.0)))
            best = min(best, ((ax + t * dx - x) ** 2 + (ay + t * dy - y) ** 2) ** 0.5)
        best, prev = min(best, ((px - x) ** 2 + (py - y) ** 2) ** 0.5), (px, py)
    return best


def check_svg(svg, res, where):
    panels = [g for g in svg.iter(NS + "g") if "panel" in g.get("class", "").split()]
    for p in panels:
        area = p.find(NS + "rect[@class='plot-area']")
        ax, ay, aw, ah = (float(area.get(k)) for k in ("x", "y", "width", "height"))
        x0, x1, y0, y1 = (float(p.get("data-" + k)) for k in ("x0", "x1", "y0", "y1"))
        for op in p.iter(NS + "circle"):
            if op.get("class") != "op":
                continue
            cx, cy, dx, dy = (float(op.get(k)) for k in ("cx", "cy", "data-x", "data-y"))
            tag = f"{where}: point {op.get('data-var')}"
            if not (ax - 0.5 <= cx <= ax + aw + 0.5 and ay - 0.5 <= cy <= ay + ah + 0.5):
                failures.append(f"{tag} at ({cx}, {cy}) is outside the plot area")
            if abs(ax + (dx - x0) / (x1 - x0) * aw - cx) > 0.6 or abs(ay + ah - (dy - y0) / (y1 - y0) * ah - cy) > 0.6:
                failures.append(f"{tag}: drawn at ({cx}, {cy}), not where the axes put ({dx}, {dy})")
            curves = [c for c in p.iter(NS + "path") if "on" in c.get("class", "").split()]
            if curves and min(distance(cx, cy, c.get("d")) for c in curves) > 1.5:
                failures.append(f"{tag} at ({cx}, {cy}) is off the curves it should lie on")
            for ref, got in zip(op.get("data-var").split(";"), (dx, dy)):
                if ref and abs(resolve(ref, res) - got) > 1e-9 * max(1.0, abs(got)):
                    failures.append(f"{tag}: plotted {got}, solved {resolve(ref, res)}")
    return len(panels)


def charts(html):
    return [ET.fromstring(s) for s in re.findall(r'<svg xmlns="http://www.w3.org/2000/svg" class="chart".*?</svg>', html, re.S)]


# The same compressor with metric report units: the plotted values are converted.
text = open(os.path.join(examples, "ccmp/ccmp_rps.toml")).read().replace("[properties]", '[properties]\nreport_units = "MET"')
open(os.path.join(work, "ccmp_met.toml"), "w").write(text)
for case in CASES + [os.path.relpath(os.path.join(work, "ccmp_met"), examples)]:
    name = os.path.basename(case) if case.startswith("..") else case.replace("/", "_")
    html, js = os.path.join(work, name + ".html"), os.path.join(work, name + ".json")
    r = run(["run", os.path.join(examples, case + ".toml"), "--quiet", "--report", os.devnull, "--json", js, "--html", html])
    if r.returncode != 0:
        failures.append(f"{case}: r3sim run exited {r.returncode}: {r.stderr.strip()}")
        continue
    res = json.load(open(js))
    page = open(html).read()
    svgs = charts(page)
    if case.startswith("csep/"):
        if svgs:
            failures.append(f"{case}: a separator has nothing to plot, yet the page has {len(svgs)} plots")
        r = run(["plot", os.path.join(examples, case + ".toml"), "--block", res["blocks"][0]["id"], "--out", os.path.join(work, "none.svg")])
        if r.returncode == 0 or "nothing to plot" not in r.stderr:
            failures.append(f"{case}: plot of a block with nothing to plot: exit {r.returncode}, {r.stderr.strip()}")
        continue
    if not svgs or any(check_svg(s, res, case) == 0 for s in svgs):
        failures.append(f"{case}: no plot panels on the page")
    block = res["blocks"][-1]["id"]
    out = os.path.join(work, f"{name}_{block}.svg")
    r = run(["plot", os.path.join(examples, case + ".toml"), "--block", block, "--out", out])
    if r.returncode != 0:
        failures.append(f"{case}: r3sim plot exited {r.returncode}: {r.stderr.strip()}")
    else:
        check_svg(ET.parse(out).getroot(), res, out)

# A run held to an unreachable tolerance is not a solution: page and every plot say so.
text = open(os.path.join(examples, "ccmp/ccmp_curves_speed.toml")).read()
text = text.replace("max_iterations = 50", "max_iterations = 3").replace("tolerance = 1.0e-9", "tolerance = 1.0e-30")
case = os.path.join(work, "unsolved.toml")
open(case, "w").write(text)
r = run(["run", case, "--quiet", "--report", os.devnull, "--html", os.path.join(work, "unsolved.html")])
page = open(os.path.join(work, "unsolved.html")).read() if os.path.exists(os.path.join(work, "unsolved.html")) else ""
if r.returncode != 3 or "RESULTS ARE NOT A SOLUTION" not in page or not charts(page) or \
        any("NOT A SOLUTION" not in ET.tostring(s, encoding="unicode") for s in charts(page)):
    failures.append(f"unsolved run: exit {r.returncode}; page or plots not marked as not a solution")
r = run(["plot", case, "--block", "K1", "--out", os.path.join(work, "unsolved.svg")])
if r.returncode != 3 or "NOT A SOLUTION" not in open(os.path.join(work, "unsolved.svg")).read():
    failures.append(f"unsolved plot: exit {r.returncode} or not marked")

# --html into a folder that does not exist: a clear error before any solving.
r = run(["run", os.path.join(examples, "pump/head.toml"), "--html", os.path.join(work, "no/such/dir/r.html")])
if r.returncode != 1 or "does not exist" not in r.stderr or "iter" in r.stderr:
    failures.append(f"--html into a missing folder: exit {r.returncode}, {r.stderr.strip()}")

print("\n".join(failures) if failures else f"plots of {len(CASES)} examples checked")
sys.exit(1 if failures else 0)
