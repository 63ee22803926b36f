#!/usr/bin/env python3
"""Renders r3sim's HTML report of each example in headless Chromium, driven
over its DevTools pipe: no console errors or exceptions, every SVG on the
page present with a non-zero size, and a full-page screenshot written as an
artefact.  Exits 77 (skipped) when Chromium is not installed.
Usage: browser_check.py R3SIM EXAMPLES_DIR OUT_DIR CASE..."""
import base64, json, os, shutil, subprocess, sys, tempfile

r3sim, examples, out_dir, cases = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]
browser = shutil.which("chromium") or shutil.which("chromium-browser")
if not browser:
    print("chromium is not installed: browser check skipped")
    sys.exit(77)
os.makedirs(out_dir, exist_ok=True)


class DevTools:
    """Chromium started with --remote-debugging-pipe: JSON messages ending in NUL on fds 3 and 4."""

    def __init__(self):
        to_r, to_w = os.pipe()
        from_r, from_w = os.pipe()
        self.profile = tempfile.mkdtemp(prefix="r3chrome")
        self.proc = subprocess.Popen(
            [browser, "--headless", "--no-sandbox", "--disable-gpu", "--remote-debugging-pipe", "--no-first-run",
             "--user-data-dir=" + self.profile, "about:blank"],
            pass_fds=(3, 4), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            preexec_fn=lambda: (os.dup2(to_r, 3), os.dup2(from_w, 4)))
        os.close(to_r), os.close(from_w)
        self.w, self.r, self.buf, self.next_id, self.events = to_w, from_r, b"", 0, []

    def send(self, method, params=None, session=None):
        self.next_id += 1
        msg = {"id": self.next_id, "method": method, "params": params or {}}
        if session:
            msg["sessionId"] = session
        os.write(self.w, json.dumps(msg).encode() + b"\0")
        while True:
            m = self.read()
            if m.get("id") == self.next_id:
                if "error" in m:
                    raise RuntimeError(f"{method}: {m['error']}")
                return m["result"]
            self.events.append(m)

    def read(self):
        while b"\0" not in self.buf:
            chunk = os.read(self.r, 1 << 20)
            if not chunk:
                raise RuntimeError("chromium closed its DevTools pipe")
            self.buf += chunk
        msg, self.buf = self.buf.split(b"\0", 1)
        return json.loads(msg)

    def wait_for(self, method):
        while not any(e.get("method") == method for e in self.events):
            self.events.append(self.read())

    def close(self):
        self.proc.kill()
        self.proc.wait()
        shutil.rmtree(self.profile, ignore_errors=True)


failures = []
dt = DevTools()
try:
    for case in cases:
        name = case.replace("/", "_")
        html = os.path.abspath(os.path.join(out_dir, name + ".html"))
        r = subprocess.run([r3sim, "run", os.path.join(examples, case + ".toml"), "--quiet", "--report", os.devnull,
                            "--html", html], capture_output=True, text=True)
        if r.returncode != 0:
            failures.append(f"{case}: r3sim exited {r.returncode}: {r.stderr.strip()}")
            continue
        expected = open(html).read().count("<svg ")
        target = dt.send("Target.createTarget", {"url": "about:blank"})["targetId"]
        s = dt.send("Target.attachToTarget", {"targetId": target, "flatten": True})["sessionId"]
        for domain in ("Page", "Runtime", "Log"):
            dt.send(domain + ".enable", session=s)
        dt.events.clear()
        dt.send("Emulation.setDeviceMetricsOverride", {"width": 1200, "height": 900, "deviceScaleFactor": 1, "mobile": False}, s)
        dt.send("Page.navigate", {"url": "file://" + html}, s)
        dt.wait_for("Page.loadEventFired")
        sizes = dt.send("Runtime.evaluate", {"returnByValue": True, "expression":
                        "Array.from(document.querySelectorAll('svg')).map(e => [e.id || e.getAttribute('class'),"
                        " e.getBoundingClientRect().width, e.getBoundingClientRect().height])"}, s)["result"]["value"]
        height = dt.send("Runtime.evaluate", {"returnByValue": True, "expression": "document.documentElement.scrollHeight"}, s)
        dt.send("Emulation.setDeviceMetricsOverride", {"width": 1200, "height": height["result"]["value"],
                                                       "deviceScaleFactor": 1, "mobile": False}, s)
        png = dt.send("Page.captureScreenshot", {"format": "png"}, s)["data"]
        with open(os.path.join(out_dir, name + ".png"), "wb") as f:
            f.write(base64.b64decode(png))
        for e in dt.events:
            p = e.get("params", {})
            if e.get("method") == "Runtime.exceptionThrown" or \
                    (e.get("method") == "Runtime.consoleAPICalled" and p.get("type") in ("error", "assert")) or \
                    (e.get("method") == "Log.entryAdded" and p["entry"]["level"] == "error"):
                failures.append(f"{case}: console error: {json.dumps(p)[:300]}")
        if len(sizes) != expected or any(w <= 0 or h <= 0 for _, w, h in sizes):
            failures.append(f"{case}: {expected} SVGs in the file, rendered: {sizes}")
        dt.send("Target.closeTarget", {"targetId": target})
finally:
    dt.close()
print("\n".join(failures) if failures else f"{len(cases)} reports rendered; screenshots in {out_dir}")
sys.exit(1 if failures else 0)
