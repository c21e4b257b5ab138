"""A headless Chromium driven over the DevTools protocol, for the page's test
and its benchmark: one browser with a profile of its own, one page."""
import base64
import json
import os
import re
import shutil
import subprocess
import tempfile
import time

import websocket  # Debian: python3-websocket


class Page:
    def __init__(self, width=800, height=600, scale=1):
        self.profile = tempfile.mkdtemp()
        self.browser = subprocess.Popen(
            ["chromium", "--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run",
             "--remote-debugging-address=127.0.0.1", "--remote-debugging-port=0",
             f"--user-data-dir={self.profile}", f"--window-size={width},{height}", "about:blank"],
            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        endpoint = None
        deadline = time.time() + 30
        while time.time() < deadline and endpoint is None:
            line = self.browser.stderr.readline()
            if not line and self.browser.poll() is not None:
                break
            match = re.search(r"DevTools listening on (ws://\S+)", line)
            if match:
                endpoint = match.group(1)
        if endpoint is None:
            self.close()
            raise SystemExit("chromium did not start")
        self.ws = websocket.create_connection(endpoint, timeout=60)
        self.ids = iter(range(1, 1 << 30))
        self.events = []
        self.session = None
        target = self.call("Target.createTarget", url="about:blank")["targetId"]
        self.session = self.call("Target.attachToTarget", targetId=target, flatten=True)["sessionId"]
        self.resize(width, height, scale)
        self.call("Page.enable")
        # A browser without WebAssembly's suspending, as far as a page can tell.
        if os.environ.get("SQUAREFIELD_NO_SUSPENDING"):
            self.call("Page.addScriptToEvaluateOnNewDocument",
                      source="delete WebAssembly.Suspending; delete WebAssembly.promising;")
        # One that cannot draw from a worker.
        if os.environ.get("SQUAREFIELD_NO_WORKER_CANVAS"):
            self.call("Page.addScriptToEvaluateOnNewDocument",
                      source="delete HTMLCanvasElement.prototype.transferControlToOffscreen;")
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
            self.events.append(reply)

    def resize(self, width, height, scale=1):
        self.call("Emulation.setDeviceMetricsOverride", width=width, height=height,
                  deviceScaleFactor=scale, mobile=False)

    def navigate(self, url):
        self.call("Page.navigate", url=url)

    def evaluate(self, expression):
        # A promise's value once it settles.
        result = self.call("Runtime.evaluate", expression=expression, returnByValue=True,
                           awaitPromise=True)["result"]
        return result.get("value")

    def wait_for(self, expression, seconds):
        deadline = time.time() + seconds
        while time.time() < deadline:
            value = self.evaluate(expression)
            if value:
                return value
            time.sleep(0.02)
        return None

    def shot(self, path):
        data = self.call("Page.captureScreenshot", format="png")["data"]
        with open(path, "wb") as f:
            f.write(base64.b64decode(data))

    def key(self, name="Escape", code=27):
        for kind in ("keyDown", "keyUp"):
            self.call("Input.dispatchKeyEvent", type=kind, key=name, code=name,
                      windowsVirtualKeyCode=code, nativeVirtualKeyCode=code)

    def task_seconds(self):
        """The page's main-thread task time so far, in seconds."""
        metrics = self.call("Performance.getMetrics")["metrics"]
        return next(m["value"] for m in metrics if m["name"] == "TaskDuration")

    def close(self):
        try:
            self.browser.terminate()
            self.browser.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.browser.kill()
        shutil.rmtree(self.profile, ignore_errors=True)
