#!/usr/bin/python3
"""The catalogue of the sample game in a real browser: Debian's chromium,
headless, with no network, driven over its DevTools protocol on a pipe
(no driver, no package beyond chromium and Python's own library; Pillow
reads the screenshots).

  catalogue_in_browser.py --quarnel PROGRAM --make-game PROGRAM --work FOLDER
                          [--screenshot FILE]

Checks: every page loads with no console error and asks for nothing but
files of the site; every image decodes (natural width above 0); every link
and source names a file of the site; a unit's APNGs animate (two
screenshots a few tenths apart differ where the unit is and nowhere else);
the sheet of the sprite set REAP.SPR shows on the screen exactly the
pictures that "quarnel extract" writes. --screenshot keeps a screenshot of a
unit's page (the README shows it). A missing browser is a failure, never a
pass. Ends with a line "N passed, N failed".
"""
import argparse
import base64
import io
import json
import os
import shutil
import subprocess
import sys
import time
import urllib.parse

from PIL import Image, ImageChops

CHROMIUM = "/usr/bin/chromium"
FIGURE_BACKGROUND = (0x40, 0x40, 0x40)
passed = 0
failed = 0


def check(condition, what):
    global passed, failed
    if condition:
        passed += 1
    else:
        failed += 1
        print("FAILED:", what, flush=True)
    return condition


class Browser:
    """chromium --remote-debugging-pipe: JSON messages ended by a NUL byte,
    commands on the child's descriptor 3, answers and events on 4."""

    def __init__(self, profile):
        to_browser_read, self.to_browser = os.pipe()
        self.from_browser, from_browser_write = os.pipe()

        def descriptors():
            high_read = os.dup(to_browser_read)
            high_write = os.dup(from_browser_write)
            os.dup2(high_read, 3)
            os.dup2(high_write, 4)

        self.process = subprocess.Popen(
            [CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             "--disable-default-apps", "--disable-extensions", "--mute-audio",
             # No network: every name resolves to nothing, every proxy is a closed port.
             "--host-resolver-rules=MAP * ~NOTFOUND", "--proxy-server=127.0.0.1:9",
             "--user-data-dir=" + profile, "--remote-debugging-pipe", "--window-size=1200,900",
             "--force-device-scale-factor=1", "about:blank"],
            preexec_fn=descriptors, pass_fds=(3, 4), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        os.close(to_browser_read)
        os.close(from_browser_write)
        self.buffer = b""
        self.next_id = 0
        self.events = []
        self.session = None

    def close(self):
        try:
            self.command("Browser.close", session=False, timeout=5)
        except Exception:
            pass
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()

    def _read_message(self, deadline):
        while b"\0" not in self.buffer:
            if time.time() > deadline:
                raise TimeoutError("the browser did not answer")
            chunk = os.read(self.from_browser, 1 << 16)
            if not chunk:
                raise EOFError("the browser ended")
            self.buffer += chunk
        message, self.buffer = self.buffer.split(b"\0", 1)
        return json.loads(message)

    def command(self, method, params=None, session=True, timeout=30):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params or {}}
        if session and self.session:
            message["sessionId"] = self.session
        os.write(self.to_browser, json.dumps(message).encode() + b"\0")
        deadline = time.time() + timeout
        while True:
            answer = self._read_message(deadline)
            if answer.get("id") == self.next_id:
                if "error" in answer:
                    raise RuntimeError(method + ": " + json.dumps(answer["error"]))
                return answer.get("result", {})
            self.events.append(answer)

    def wait_for_event(self, method, timeout=30):
        deadline = time.time() + timeout
        while True:
            for at, event in enumerate(self.events):
                if event.get("method") == method:
                    del self.events[at]
                    return event
            self.events.append(self._read_message(deadline))

    def open_page_target(self):
        target = self.command("Target.createTarget", {"url": "about:blank"}, session=False)["targetId"]
        self.session = self.command("Target.attachToTarget", {"targetId": target, "flatten": True},
                                    session=False)["sessionId"]
        for domain in ("Page.enable", "Runtime.enable", "Log.enable", "Network.enable"):
            self.command(domain)
        self.command("Emulation.setDeviceMetricsOverride",
                     {"width": 1200, "height": 900, "deviceScaleFactor": 1, "mobile": False})

    def load(self, url):
        self.events = []
        self.command("Page.navigate", {"url": url})
        self.wait_for_event("Page.loadEventFired")
        # Pictures may decode after the load event: wait for every one.
        self.command("Runtime.evaluate", {
            "expression": "Promise.all(Array.from(document.images).map(i => i.decode().catch(() => null)))",
            "awaitPromise": True}, timeout=60)
        time.sleep(0.1)
        self.command("Runtime.evaluate", {"expression": "1"})  # collects the events so far

    def evaluate(self, expression):
        result = self.command("Runtime.evaluate", {"expression": expression, "returnByValue": True})
        return result["result"].get("value")

    def screenshot(self, clip=None):
        params = {"format": "png", "captureBeyondViewport": clip is not None}
        if clip:
            params["clip"] = dict(clip, scale=1)
        data = self.command("Page.captureScreenshot", params)["data"]
        return Image.open(io.BytesIO(base64.b64decode(data))).convert("RGB")


def problems_of(events):
    """Console errors, exceptions, failed loads and requests for anything
    but a file."""
    found = []
    for event in events:
        method, params = event.get("method"), event.get("params", {})
        if method == "Runtime.consoleAPICalled" and params.get("type") in ("error", "assert"):
            found.append("console: " + json.dumps(params.get("args")))
        elif method == "Runtime.exceptionThrown":
            found.append("exception: " + json.dumps(params.get("exceptionDetails", {}).get("text")))
        elif method == "Log.entryAdded" and params.get("entry", {}).get("level") == "error":
            found.append("log: " + params["entry"].get("text", "") + " " + params["entry"].get("url", ""))
        elif method == "Network.loadingFailed":
            found.append("failed to load: " + params.get("errorText", ""))
        elif method == "Network.requestWillBeSent":
            url = params.get("request", {}).get("url", "")
            if not (url.startswith("file://") or url.startswith("data:") or url == "about:blank"):
                found.append("asked the network for " + url)
    return found


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--quarnel", required=True)
    parser.add_argument("--make-game", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--screenshot")
    args = parser.parse_args()

    if not os.access(CHROMIUM, os.X_OK):
        print("FAILED: " + CHROMIUM + " is not installed (Debian package chromium; ./setup.sh installs it)")
        print("0 passed, 1 failed")
        return 1

    shutil.rmtree(args.work, ignore_errors=True)
    os.makedirs(args.work)
    game = os.path.join(args.work, "game")
    site = os.path.join(args.work, "site")
    subprocess.run([args.make_game, game], check=True, stdout=subprocess.DEVNULL)
    made = subprocess.run([args.quarnel, "catalogue", game, "--out", site], stdin=subprocess.DEVNULL,
                          capture_output=True, text=True)
    check(made.returncode == 0, "quarnel catalogue ended with %d: %s" % (made.returncode, made.stderr))
    # The pictures that extraction writes, uncentred, for the sheet's check.
    shutil.copy(os.path.join(game, "sprites", "REAP.SPR"), os.path.join(args.work, "REAP.SPR"))
    subprocess.run([args.quarnel, "extract", "--no-centre", os.path.join(args.work, "REAP.SPR")],
                   stdin=subprocess.DEVNULL, check=True, stdout=subprocess.DEVNULL)

    site_files = set()
    for folder, _, names in os.walk(site):
        for name in names:
            site_files.add(os.path.realpath(os.path.join(folder, name)))
    pages = sorted(path for path in site_files if path.endswith(".html"))
    check(len(pages) >= 12, "%d pages in the site" % len(pages))

    browser = Browser(os.path.join(args.work, "profile"))
    try:
        browser.open_page_target()
        for page in pages:
            name = os.path.relpath(page, site)
            url = "file://" + urllib.parse.quote(page)
            browser.load(url)
            for problem in problems_of(browser.events):
                check(False, name + ": " + problem)
            images = browser.evaluate(
                "Array.from(document.images).map(i => [i.getAttribute('src'), i.complete, i.naturalWidth])")
            for source, complete, width in images:
                check(complete and width > 0, name + ": the image " + source + " does not decode")
            links = browser.evaluate(
                "Array.from(document.querySelectorAll('[href],[src]')).map(e => e.getAttribute('href') || "
                "e.getAttribute('src'))")
            for link in links:
                target = urllib.parse.unquote(link.split("#")[0])
                resolved = os.path.realpath(os.path.join(os.path.dirname(page), target)) if target else page
                check(resolved in site_files, name + ": the link " + link + " names no file of the site")
            passed_page = check(True, name)
            del passed_page

        # A unit's animations play: two screenshots a few tenths apart
        # differ inside the unit's pictures and nowhere else.
        unit_page = next(page for page in pages if "unit-" in page and "REAP" in page)
        browser.load("file://" + urllib.parse.quote(unit_page))
        rectangles = browser.evaluate(
            "Array.from(document.images).map(i => { const r = i.getBoundingClientRect();"
            " return [r.left, r.top, r.right, r.bottom]; })")
        # Screenshots a few tenths apart, until one differs from the first
        # (a busy machine may hold the animation back a while).
        first = browser.screenshot()
        outside = 0
        changed = 0
        where = []
        deadline = time.time() + 10
        while changed == 0 and time.time() < deadline:
            time.sleep(0.3)
            later = browser.screenshot()
            difference = ImageChops.difference(first, later).convert("L")
            width = difference.width
            for at, value in enumerate(difference.getdata()):
                if not value:
                    continue
                changed += 1
                x, y = at % width, at // width
                if not any(left <= x < right and top <= y < bottom for left, top, right, bottom in rectangles):
                    outside += 1
                    where.append((x, y))
        check(changed > 0, "the unit's pictures did not change in 10 s of screenshots")
        check(outside == 0, "%d pixels changed outside the unit's pictures, at %s (pictures at %s)" %
              (outside, where[:6], [r for r in rectangles if any(abs(r[0] - x) < 3 or abs(r[2] - x) < 3 or
                                                                  abs(r[1] - y) < 3 or abs(r[3] - y) < 3
                                                                  for x, y in where[:6])][:4]))
        if args.screenshot:
            first.save(args.screenshot)

        # The sheet of REAP.SPR on the screen: each picture exactly as
        # extraction wrote it, its transparent pixels showing the figure.
        sheet_page = next(page for page in pages if "archive-" in page and "REAP_SPR" in page)
        browser.load("file://" + urllib.parse.quote(sheet_page))
        cells = browser.evaluate(
            "Array.from(document.querySelectorAll('figure img')).map(i => { const r = i.getBoundingClientRect();"
            " return [i.alt, r.left + window.scrollX, r.top + window.scrollY, r.width, r.height]; })")
        check(len(cells) == 45, "%d pictures on the sheet of REAP.SPR" % len(cells))
        for number, (alt, left, top, width, height) in enumerate(cells, start=1):
            extracted = Image.open(os.path.join(args.work, "REAP", "%04d.png" % number)).convert("RGBA")
            check(extracted.size == (int(width), int(height)), "picture %d: size %s on the page, %s extracted" %
                  (number, (width, height), extracted.size))
            shown = browser.screenshot({"x": left, "y": top, "width": width, "height": height})
            expected = Image.new("RGB", extracted.size, FIGURE_BACKGROUND)
            expected.paste(extracted, (0, 0), extracted)
            difference = ImageChops.difference(shown, expected).getbbox()
            check(difference is None, "picture %d (%s) differs on the screen from %04d.png in %s" %
                  (number, alt, number, difference))
    finally:
        browser.close()

    print("%d passed, %d failed" % (passed, failed))
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
