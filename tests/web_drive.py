#!/usr/bin/python3
"""Drives the page in a browser (tests/browser.py: chromium, the default,
firefox or webkit, as SQUAREFIELD_ENGINE says), as a visitor would meet it,
and prints what it saw as one JSON object.

  web_drive.py look URL OUT_DIR   load at 800x600 (the first frame's time),
                                  resize to 640x480 and to 1280x720 at a pixel
                                  ratio of 2 (the canvas's size after each),
                                  press Escape (how long the stop took, the
                                  status line, the cursor before and after);
                                  screenshots in OUT_DIR (after a resize two,
                                  2 s apart)
  web_drive.py rate URL           frames a second over 2 s, then Escape
  web_drive.py cpu URL W H        main-thread task time and the whole browser's
                                  CPU time over 10 s after 2 s, as shares of a core
  web_drive.py message URL        the status line 5 s after loading
  web_drive.py probe URL EXPR     EXPR's value 2 s after loading"""
import base64
import json
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from browser import open_page  # noqa: E402

# The program's own canvas (in a worker, the page's element only shows it).
CANVAS = "squarefield.report().then(r => r.canvas)"
FRAMES = "squarefield.report().then(r => r.framesDrawn)"
STATUS = "document.getElementById('status').hidden ? '' : document.getElementById('status').textContent"
RUNNING = "typeof squarefield == 'object' && squarefield.firstFrameAt > 0"


def tree_cpu(roots):
    """User and system time of processes and all their descendants, in seconds."""
    parents, times = {}, {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
        except OSError:
            continue
        parents[int(entry)] = int(fields[1])
        times[int(entry)] = int(fields[11]) + int(fields[12])
    family, grew = set(roots), True
    while grew:
        grew = False
        for pid, parent in parents.items():
            if parent in family and pid not in family:
                family.add(pid)
                grew = True
    return sum(times.get(pid, 0) for pid in family) / os.sysconf("SC_CLK_TCK")


def stop(page):
    """Presses Escape; how long until the page said it stopped, in ms."""
    page.evaluate("addEventListener('keydown', () => { window.escapeAt = performance.now(); }, true); 0")
    page.key("Escape")
    page.wait_for("squarefield.stoppedAt > 0", 10)
    took = page.evaluate("squarefield.stoppedAt - window.escapeAt")
    return round(took, 1) if isinstance(took, (int, float)) else None


def look(page, out):
    result = {"started": bool(page.wait_for(RUNNING, 10))}
    result["first_frame_ms"] = round(page.evaluate("squarefield.firstFrameAt"), 1)
    time.sleep(1.5)
    page.shot(os.path.join(out, "running.png"))
    for name, (width, height, scale) in (("small", (640, 480, 1)), ("dpr2", (1280, 720, 2))):
        page.resize(width, height, scale)
        page.wait_for(f"{CANVAS}.then(c => c[0] == {width * scale} && c[1] == {height * scale})", 5)
        time.sleep(1.5)  # the field spreads over the new size
        result[name] = page.evaluate(CANVAS)
        page.shot(os.path.join(out, name + ".png"))
        time.sleep(2)  # and again, for a slow machine
        page.shot(os.path.join(out, name + "-later.png"))
    cursor = "document.getElementById('canvas').style.cursor"
    result["cursor_running"] = page.evaluate(cursor)
    result["stop_ms"] = stop(page)
    result["status"] = page.evaluate(STATUS)
    result["cursor_stopped"] = page.evaluate(cursor)
    page.shot(os.path.join(out, "stopped-1.png"))
    time.sleep(0.5)
    page.shot(os.path.join(out, "stopped-2.png"))
    return result


def rate(page):
    page.wait_for(RUNNING, 10)
    time.sleep(1)
    first, start = page.evaluate(FRAMES), time.time()
    time.sleep(2)
    frames = (page.evaluate(FRAMES) - first) / (time.time() - start)
    return {"frames_per_second": round(frames), "stop_ms": stop(page)}


def cpu(page, width, height, ours=True):
    """The main thread's and the whole browser's CPU over 10 s; `ours`: the
    program's page (else any page, such as the yardstick: no frame count)."""
    if ours:
        page.wait_for(RUNNING, 10)
    time.sleep(2)
    drawn = FRAMES if ours else "0"
    frames, task, browser, start = (page.evaluate(drawn), page.task_seconds(), tree_cpu(page.pids), time.time())
    time.sleep(10)
    seconds = time.time() - start
    task_now = page.task_seconds()
    return {"size": f"{width}x{height}",
            "main_thread_percent": None if task is None else round(100 * (task_now - task) / seconds, 2),
            "browser_percent": round(100 * (tree_cpu(page.pids) - browser) / seconds, 1),
            "frames_per_second": round((page.evaluate(drawn) - frames) / seconds)}


def exact(page, out):
    """The canvas as it is between two frames of a seeded slow run, and the frame
    count; then a screenshot."""
    page.wait_for(RUNNING, 10)
    time.sleep(3)
    frames, url, read, in_worker = page.evaluate("""squarefield.report(true).then(r => new Promise(done => {
        const reader = new FileReader();
        reader.onload = () => done([r.framesDrawn, reader.result, r.picturesRead, r.inWorker]);
        reader.readAsDataURL(r.picture);
    }))""")
    with open(os.path.join(out, "canvas.png"), "wb") as f:
        f.write(base64.b64decode(url.split(",", 1)[1]))
    page.shot(os.path.join(out, "screen.png"))  # what is shown, a moment later
    stop(page)
    return {"frames": frames, "pictures_read": read, "in_worker": in_worker}


# The page as the browser hides it: document.hidden and a visibilitychange.
# (A headless browser shows every tab, and one on a bare X server minimises
# none: the browser's own hiding cannot be had here.)
HIDE = """(Object.defineProperty(document, 'hidden', {configurable: true, get: () => %s}),
document.dispatchEvent(new Event('visibilitychange')))"""


def hidden(page):
    """Hidden for 4 s: the frames drawn and the main thread's time while it
    is, and the frames in the 2 s after."""
    page.wait_for(RUNNING, 10)
    time.sleep(1)
    page.evaluate(HIDE % "true")
    time.sleep(1)
    frames, task, start = page.evaluate(FRAMES), page.task_seconds(), time.time()
    time.sleep(3)
    seconds = time.time() - start
    hidden_frames, task_now = page.evaluate(FRAMES) - frames, page.task_seconds()
    page.evaluate(HIDE % "false")
    back = page.evaluate(FRAMES)
    time.sleep(2)
    return {"frames_while_hidden": hidden_frames,
            "main_thread_percent_hidden": None if task is None else round(100 * (task_now - task) / seconds, 3),
            "frames_in_2s_after": page.evaluate(FRAMES) - back}


def message(page):
    return {"status": page.wait_for(STATUS, 5) or ""}


def probe(page, expression):
    page.wait_for(RUNNING + " || " + STATUS, 5)
    time.sleep(2)
    return {"value": page.evaluate(expression)}


def main():
    command, url = sys.argv[1], sys.argv[2]
    size = (int(sys.argv[3]), int(sys.argv[4])) if command in ("cpu", "cpu-other") else (800, 600)
    # A browser without WebAssembly's suspending, or one that cannot draw from
    # a worker, as far as a page can tell.
    before = []
    if os.environ.get("SQUAREFIELD_NO_SUSPENDING"):
        before.append("delete WebAssembly.Suspending; delete WebAssembly.promising;")
    if os.environ.get("SQUAREFIELD_NO_WORKER_CANVAS"):
        before.append("delete HTMLCanvasElement.prototype.transferControlToOffscreen;")
    page = open_page(os.environ.get("SQUAREFIELD_ENGINE", "chromium"), *size, before_load=before)
    try:
        page.navigate(url)
        if command == "look":
            result = look(page, sys.argv[3])
        elif command == "rate":
            result = rate(page)
        elif command == "cpu":
            result = cpu(page, *size)
        elif command == "hidden":
            result = hidden(page)
        elif command == "cpu-other":
            result = cpu(page, *size, ours=False)
        elif command == "exact":
            result = exact(page, sys.argv[3])
        elif command == "probe":
            result = probe(page, sys.argv[3])
        else:
            result = message(page)
    finally:
        page.close()
    print(json.dumps(result))


if __name__ == "__main__":
    main()
