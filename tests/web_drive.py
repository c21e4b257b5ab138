#!/usr/bin/python3
"""Drives the page in headless Chromium over the DevTools protocol, as a user
would meet it: load it at a fixed size, look, press Escape, look again.

Usage: web_drive.py URL OUT_DIR
Writes OUT_DIR/running.png, stopped-1.png, stopped-2.png and prints one JSON
object: the status line after Escape and the frames drawn per second."""
import base64
import json
import os
import re
import subprocess
import sys
import tempfile
import time

import websocket  # Debian: python3-websocket


def main():
    url, out = sys.argv[1], sys.argv[2]
    profile = tempfile.mkdtemp()
    browser = subprocess.Popen(
        ["chromium", "--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run",
         "--remote-debugging-address=127.0.0.1", "--remote-debugging-port=0",
         f"--user-data-dir={profile}", "--window-size=800,600", "about:blank"],
        stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    try:
        endpoint = None
        deadline = time.time() + 30
        while time.time() < deadline and endpoint is None:
            line = browser.stderr.readline()
            match = re.search(r"DevTools listening on (ws://\S+)", line)
            if match:
                endpoint = match.group(1)
        if endpoint is None:
            raise SystemExit("chromium did not start")
        ws = websocket.create_connection(endpoint, timeout=30)
        ids = iter(range(1, 1 << 30))

        def call(method, session=None, **params):
            request = {"id": next(ids), "method": method, "params": params}
            if session:
                request["sessionId"] = session
            ws.send(json.dumps(request))
            while True:
                reply = json.loads(ws.recv())
                if reply.get("id") == request["id"]:
                    if "error" in reply:
                        raise RuntimeError(f"{method}: {reply['error']}")
                    return reply.get("result", {})

        target = call("Target.createTarget", url="about:blank")["targetId"]
        page = call("Target.attachToTarget", targetId=target, flatten=True)["sessionId"]
        call("Emulation.setDeviceMetricsOverride", page, width=800, height=600, deviceScaleFactor=1, mobile=False)
        call("Page.enable", page)
        call("Page.navigate", page, url=url)
        call("Emulation.setFocusEmulationEnabled", page, enabled=True)

        def shot(name):
            data = call("Page.captureScreenshot", page, format="png")["data"]
            with open(os.path.join(out, name), "wb") as f:
                f.write(base64.b64decode(data))

        def evaluate(expression):
            return call("Runtime.evaluate", page, expression=expression, returnByValue=True)["result"].get("value")

        time.sleep(3)
        first = evaluate("Module.framesDrawn || 0")
        time.sleep(2)
        rate = ((evaluate("Module.framesDrawn || 0") or 0) - (first or 0)) / 2
        shot("running.png")
        for kind in ("keyDown", "keyUp"):
            call("Input.dispatchKeyEvent", page, type=kind, key="Escape", code="Escape",
                 windowsVirtualKeyCode=27, nativeVirtualKeyCode=27)
        time.sleep(1)
        status = evaluate("document.getElementById('status').hidden ? '' : document.getElementById('status').textContent")
        shot("stopped-1.png")
        time.sleep(0.5)
        shot("stopped-2.png")
        print(json.dumps({"status": status, "frames_per_second": rate}))
    finally:
        browser.terminate()
        browser.wait(timeout=10)


if __name__ == "__main__":
    main()
