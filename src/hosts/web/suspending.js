// The page's program where the browser can suspend WebAssembly: its waiting
// calls (the ones named PageWait...) return a promise, which suspends the
// module until it settles, and main runs as a promise, so that the page has
// its turn while the loop waits. Without Asyncify's unwinding and rewinding,
// a frame costs the page a third less.
Module['instantiateWasm'] = function(imports, done) {
  for (const name in imports.env) {
    const f = imports.env[name];
    if (typeof f == 'function' && f.name.startsWith('PageWait')) imports.env[name] = new WebAssembly.Suspending(f);
  }
  const fromBytes = () => fetch(wasmBinaryFile).then(r => r.arrayBuffer()).then(bytes => WebAssembly.instantiate(bytes, imports));
  // Streaming refuses a file served as another type than application/wasm (a
  // TypeError; many servers say application/octet-stream): the bytes are the same.
  const loaded = WebAssembly.instantiateStreaming
      ? WebAssembly.instantiateStreaming(fetch(wasmBinaryFile), imports).catch(e => e instanceof TypeError ? fromBytes() : Promise.reject(e))
      : fromBytes();
  loaded.then(result => {
    const exports = Object.assign({}, result.instance.exports);
    const name = exports.main ? 'main' : '__main_argc_argv';
    const main = WebAssembly.promising(exports[name]);
    // Started, main goes on by itself: the loader is told it keeps running.
    exports[name] = (...args) => {
      main(...args).catch(e => { if (!(e instanceof ExitStatus) && e != 'unwind') abort(e); });
      throw 'unwind';
    };
    done({exports}, result.module);
  }, e => abort(e));
  return {};
};
