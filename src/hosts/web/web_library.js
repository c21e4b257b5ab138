// The page's side of the web host: the canvas, and the times the module gives
// the page its turn.
mergeInto(LibraryManager.library, {
  // Puts the damaged rectangles of the framebuffer (RGBA bytes, `width` by
  // `height`, at `pixels`) on the canvas. The image is a view of the module's
  // memory, made again only when that memory or the framebuffer moves, and each
  // rectangle is one putImageData of it: nothing is copied on this side. The
  // context is desynchronized: without that the browser copies the whole canvas
  // for every frame that changes it, a cost that grows with the canvas's area
  // (1920x1080 in headless Chromium: 12 % of a core for one small rectangle a
  // frame, 3.5 % with it).
  squarefield_present: function(pixels, width, height, rects, count) {
    const canvas = document.getElementById('canvas');
    if (!Module.context) Module.context = canvas.getContext('2d', {alpha: false, desynchronized: true});
    let image = Module.image;
    if (!image || image.data.buffer !== HEAPU8.buffer || image.data.byteOffset !== pixels ||
        image.width !== width || image.height !== height) {
      image = Module.image = new ImageData(new Uint8ClampedArray(HEAPU8.buffer, pixels, width * height * 4),
                                           width, height);
    }
    // The framebuffer's black has alpha 0: put under it the opaque black it
    // shows, so a saved or copied picture is black too, not transparent.
    const context = Module.context;
    const r = HEAP32.subarray(rects >> 2, (rects >> 2) + count * 4);
    context.globalCompositeOperation = 'destination-over';
    context.fillStyle = '#000000';
    for (let i = 0; i < count; ++i) {
      const x = r[4 * i], y = r[4 * i + 1], w = r[4 * i + 2] - x, h = r[4 * i + 3] - y;
      context.putImageData(image, 0, 0, x, y, w, h);
      context.fillRect(x, y, w, h);
    }
    context.globalCompositeOperation = 'source-over';
    if (!Module.firstFrameAt) Module.firstFrameAt = performance.now();
  },

  // Replays the frame's fills on the canvas, in their order: `count` fills at
  // `fills`, five integers each (left, top, right, bottom, pixel 0xXXRRGGBB).
  // A fill of a few pixels is the cheapest call a 2D canvas has, and on an
  // opaque canvas a cleared rectangle is black: black fills are clearRect,
  // and the fill colour is set only when it changes, not once a fill.
  squarefield_fill: function(fills, count) {
    if (!Module.context) Module.context = document.getElementById('canvas').getContext('2d', {alpha: false, desynchronized: true});
    const context = Module.context;
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
    if (!Module.firstFrameAt) Module.firstFrameAt = performance.now();
  },

  // The canvas's picture as RGBA bytes, `width` by `height`, written at
  // `pixels`: the framebuffer's pixels, caught up from what the page shows.
  squarefield_read_picture: function(pixels, width, height) {
    const canvas = document.getElementById('canvas');
    if (!Module.context) Module.context = canvas.getContext('2d', {alpha: false, desynchronized: true});
    const data = Module.context.getImageData(0, 0, width, height).data;
    HEAPU8.set(data, pixels);
    Module.picturesRead = (Module.picturesRead || 0) + 1;  // for whoever tests the page
  },

  // The canvas's size in device pixels (its size on the page times the
  // display's pixel ratio), written to size[0] and size[1]. When that is not
  // the canvas's own size any more, the canvas takes it (which clears it) and
  // the answer is 1; unmeasured, 0.
  squarefield_canvas_size: function(size) {
    // Asked every frame, measured only after the window's size or pixel ratio
    // changed (a resize event, zooming included): a measure lays out the page.
    if (Module.sizeKnown) return 0;
    if (!Module.watchingSize) {
      Module.watchingSize = true;
      addEventListener('resize', () => { Module.sizeKnown = false; });
    }
    Module.sizeKnown = true;
    const canvas = document.getElementById('canvas');
    const box = canvas.getBoundingClientRect();
    const ratio = window.devicePixelRatio || 1;
    const width = Math.max(1, Math.round(box.width * ratio));
    const height = Math.max(1, Math.round(box.height * ratio));
    HEAP32[size >> 2] = width;
    HEAP32[(size >> 2) + 1] = height;
    if (canvas.width === width && canvas.height === height) return 0;
    canvas.width = width;
    canvas.height = height;
    return 1;
  },
});
