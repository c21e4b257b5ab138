// The program's side of the page: starts the module on the canvas, keeps what
// the page tells it (the canvas's size, whether the page is seen, Escape) and
// tells the page what a visitor should see. Where the browser can draw from a
// worker it runs in one, so the page's own thread has next to nothing to do;
// elsewhere the page loads it as a script and runs it beside itself.
//
// start: {program, args, canvas, size, hidden, still}; post(message) tells the
// page. Returns what takes the page's messages.
function startProgram(start, post) {
  // The program waits, drawing nothing, while the page is hidden or frozen, or
  // (still: reduced motion asked for) from its first frame until told to go.
  let pageHidden = start.hidden, frozen = false, waiting = false;
  const seen = () => {
    Module.hidden = pageHidden || frozen || waiting;
    if (!Module.hidden && Module.whenShown) Module.whenShown();
  };
  const Module = self.Module = {
    arguments: start.args,
    canvas: start.canvas,
    canvasSize: start.size,
    hidden: start.hidden,
    escapeDown: false,
    escapePresses: 0,
    post: message => {
      if (message.firstFrame && start.still) {
        waiting = true;
        seen();
      }
      post(message);
    },
    print: text => console.log(text),
    // The program's own lines are for the visitor; the module's loader speaks to developers.
    printErr: text => {
      console.warn(text);
      if (text.startsWith("squarefield: ")) post({say: text.slice("squarefield: ".length)});
    },
    onAbort: () => post({failed: start.program + ".wasm"}),
  };
  return message => {
    if (message.size) Module.canvasSize = message.size;
    if ("hidden" in message) pageHidden = message.hidden;
    if ("frozen" in message) frozen = message.frozen;
    if (message.go) start.still = waiting = false;
    if ("escape" in message) {
      if (message.escape) ++Module.escapePresses;
      Module.escapeDown = message.escape;
      // A waiting program goes on only to see the key and stop.
      start.still = waiting = false;
    }
    seen();
    // For whoever tests the page: the frames drawn so far, the canvas's size,
    // how often its picture was read back, whether this is a worker, and the
    // picture itself if asked, all as they are at one moment.
    if (message.report) {
      const canvas = Module.canvas;
      const report = {framesDrawn: Module.framesDrawn || 0, picturesRead: Module.picturesRead || 0,
                      canvas: [canvas.width, canvas.height], inWorker: self !== self.window};
      if (message.report !== "picture") return post({report});
      const picture = canvas.convertToBlob ? canvas.convertToBlob() : new Promise(done => canvas.toBlob(done));
      picture.then(blob => post({report: Object.assign(report, {picture: blob})}));
    }
  };
}

// In a worker: the first message starts the program, the rest are the page's.
if (typeof WorkerGlobalScope != "undefined" && self instanceof WorkerGlobalScope) {
  postMessage({ready: true});  // the page knows the worker runs
  onmessage = event => {
    const start = event.data;
    onmessage = event => take(event.data);
    const take = startProgram(start, message => postMessage(message));
    // A browser that draws from a worker but has no refresh there: 60 a second.
    if (!self.requestAnimationFrame) self.requestAnimationFrame = f => setTimeout(f, 1000 / 60);
    try {
      importScripts(start.program + ".js");
    } catch (e) {
      postMessage({failed: start.program + ".js"});
    }
  };
}
