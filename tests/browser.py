"""A browser driven as a visitor's would be, for the page's tests and its
benchmark: one browser with a profile of its own, one page, in any of three
engines behind one interface (open_page):
  chromium  headless, over the DevTools protocol
  firefox   firefox-esr headless, over WebDriver BiDi
  webkit    WebKitGTK's MiniBrowser under an Xvfb of its own, over W3C WebDriver
Expressions given to evaluate are expressions (not statements); a promise's
value is awaited; the value comes back as JSON would carry it."""
import base64
import json
import os
import re
import shutil
import socket
import subprocess
import tempfile
import time
import urllib.error
import urllib.request

import websocket  # Debian: python3-websocket

ENGINES = ("chromium", "firefox", "webkit")
KEYS = {"Escape": "\ue00c"}  # WebDriver's code points for the keys that have no character


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def connect(url, seconds=30, **options):
    deadline = time.time() + seconds
    while True:
        try:
            return websocket.create_connection(url, timeout=60, **options)
        except (ConnectionError, OSError, websocket.WebSocketException):
            if time.time() > deadline:
                raise
            time.sleep(0.2)


class Browser:
    """What every engine does; `pids` root the processes whose CPU is the browser's."""
    engine = ""

    def wait_for(self, expression, seconds):
        deadline = time.time() + seconds
        while time.time() < deadline:
            value = self.evaluate(expression)
            if value:
                return value
            time.sleep(0.02)
        return None

    def task_seconds(self):
        """The page's main-thread task time so far in seconds, where the engine tells it."""
        return None

    def stop(self, process):
        try:
            process.terminate()
            process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


class Chromium(Browser):
    engine = "chromium"

    def __init__(self, width, height, before_load=()):
        self.profile = tempfile.mkdtemp()
        self.process = subprocess.Popen(
            ["chromium", "--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run",
             "--remote-debugging-address=127.0.0.1", "--remote-debugging-port=0",
             f"--user-data-dir={self.profile}", f"--window-size={width},{height}", "about:blank"],
            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        self.pids = [self.process.pid]
        endpoint = None
        deadline = time.time() + 30
        while time.time() < deadline and endpoint is None:
            line = self.process.stderr.readline()
            if not line and self.process.poll() is not None:
                break
            match = re.search(r"DevTools listening on (ws://\S+)", line)
            if match:
                endpoint = match.group(1)
        if endpoint is None:
            self.close()
            raise SystemExit("chromium did not start")
        self.ws = websocket.create_connection(endpoint, timeout=60)
        self.ids = iter(range(1, 1 << 30))
        self.session = None
        target = self.call("Target.createTarget", url="about:blank")["targetId"]
        self.session = self.call("Target.attachToTarget", targetId=target, flatten=True)["sessionId"]
        self.resize(width, height)
        self.call("Page.enable")
        for source in before_load:
            self.call("Page.addScriptToEvaluateOnNewDocument", source=source)
        self.call("Performance.enable", timeDomain="threadTicks")
        self.call("Emulation.setFocusEmulationEnabled", enabled=True)

    def call(self, method, **params):
        request = {"id": next(self.ids), "method": method, "params": params}
        if self.session:
            request["sessionId"] = self.session
        self.ws.send(json.dumps(request))
        while True:
            reply = json.loads(self.ws.recv())
            if reply.get("id") == request["id"]:
                if "error" in reply:
                    raise RuntimeError(f"{method}: {reply['error']}")
                return reply.get("result", {})

    def resize(self, width, height, scale=1):
        self.call("Emulation.setDeviceMetricsOverride", width=width, height=height,
                  deviceScaleFactor=scale, mobile=False)

    def navigate(self, url):
        self.call("Page.navigate", url=url)

    def evaluate(self, expression):
        result = self.call("Runtime.evaluate", expression=expression, returnByValue=True,
                           awaitPromise=True)["result"]
        return result.get("value")

    def shot(self, path):
        with open(path, "wb") as f:
            f.write(base64.b64decode(self.call("Page.captureScreenshot", format="png")["data"]))

    def key(self, name):
        code = 27 if name == "Escape" else ord(name.upper())
        for kind in ("keyDown", "keyUp"):
            self.call("Input.dispatchKeyEvent", type=kind, key=name, code=name if name == "Escape" else "Key" + name.upper(),
                      windowsVirtualKeyCode=code, nativeVirtualKeyCode=code, **({} if name == "Escape" else {"text": name}))

    def task_seconds(self):
        metrics = self.call("Performance.getMetrics")["metrics"]
        return next(m["value"] for m in metrics if m["name"] == "TaskDuration")

    def close(self):
        self.stop(self.process)
        shutil.rmtree(self.profile, ignore_errors=True)


def remote_value(value):
    """A WebDriver BiDi remote value as JSON would carry it."""
    kind, inner = value["type"], value.get("value")
    if kind == "array":
        return [remote_value(v) for v in inner]
    if kind == "object":
        return {k if isinstance(k, str) else remote_value(k): remote_value(v) for k, v in inner}
    if kind == "number" and isinstance(inner, str):
        return None  # NaN, Infinity, -0
    return inner if kind in ("string", "number", "boolean") else None


class Firefox(Browser):
    engine = "firefox"

    def __init__(self, width, height, before_load=()):
        self.profile = tempfile.mkdtemp()
        port = free_port()
        self.process = subprocess.Popen(
            ["firefox-esr", "--headless", "--no-remote", f"--remote-debugging-port={port}",
             "--profile", self.profile, "about:blank"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.pids = [self.process.pid]
        # Firefox refuses a connection that names an origin.
        self.ws = connect(f"ws://127.0.0.1:{port}/session", suppress_origin=True)
        self.ids = iter(range(1, 1 << 30))
        self.call("session.new", capabilities={})
        self.context = self.call("browsingContext.getTree")["contexts"][0]["context"]
        for source in before_load:
            self.call("script.addPreloadScript", functionDeclaration=f"() => {{ {source} }}")
        self.resize(width, height)

    def call(self, method, **params):
        request = {"id": next(self.ids), "method": method, "params": params}
        self.ws.send(json.dumps(request))
        while True:
            reply = json.loads(self.ws.recv())
            if reply.get("id") == request["id"]:
                if reply.get("type") == "error":
                    raise RuntimeError(f"{method}: {reply.get('error')}: {reply.get('message')}")
                return reply.get("result", {})

    def resize(self, width, height, scale=1):
        self.call("browsingContext.setViewport", context=self.context,
                  viewport={"width": width, "height": height}, devicePixelRatio=scale)

    def navigate(self, url):
        self.call("browsingContext.navigate", context=self.context, url=url, wait="none")

    def evaluate(self, expression):
        reply = self.call("script.evaluate", expression=expression, target={"context": self.context},
                          awaitPromise=True, resultOwnership="none")
        if reply.get("type") != "success":
            return None
        return remote_value(reply["result"])

    def shot(self, path):
        with open(path, "wb") as f:
            f.write(base64.b64decode(self.call("browsingContext.captureScreenshot", context=self.context)["data"]))

    def key(self, name):
        value = KEYS.get(name, name)
        self.call("input.performActions", context=self.context, actions=[
            {"type": "key", "id": "keyboard", "actions": [{"type": "keyDown", "value": value},
                                                          {"type": "keyUp", "value": value}]}])

    def close(self):
        try:
            self.call("session.end")
        except Exception:  # noqa: BLE001 (the browser may be gone already)
            pass
        self.stop(self.process)
        shutil.rmtree(self.profile, ignore_errors=True)


MINIBROWSER = "/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser"


class WebKit(Browser):
    """MiniBrowser has no headless mode: it shows its window on an Xvfb of
    this page's own, whose CPU counts as the browser's."""
    engine = "webkit"

    def __init__(self, width, height, before_load=()):
        if before_load:
            raise SystemExit("webkit: no script can run before the page's own here")
        read, write = os.pipe()
        self.xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-noreset", "-nolisten", "tcp",
                                      "-screen", "0", "3900x2300x24"], pass_fds=(write,),
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write)
        # Xvfb writes the number and its newline apart, and dies if the pipe
        # is closed between them: read up to the newline.
        display = b""
        while not display.endswith(b"\n"):
            part = os.read(read, 16)
            if not part:
                break
            display += part
        os.close(read)
        display = display.decode().strip()
        if not display:
            self.stop(self.xvfb)
            raise SystemExit("webkit: Xvfb did not start")
        port = free_port()
        environment = dict(os.environ, DISPLAY=":" + display)
        self.driver = subprocess.Popen(["WebKitWebDriver", f"--port={port}"], env=environment,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.pids = [self.driver.pid, self.xvfb.pid]  # MiniBrowser is the driver's
        self.base = f"http://127.0.0.1:{port}"
        deadline = time.time() + 30
        while True:
            try:
                reply = self.request("POST", "/session", {"capabilities": {"alwaysMatch": {
                    "webkitgtk:browserOptions": {"binary": MINIBROWSER, "args": ["--automation"]}}}})
                break
            except (ConnectionError, urllib.error.URLError):
                if time.time() > deadline:
                    self.close()
                    raise SystemExit("WebKitWebDriver did not start")
                time.sleep(0.2)
        self.session = "/session/" + reply["sessionId"]
        self.resize(width, height)

    def request(self, method, path, body=None):
        data = json.dumps(body).encode() if body is not None else None
        request = urllib.request.Request(self.base + path, data=data, method=method,
                                         headers={"Content-Type": "application/json"})
        try:
            with urllib.request.urlopen(request, timeout=120) as reply:
                return json.loads(reply.read())["value"]
        except urllib.error.HTTPError as e:
            raise RuntimeError(f"{method} {path}: {e.read().decode()[:300]}") from None

    def resize(self, width, height, scale=1):
        if scale != 1:
            raise SystemExit("webkit: the pixel ratio is the display's own here")
        # The window's size is asked; the page's is less the browser's own bars.
        self.request("POST", self.session + "/window/rect", {"width": width, "height": height})
        inner = self.request("POST", self.session + "/execute/sync",
                             {"script": "return [outerWidth - innerWidth, outerHeight - innerHeight]", "args": []})
        self.request("POST", self.session + "/window/rect", {"width": width + inner[0], "height": height + inner[1]})

    def navigate(self, url):
        # Navigation waits for the page's load: a page that never loads is the test's to see.
        try:
            self.request("POST", self.session + "/url", {"url": url})
        except RuntimeError:
            pass

    def evaluate(self, expression):
        script = ("const done = arguments[arguments.length - 1];"
                  f"Promise.resolve().then(() => ({expression}))"
                  ".then(v => done(v === undefined ? null : v), e => done(null));")
        try:
            return self.request("POST", self.session + "/execute/async", {"script": script, "args": []})
        except RuntimeError:
            return None

    def shot(self, path):
        with open(path, "wb") as f:
            f.write(base64.b64decode(self.request("GET", self.session + "/screenshot")))

    def key(self, name):
        value = KEYS.get(name, name)
        self.request("POST", self.session + "/actions", {"actions": [
            {"type": "key", "id": "keyboard", "actions": [{"type": "keyDown", "value": value},
                                                          {"type": "keyUp", "value": value}]}]})

    def close(self):
        try:
            self.request("DELETE", self.session)
        except Exception:  # noqa: BLE001 (the browser may be gone already)
            pass
        self.stop(self.driver)
        self.stop(self.xvfb)


def open_page(engine, width=800, height=600, before_load=()):
    """A browser of ENGINE showing an empty page of WIDTHxHEIGHT CSS pixels;
    before_load: scripts run in every new document before its own."""
    kinds = {"chromium": Chromium, "firefox": Firefox, "webkit": WebKit}
    if engine not in kinds:
        raise SystemExit(f"no engine '{engine}': {', '.join(ENGINES)}")
    return kinds[engine](width, height, before_load)
