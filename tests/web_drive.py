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
  web_drive.py probe URL EXPR     EXPR's value 2 s after loading
  web_drive.py ratio URL OUT_DIR  the canvas's size after the pixel ratio alone
                                  goes from 1 to 2 and back (a screenshot at 2)
  web_drive.py frozen URL         frames drawn while the page is frozen 3 s,
                                  and in the 2 s after it resumes
  web_drive.py still URL OUT_DIR  with reduced motion asked for (Chromium): the
                                  frames and status line before a key, the
                                  canvas then, the frames 2 s after a key
  web_drive.py shot URL OUT_DIR   a screenshot 3 s after loading"""
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
    sizes = (("small", (640, 480, 1)), ("dpr2", (1280, 720, 2)))
    for name, (width, height, scale) in sizes[:1] if page.engine == "webkit" else sizes:
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
    # Which program, and where, beside what the browser offers.
    offers = page.evaluate("""[squarefield.program, typeof WebAssembly.Suspending == 'function',
        !!HTMLCanvasElement.prototype.transferControlToOffscreen]""")
    return {"frames": frames, "pictures_read": read, "in_worker": in_worker, "status": page.evaluate(STATUS),
            "program": offers[0], "suspends": offers[1], "worker_canvas": offers[2]}


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


def ratio(page, out):
    """The same size in CSS pixels, at ratio 2 and back at 1 (a window moved
    to a monitor of another scale and back)."""
    page.wait_for(RUNNING, 10)
    sizes = {}
    for name, scale in (("ratio2", 2), ("ratio1", 1)):
        time.sleep(1)
        page.resize(800, 600, scale)
        page.wait_for(f"{CANVAS}.then(c => c[0] == {800 * scale} && c[1] == {600 * scale})", 5)
        sizes[name] = page.evaluate(CANVAS)
        if scale == 2:
            time.sleep(1.5)
            page.shot(os.path.join(out, "ratio2.png"))
    return sizes


def frozen(page):
    """The page as the browser freezes it: a freeze, and a resume after 3 s.
    (DevTools' lifecycle state freezes nothing of a headless page here: its
    timers keep running and neither event fires.)"""
    page.wait_for(RUNNING, 10)
    time.sleep(1)
    before = page.evaluate(FRAMES)
    page.evaluate("document.dispatchEvent(new Event('freeze'))")
    time.sleep(3)
    page.evaluate("document.dispatchEvent(new Event('resume'))")
    after = page.evaluate(FRAMES)
    time.sleep(2)
    return {"frames_while_frozen": after - before, "frames_in_2s_after": page.evaluate(FRAMES) - after}


def still(page, out):
    page.wait_for(RUNNING, 10)
    time.sleep(2)
    frames, picture, status = page.evaluate("""squarefield.report(true).then(r => new Promise(done => {
        const reader = new FileReader();
        reader.onload = () => done([r.framesDrawn, reader.result, """ + STATUS + """]);
        reader.readAsDataURL(r.picture);
    }))""")
    with open(os.path.join(out, "still.png"), "wb") as f:
        f.write(base64.b64decode(picture.split(",", 1)[1]))
    page.key("a")
    time.sleep(2)
    return {"frames_before_key": frames, "status_before_key": status,
            "frames_after_key": page.evaluate(FRAMES) - frames, "status_after_key": page.evaluate(STATUS)}


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
        if command == "still":
            page.call("Emulation.setEmulatedMedia", features=[{"name": "prefers-reduced-motion", "value": "reduce"}])
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
        elif command == "ratio":
            result = ratio(page, sys.argv[3])
        elif command == "frozen":
            result = frozen(page)
        elif command == "still":
            result = still(page, sys.argv[3])
        elif command == "shot":
            page.wait_for(RUNNING, 3)
            time.sleep(3)
            page.shot(os.path.join(sys.argv[3], "shot.png"))
            result = {}
        elif command == "probe":
            result = probe(page, sys.argv[3])
        else:
            result = message(page)
    finally:
        page.close()
    print(json.dumps(result))


if __name__ == "__main__":
    main()
