#!/usr/bin/env python3
"""The search page of "vellumar-cli serve" in headless Chromium, driven through its DevTools protocol over
a pipe: a search typed into the box finds the photo with its thumbnail, a click opens it, one box per
named layer sits at the layer's position scaled to the size the photo is shown at (within a pixel), looks
like the toolbar band's boxes, and the Show/Hide button hides and shows them; names holding markup show as
text. Takes the two screenshots of the README.

    serve_browser.py CLI SOURCE_DIR BUILD_DIR [--screenshots DIR]

The screenshots land in BUILD_DIR/cli-tests/serve-browser, and also in DIR when given (docs/ for the
README).
"""
import base64
import fcntl
import json
import os
import select
import shutil
import subprocess
import sys
import tempfile
import time

from serve_support import HOSTILE_FILE, HOSTILE_LAYERS, Checks, Server, make_home

WIDTH, HEIGHT = 1000, 700
BAND_LOOK = {"backgroundColor": "rgb(255, 255, 170)", "borderTopWidth": "1px", "borderTopStyle": "solid",
             "fontSize": "12px", "position": "absolute"}


def chromium():
    for name in ("chromium", "chromium-browser", "google-chrome"):
        path = shutil.which(name)
        if path:
            return path
    sys.exit("no Chromium found")


class Browser:
    """Headless Chromium with the DevTools protocol on file descriptors 3 (commands) and 4 (answers)."""

    def __init__(self, profile):
        command_read, self.command_write = os.pipe()
        self.answer_read, answer_write = os.pipe()

        def child():
            # Above 9 first, so that moving them to 3 and 4 cannot overwrite one with the other.
            commands = fcntl.fcntl(command_read, fcntl.F_DUPFD, 10)
            answers = fcntl.fcntl(answer_write, fcntl.F_DUPFD, 10)
            os.dup2(commands, 3)
            os.dup2(answers, 4)

        self.process = subprocess.Popen(
            [chromium(), "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             "--hide-scrollbars", "--remote-debugging-pipe", "--user-data-dir=" + profile,
             f"--window-size={WIDTH},{HEIGHT}", "about:blank"],
            preexec_fn=child, close_fds=False, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        os.close(command_read)
        os.close(answer_write)
        self.buffer = b""
        self.events = []
        self.next_id = 0
        self.session = None

    def _read(self, deadline):
        while b"\0" not in self.buffer:
            left = deadline - time.monotonic()
            if left <= 0:
                raise TimeoutError("Chromium does not answer")
            ready, _, _ = select.select([self.answer_read], [], [], left)
            if ready:
                chunk = os.read(self.answer_read, 1 << 20)
                if not chunk:
                    raise RuntimeError("Chromium closed its pipe")
                self.buffer += chunk
        message, self.buffer = self.buffer.split(b"\0", 1)
        return json.loads(message)

    def send(self, method, timeout=30, **params):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params}
        if self.session and not method.startswith(("Target.", "Browser.")):
            message["sessionId"] = self.session
        os.write(self.command_write, json.dumps(message).encode() + b"\0")
        deadline = time.monotonic() + timeout
        while True:
            answer = self._read(deadline)
            if answer.get("id") == self.next_id:
                if "error" in answer:
                    raise RuntimeError(f"{method}: {answer['error']}")
                return answer.get("result", {})
            self.events.append(answer)

    def open_tab(self):
        target = self.send("Target.createTarget", url="about:blank")["targetId"]
        self.session = self.send("Target.attachToTarget", targetId=target, flatten=True)["sessionId"]
        self.send("Page.enable")
        self.send("Runtime.enable")
        self.send("Emulation.setDeviceMetricsOverride", width=WIDTH, height=HEIGHT, deviceScaleFactor=1,
                  mobile=False)

    def evaluate(self, expression):
        result = self.send("Runtime.evaluate", expression=expression, returnByValue=True, awaitPromise=True)
        if "exceptionDetails" in result:
            raise RuntimeError(f"{expression[:60]}: {result['exceptionDetails'].get('text')}")
        return result["result"].get("value")

    def wait_for(self, expression, timeout=20):
        """Polls until the expression is truthy; returns its value (None after the timeout)."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            try:
                value = self.evaluate(expression)
            except RuntimeError:  # the page is still the one before, or still loading
                value = None
            if value:
                return value
            time.sleep(0.05)
        return None

    def navigate(self, url):
        self.send("Page.navigate", url=url)

    def click(self, selector):
        box = self.evaluate(f"(() => {{ const r = document.querySelector({json.dumps(selector)})"
                            ".getBoundingClientRect(); return [r.left + r.width / 2, r.top + r.height / 2]; })()")
        for kind in ("mousePressed", "mouseReleased"):
            self.send("Input.dispatchMouseEvent", type=kind, x=box[0], y=box[1], button="left", clickCount=1)

    def type_search(self, text):
        self.evaluate("document.getElementById('q').select(), document.getElementById('q').focus()")
        self.send("Input.insertText", text=text)
        for kind in ("keyDown", "keyUp"):
            self.send("Input.dispatchKeyEvent", type=kind, key="Enter", code="Enter", windowsVirtualKeyCode=13,
                      text="\r" if kind == "keyDown" else "")

    def screenshot(self, path):
        data = self.send("Page.captureScreenshot", format="png")["data"]
        with open(path, "wb") as f:
            f.write(base64.b64decode(data))

    def close(self):
        try:
            self.send("Browser.close", timeout=5)
        except (RuntimeError, TimeoutError, OSError):
            pass
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


# What the page shows of a photo: the photo's rectangle, each box and region with its rectangle, text,
# child elements and computed look.
PHOTO_STATE = """(() => {
  const rect = (e) => { const r = e.getBoundingClientRect(); return [r.left, r.top, r.width, r.height]; };
  const look = (e) => { const s = getComputedStyle(e); return {backgroundColor: s.backgroundColor,
      borderTopWidth: s.borderTopWidth, borderTopStyle: s.borderTopStyle, fontSize: s.fontSize,
      position: s.position, display: s.display}; };
  const photo = document.getElementById('photo');
  return {photo: rect(photo), loaded: photo.complete && photo.naturalWidth > 0,
          boxes: [...document.querySelectorAll('#stage .tag-box')].map((e) => ({rect: rect(e),
              text: e.textContent, children: e.children.length, look: look(e)})),
          regions: [...document.querySelectorAll('#stage .tag-region')].map((e) => ({rect: rect(e),
              display: getComputedStyle(e).display})),
          toggle: document.getElementById('toggle').textContent,
          caption: document.getElementById('photo-caption').textContent};
})()"""


def expected_tags(server, photo_id):
    status, _, body = server.request(f"/api/photo/{photo_id}/tags")
    return json.loads(body) if status == 200 else None


def check_photo(t, browser, server, photo_id, name):
    """The boxes (and outlined rectangles) of one opened photo against its unscaled tags."""
    tags = expected_tags(server, photo_id)
    named = [layer for layer in tags["layers"] if layer is not None]
    rects = [layer for layer in named if layer["region"]["isRect"] == 1]
    state = browser.wait_for(f"(() => {{ const s = {PHOTO_STATE}; return s.loaded && "
                             f"s.boxes.length === {len(named)} ? s : null; }})()")
    if not t.check(state is not None, f"{name}: no photo with {len(named)} boxes"):
        return None
    left, top, width, height = state["photo"]
    t.check(abs(width / height - tags["size"][0] / tags["size"][1]) < 0.01 and width > tags["size"][0],
            f"{name}: shown at {width}x{height}, not scaled to the window")
    size_x, size_y = tags["size"]

    def scaled(value, shown, size):  # the tag library's rule: multiply, then divide, truncating
        if not size_x or not size_y:
            return value
        product = value * int(shown)
        return abs(product) // size * (1 if product >= 0 else -1)

    for layer, box in zip(named, state["boxes"]):
        x, y = left + scaled(layer["x"], width, size_x), top + scaled(layer["y"], height, size_y)
        t.check(abs(box["rect"][0] - x) <= 1 and abs(box["rect"][1] - y) <= 1,
                f"{name}: box {layer['name']!r} at {box['rect'][:2]}, expected {x}, {y}")
        t.check(box["text"] == layer["name"] and box["children"] == 0,
                f"{name}: box text {box['text']!r} ({box['children']} elements), expected {layer['name']!r}")
        look = {key: box["look"][key] for key in BAND_LOOK}
        t.check(look == BAND_LOOK and box["look"]["display"] != "none", f"{name}: box look {box['look']}")
    t.check(len(state["regions"]) == len(rects), f"{name}: {len(state['regions'])} outlined rectangles, "
            f"expected {len(rects)}")
    for layer, region in zip(rects, state["regions"]):
        r = layer["region"]
        expected = [left + scaled(r["left"], width, size_x), top + scaled(r["top"], height, size_y),
                    scaled(r["width"], width, size_x), scaled(r["height"], height, size_y)]
        t.check(all(abs(a - b) <= 1 for a, b in zip(region["rect"], expected)),
                f"{name}: rectangle of {layer['name']!r} at {region['rect']}, expected {expected}")
    caption = tags["caption"]["text"] if tags["caption"] else ""
    t.check(state["caption"] == caption, f"{name}: caption {state['caption']!r}, expected {caption!r}")
    return state


def main():
    cli, source_dir, build_dir = sys.argv[1:4]
    shots = sys.argv[sys.argv.index("--screenshots") + 1] if "--screenshots" in sys.argv else None
    work = os.path.join(build_dir, "cli-tests", "serve-browser")
    _, home = make_home(cli, source_dir, work)
    t = Checks()
    server = Server(cli, "--home", home, "--codepage", "1252")
    profile = tempfile.mkdtemp(prefix="vellumar-chromium-")
    browser = Browser(profile)
    try:
        browser.open_tab()
        browser.navigate(server.url)
        t.check(browser.wait_for("document.getElementById('status').textContent.includes('in the index')"),
                "the page does not show the index's size")

        # A search typed into the box, as a user does.
        browser.type_search("packet")
        t.check(browser.wait_for("document.querySelectorAll('.hit .thumb').length >= 5 && "
                                 "[...document.querySelectorAll('.thumb')].every((i) => i.complete && "
                                 "i.naturalWidth === 100)"), "the thumbnails of 'packet' do not load")
        browser.screenshot(os.path.join(work, "serve-search.png"))
        browser.type_search("lake")
        hit = browser.wait_for("""(() => { const hits = document.querySelectorAll('.hit');
            const thumb = document.querySelector('.hit .thumb');
            if (hits.length !== 1 || !thumb.complete || location.search !== '?q=lake') return null;
            return {name: hits[0].querySelector('.hit-name').textContent,
                    caption: hits[0].querySelector('.hit-caption').textContent,
                    layers: hits[0].querySelector('.hit-layers').textContent,
                    thumb: [thumb.naturalWidth, thumb.naturalHeight, thumb.getAttribute('src')],
                    status: document.getElementById('status').textContent}; })()""")
        t.check(hit is not None and hit["name"] == "packet_search_words.jpg" and
                hit["caption"] == "Summer at the lake" and hit["layers"] == "Grandma \u00b7 Lighthouse" and
                hit["thumb"][:2] == [100, 100] and hit["status"].startswith("1 photo found in "),
                f"the hit of 'lake': {hit}")

        # The photo: opened by a click, its boxes, and the button that hides and shows them.
        browser.click(".hit a")
        t.check(browser.wait_for("location.search.includes('photo=')"), "a click does not open the photo")
        photo_id = browser.evaluate("new URLSearchParams(location.search).get('photo')")
        if check_photo(t, browser, server, photo_id, "packet_search_words.jpg"):
            browser.click("#toggle")
            hidden = browser.wait_for(f"(() => {{ const s = {PHOTO_STATE}; return s.boxes.every((b) => "
                                      "b.look.display === 'none') && s.toggle === 'Show' ? s : null; })()")
            t.check(hidden is not None, "the button does not hide the boxes")
            browser.click("#toggle")
            shown = browser.wait_for(f"(() => {{ const s = {PHOTO_STATE}; return s.boxes.every((b) => "
                                     "b.look.display !== 'none') && s.toggle === 'Hide' ? s : null; })()")
            t.check(shown is not None, "the button does not show the boxes again")

        # A photo with rectangles, opened from its address, for the second screenshot.
        status, _, body = server.request("/api/search?q=packet_regions")
        regions_id = json.loads(body)["hits"][0]["id"]
        browser.navigate(f"{server.url}?q=packet&photo={regions_id}")
        if check_photo(t, browser, server, regions_id, "packet_regions.jpg"):
            browser.screenshot(os.path.join(work, "serve-photo.png"))

        # Names that hold markup are text.
        browser.navigate(server.url + "?q=script")
        names = browser.wait_for("""(() => { const hit = document.querySelector('.hit');
            if (!hit) return null;
            return {name: hit.querySelector('.hit-name').textContent,
                    layers: hit.querySelector('.hit-layers').textContent,
                    images: hit.querySelectorAll('img').length, scripts: document.scripts.length,
                    pwned: typeof window.pwned, title: document.title}; })()""")
        t.check(names == {"name": HOSTILE_FILE, "layers": " \u00b7 ".join(HOSTILE_LAYERS), "images": 1,
                          "scripts": 1, "pwned": "undefined", "title": "Vellumar search"},
                f"markup in the names of a hit: {names}")
        browser.click(".hit a")
        state = browser.wait_for(f"(() => {{ const s = {PHOTO_STATE}; return s.boxes.length === "
                                 f"{len(HOSTILE_LAYERS)} ? s : null; }})()")
        t.check(state is not None and [b["text"] for b in state["boxes"]] == HOSTILE_LAYERS and
                all(b["children"] == 0 for b in state["boxes"]), f"markup in the boxes: {state}")
        time.sleep(0.3)  # an injected handler would have run by now
        after = browser.evaluate("[typeof window.pwned, document.scripts.length, document.title]")
        t.check(after == ["undefined", 1, HOSTILE_FILE + " \u2014 Vellumar search"], f"markup of a name ran: {after}")

        # A record whose file is no longer a JPEG: the page says why it shows no photo.
        status, _, body = server.request("/api/search?q=no_packet_comment")
        hit = json.loads(body)["hits"][0]
        with open(hit["path"], "wb") as f:
            f.write(b"GIF89a")
        browser.navigate(f"{server.url}?photo={hit['id']}")
        notice = browser.wait_for("document.getElementById('notice').textContent")
        t.check(notice is not None and "not a JPEG" in notice, f"the page's notice for a file that is no JPEG: {notice}")
    finally:
        browser.close()
        shutil.rmtree(profile, ignore_errors=True)
        status = server.stop()
    t.check(status == 130, f"the server ended with {status}")
    for shot in ("serve-search.png", "serve-photo.png"):
        path = os.path.join(work, shot)
        if t.check(os.path.exists(path), f"no screenshot {shot}") and shots:
            shutil.copy(path, os.path.join(shots, shot))
    return t.result("serve_browser")


if __name__ == "__main__":
    sys.exit(main())
