// The page's side of the web host: the canvas, and what the page tells the
// program. The program runs where program.js started it (a worker, where the
// browser can draw from one, else the page itself): Module.canvas is its
// canvas (an OffscreenCanvas in a worker), Module.post tells the page, and
// program.js keeps what the page told (canvasSize, hidden, escape...).
mergeInto(LibraryManager.library, {
  $squarefield_context: function() {
    if (!Module.context) Module.context = Module.canvas.getContext('2d', {alpha: false, desynchronized: true});
    return Module.context;
  },
  // The page is told once when the first frame is on the canvas.
  $squarefield_drawn: function() {
    if (Module.drawn) return;
    Module.drawn = true;
    Module.post({firstFrame: true});
  },

  // Puts the damaged rectangles of the framebuffer (RGBA bytes, `width` by
  // `height`, at `pixels`) on the canvas. The image is a view of the module's
  // memory, made again only when that memory or the framebuffer moves, and each
  // rectangle is one putImageData of it: nothing is copied on this side. The
  // context is desynchronized: without that the browser copies the whole canvas
  // for every frame that changes it, a cost that grows with the canvas's area
  // (1920x1080 in headless Chromium: 12 % of a core for one small rectangle a
  // frame, 3.5 % with it). From a worker it matters less: the whole browser
  // took 23-24 % of a core with it and 24-25 % without, drawing the effect.
  squarefield_present__deps: ['$squarefield_context', '$squarefield_drawn'],
  squarefield_present: function(pixels, width, height, rects, count) {
    let image = Module.image;
    if (!image || image.data.buffer !== HEAPU8.buffer || image.data.byteOffset !== pixels ||
        image.width !== width || image.height !== height) {
      image = Module.image = new ImageData(new Uint8ClampedArray(HEAPU8.buffer, pixels, width * height * 4),
                                           width, height);
    }
    // The framebuffer's black has alpha 0: put under it the opaque black it
    // shows, so a saved or copied picture is black too, not transparent.
    const context = squarefield_context();
    const r = HEAP32.subarray(rects >> 2, (rects >> 2) + count * 4);
    context.globalCompositeOperation = 'destination-over';
    context.fillStyle = '#000000';
    for (let i = 0; i < count; ++i) {
      const x = r[4 * i], y = r[4 * i + 1], w = r[4 * i + 2] - x, h = r[4 * i + 3] - y;
      context.putImageData(image, 0, 0, x, y, w, h);
      context.fillRect(x, y, w, h);
    }
    context.globalCompositeOperation = 'source-over';
    squarefield_drawn();
  },

  // Replays the frame's fills on the canvas, in their order: `count` fills at
  // `fills`, five integers each (left, top, right, bottom, pixel 0xXXRRGGBB).
  // A fill of a few pixels is the cheapest call a 2D canvas has, and on an
  // opaque canvas a cleared rectangle is black: black fills are clearRect,
  // and the fill colour is set only when it changes, not once a fill.
  squarefield_fill__deps: ['$squarefield_context', '$squarefield_drawn'],
  squarefield_fill: function(fills, count) {
    const context = squarefield_context();
    const f = HEAP32;
    let colour = -1;  // the context's own is not known: a resize or a copy resets it
    for (let i = fills >> 2, end = i + 5 * count; i < end; i += 5) {
      const pixel = f[i + 4] & 0xFFFFFF;
      if (pixel === 0) {
        context.clearRect(f[i], f[i + 1], f[i + 2] - f[i], f[i + 3] - f[i + 1]);
        continue;
      }
      if (pixel !== colour) {
        context.fillStyle = '#' + pixel.toString(16).padStart(6, '0');
        colour = pixel;
      }
      context.fillRect(f[i], f[i + 1], f[i + 2] - f[i], f[i + 3] - f[i + 1]);
    }
    squarefield_drawn();
  },

  // The canvas's picture as RGBA bytes, `width` by `height`, written at
  // `pixels`: the framebuffer's pixels, caught up from what the page shows.
  squarefield_read_picture__deps: ['$squarefield_context'],
  squarefield_read_picture: function(pixels, width, height) {
    const data = squarefield_context().getImageData(0, 0, width, height).data;
    HEAPU8.set(data, pixels);
    Module.picturesRead = (Module.picturesRead || 0) + 1;  // for whoever tests the page
  },

  // The canvas's size in device pixels (its size on the page times the
  // display's pixel ratio, as the page measured it last), written to size[0]
  // and size[1]. When that is not the canvas's own size any more, the canvas
  // takes it (which clears it) and the answer is 1.
  squarefield_canvas_size: function(size) {
    const canvas = Module.canvas, [width, height] = Module.canvasSize;
    HEAP32[size >> 2] = width;
    HEAP32[(size >> 2) + 1] = height;
    if (canvas.width === width && canvas.height === height) return 0;
    canvas.width = width;
    canvas.height = height;
    return 1;
  },

  // Escape: whether it is down, and how often it was pressed since the last
  // call (written to presses[0]).
  squarefield_escape: function(presses) {
    HEAP32[presses >> 2] = Module.escapePresses;
    Module.escapePresses = 0;
    return Module.escapeDown ? 1 : 0;
  },
});
