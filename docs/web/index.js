// The page: reads its address, starts the program on the canvas (in a worker
// where it can, else beside the page) and passes it the visitor's keys, the
// canvas's size and whether anything of it is seen.
"use strict";
(() => {
  function say(text) {
    const status = document.getElementById("status");
    status.textContent = text;
    status.hidden = !text;
  }
  // What a Content-Security-Policy refused, by directive, to name it when nothing can run.
  const refused = new Set();
  document.addEventListener("securitypolicyviolation", event => refused.add(event.effectiveDirective));

  // Where the browser can suspend WebAssembly the program waits that way, at a
  // third less cost a frame; elsewhere it unwinds and rewinds its own stack.
  const suspends = typeof WebAssembly == "object" && typeof WebAssembly.Suspending == "function" &&
                   typeof WebAssembly.promising == "function";
  const program = suspends ? "page" : "page-asyncify";
  const failedToLoad = `squarefield could not start: its program (${program}.wasm) is missing or damaged. Reload the page to try again.`;

  // The address carries the options: ?fps=N (0: unpaced; without it, one frame
  // per display refresh), ?seed=N (a repeatable field) and ?motion=1 (moving at
  // once even where the visitor asked for reduced motion; 0: never at once).
  // In any case; one given twice is ambiguous, and refused. Other parameters
  // are the address's own business.
  const args = [];
  let problem = "", motion = "";
  const given = new Map();
  for (const [key, value] of new URLSearchParams(location.search)) {
    const name = key.toLowerCase();
    if (name != "fps" && name != "seed" && name != "motion") continue;
    const told = `${key}=${encodeURIComponent(value)}`;
    if (given.has(name)) {
      problem = `the page's address gives ${name} twice (${given.get(name)} and ${told}): give it once.`;
      break;
    }
    given.set(name, told);
    // The program reads a value as a C string: a NUL would end it early.
    if (/[\u0000-\u001f\u007f]/.test(value)) {
      problem = `the page's address, ${told}: a value cannot hold control characters.`;
      break;
    }
    if (name == "motion") {
      if (value != "0" && value != "1") {
        problem = `the page's address, ${told}: '${value}' is not 0 or 1.`;
        break;
      }
      motion = value;
      continue;
    }
    args.push(name, value);
  }
  // A browser refuses a file's page its program: it has to come from a server.
  if (location.protocol == "file:")
    problem = "squarefield must be served, not opened as a file: in this folder run  python3 -m http.server  and open http://localhost:8000/";
  // Asked for reduced motion, the page shows the first frame and waits for the visitor.
  const still = motion == "0" || (motion != "1" && matchMedia("(prefers-reduced-motion: reduce)").matches);

  // What the page knows of the program, for whoever tests it: when its first
  // frame was drawn and when it stopped (this thread's time), and report(),
  // the program's own count of frames (with its picture if asked).
  const squarefield = window.squarefield = { firstFrameAt: 0, stoppedAt: 0, reports: [], program };
  let canvas = document.getElementById("canvas");
  // The canvas's size in device pixels, so the squares are the display's own pixels.
  function measure() {
    const box = canvas.getBoundingClientRect(), ratio = window.devicePixelRatio || 1;
    return [Math.max(1, Math.round(box.width * ratio)), Math.max(1, Math.round(box.height * ratio))];
  }
  // The reason nothing can run, where a policy gave one.
  function blocked() {
    if (refused.has("script-src") || refused.has("script-src-elem"))
      return "squarefield cannot run on this page: its Content-Security-Policy (script-src) does not allow its scripts.";
    // A sandboxed frame's documents have no origin: the server must let any origin fetch the program.
    if (window.origin === "null" && squarefield.failed.endsWith(".wasm"))
      return `squarefield could not start: in a sandboxed frame it can fetch its program (${squarefield.failed}) only where the server allows any origin (Access-Control-Allow-Origin: *).`;
    return "";
  }
  // What the program says.
  function hear(message) {
    if (message.ready) return;
    if (message.say) say(message.say);
    // The first file found missing or damaged is the one to name.
    if (message.failed && !squarefield.firstFrameAt && !squarefield.failed) {
      squarefield.failed = message.failed;
      say(blocked() || failedToLoad.replace(program + ".wasm", message.failed));
    }
    if ("cursor" in message) canvas.style.cursor = message.cursor;
    if (message.firstFrame) {
      squarefield.firstFrameAt = performance.now();
      if (still) say("Press a key or click to start.");
    }
    if (message.stopped) {
      canvas.style.cursor = "";
      squarefield.stoppedAt = performance.now();
      say(message.stopped);
    }
    if (message.report) squarefield.reports.shift()(message.report);
  }
  // Whether the browser can draw in 2D from a worker (some drew only in 3D
  // from a worker at first).
  function drawsInWorker() {
    try {
      return !!(canvas.transferControlToOffscreen && typeof Worker == "function" &&
                new OffscreenCanvas(1, 1).getContext("2d"));
    } catch (e) {
      return false;
    }
  }
  function inPage(start) {
    start.canvas = canvas;
    let take = null;
    const pending = [];
    const script = document.createElement("script");
    script.src = "program.js";
    script.onerror = () => hear({failed: "program.js"});
    script.onload = () => {
      take = startProgram(start, hear);
      pending.forEach(take);
      const module = document.createElement("script");
      module.src = program + ".js";
      module.onerror = () => hear({failed: program + ".js"});
      document.body.appendChild(module);
    };
    document.body.appendChild(script);
    return message => take ? take(message) : pending.push(message);
  }
  // The program in a worker; where none can be made (a sandboxed frame's opaque
  // origin, a policy's worker-src) or it fails before its script runs, beside
  // the page instead, on a canvas of its own (this one's is the worker's).
  function inWorker(start) {
    let worker;
    try {
      worker = new Worker("program.js");
    } catch (e) {
      return inPage(start);
    }
    let tell = message => worker.postMessage(message), ready = false;
    start.canvas = canvas.transferControlToOffscreen();
    worker.postMessage(start, [start.canvas]);
    worker.onmessage = event => {
      ready = true;
      hear(event.data);
    };
    worker.onerror = () => {
      if (ready) return hear({failed: "program.js"});
      worker.terminate();
      const fresh = canvas.cloneNode();
      canvas.replaceWith(fresh);
      canvas = fresh;
      watchCanvas();
      if (document.activeElement === document.body && window.self === window.top) canvas.focus();
      tell = inPage(Object.assign({}, start, {size: measure()}));
    };
    return message => tell(message);
  }
  function watchCanvas() {
    canvas.addEventListener("pointerdown", () => {
      canvas.focus();
      go();
    });
  }
  let tell = () => {};
  // Reduced motion: the first key (but Escape, which stops it) or click starts it.
  function go() {
    if (!still || squarefield.going) return;
    squarefield.going = true;
    say("");
    tell({go: true});
  }
  function run() {
    const start = { program, args, size: measure(), hidden: document.hidden, still };
    tell = drawsInWorker() ? inWorker(start) : inPage(start);
    // A new window size or pixel ratio (zooming included), the page in front
    // or not, frozen or not, and Escape: the program hears each.
    addEventListener("resize", () => tell({size: measure()}));
    // A new pixel ratio alone (a window moved to a monitor of another scale)
    // fires no resize: a query on the current ratio, asked again at each change.
    const followRatio = () => {
      matchMedia(`(resolution: ${window.devicePixelRatio}dppx)`).addEventListener("change", () => {
        tell({size: measure()});
        followRatio();
      }, {once: true});
    };
    followRatio();
    document.addEventListener("visibilitychange", () => tell({hidden: document.hidden}));
    document.addEventListener("freeze", () => tell({frozen: true}));
    document.addEventListener("resume", () => tell({frozen: false}));
    for (const type of ["keydown", "keyup"]) {
      addEventListener(type, event => {
        if (event.key != "Escape") {
          if (type == "keydown") go();
          return;
        }
        event.preventDefault();
        tell({escape: type == "keydown"});
      }, true);
    }
    squarefield.report = picture => new Promise(done => {
      squarefield.reports.push(done);
      tell({report: picture ? "picture" : true});
    });
  }
  // The keyboard is ours when the page is the visitor's, or when clicked: in
  // another page's frame, that page keeps its focus.
  if (window.self === window.top) canvas.focus();
  watchCanvas();
  // A policy without 'wasm-unsafe-eval' refuses even the smallest module.
  function compiles() {
    try {
      return !!new WebAssembly.Module(new Uint8Array([0, 97, 115, 109, 1, 0, 0, 0]));
    } catch (e) {
      return false;
    }
  }
  if (problem) {
    say(problem);
  } else if (typeof WebAssembly != "object") {
    say("squarefield needs WebAssembly, which this browser does not have.");
  } else if (!compiles()) {
    say("squarefield cannot run on this page: its Content-Security-Policy does not allow WebAssembly (script-src needs 'wasm-unsafe-eval').");
  } else {
    run();
  }
})();
