// Runs the conversion library's module off the page's main thread, so that a long text converts
// while the page still answers. The page sends the compiled module first, then requests.
"use strict";

let module = null;
let wasm = null;

// The module needs only what its abort path writes; every such call fails quietly.
function instantiate() {
  const imports = {};
  for (const wanted of WebAssembly.Module.imports(module)) {
    imports[wanted.module] = imports[wanted.module] || {};
    imports[wanted.module][wanted.name] = () => 52;  // ENOSYS
  }
  const instance = new WebAssembly.Instance(module, imports);
  instance.exports._initialize();
  wasm = instance.exports;
}

function units(address, length) { return new Uint16Array(wasm.memory.buffer, address, length); }

// UTF-16 code units into the module's memory; lone surrogates go in as they are.
function copyIn(text) {
  const address = wasm.zimbrots_alloc(Math.max(2, text.length * 2));
  if (!address) throw new RangeError("out of memory");
  const into = units(address, text.length);
  for (let i = 0; i < text.length; i++) into[i] = text.charCodeAt(i);
  return address;
}

function stringOf(codeUnits) {
  const parts = [];
  for (let i = 0; i < codeUnits.length; i += 8192)
    parts.push(String.fromCharCode.apply(null, codeUnits.subarray(i, i + 8192)));
  return parts.join("");
}

function withLength(call) {
  const slot = wasm.zimbrots_alloc(4);
  if (!slot) throw new RangeError("out of memory");
  try {
    const address = call(slot);
    return [address, new Uint32Array(wasm.memory.buffer, slot, 1)[0]];
  } finally {
    wasm.zimbrots_free(slot);
  }
}

function convert(text) {
  const input = copyIn(text);
  try {
    const [address, length] = withLength((slot) => wasm.zimbrots_convert_utf16(input, text.length, slot));
    const converted = stringOf(units(address, length));
    wasm.zimbrots_release();
    return converted;
  } finally {
    wasm.zimbrots_free(input);
  }
}

// formats: [{family, charset, halfPoints, flags}]; pieces: [format, text] in order, where "\n"
// ends a paragraph (a CR before it too).
function rtf(formats, pieces) {
  const documentAddress = wasm.zimbrots_rtf_new();
  if (!documentAddress) throw new RangeError("out of memory");
  try {
    for (const format of formats) {
      const family = copyIn(format.family);
      wasm.zimbrots_rtf_format(documentAddress, family, format.family.length, format.charset, format.halfPoints,
                               format.flags);
      wasm.zimbrots_free(family);
    }
    wasm.zimbrots_rtf_begin(documentAddress);
    for (const [format, text] of pieces) {
      const lines = text.split("\n");
      lines.forEach((line, index) => {
        if (index > 0) wasm.zimbrots_rtf_paragraph(documentAddress);
        if (index < lines.length - 1 && line.endsWith("\r")) line = line.slice(0, -1);
        if (!line) return;
        const address = copyIn(line);
        wasm.zimbrots_rtf_run(documentAddress, format, address, line.length);
        wasm.zimbrots_free(address);
      });
    }
    const [address, length] = withLength((slot) => wasm.zimbrots_rtf_end(documentAddress, slot));
    return new Uint8Array(wasm.memory.buffer, address, length).slice();
  } finally {
    wasm.zimbrots_rtf_delete(documentAddress);
  }
}

self.onmessage = (event) => {
  const request = event.data;
  if (request.kind === "module") {
    module = request.module;
    instantiate();
    return;
  }
  try {
    const result = request.kind === "convert" ? convert(request.text) : rtf(request.formats, request.pieces);
    self.postMessage({id: request.id, result}, result instanceof Uint8Array ? [result.buffer] : []);
  } catch (error) {
    // A trap (out of memory) leaves the module's heap unusable: start it afresh.
    instantiate();
    self.postMessage({id: request.id, error: String(error)});
  }
  // Memory that one long text grew stays with the instance: give it back.
  if (wasm.memory.buffer.byteLength > 64 << 20) instantiate();
};
