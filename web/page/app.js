// Zimbrots in the browser: an editor whose text converts into hacker writing, its conversion
// live as the user types, the text as RTF, and the About texts. The conversion and the RTF come
// from the conversion library's module, run in a worker.
"use strict";

// The page's words; lupdate reads them here, and their Latvian comes from the program's
// translation when the page is built.
function QT_TRANSLATE_NOOP(context, text) { return text; }
const Words = [
  QT_TRANSLATE_NOOP("WebPage", "Text"),
  QT_TRANSLATE_NOOP("WebPage", "Hacker writing"),
  QT_TRANSLATE_NOOP("WebPage", "Type or paste text here."),
  QT_TRANSLATE_NOOP("WebPage", "Hacker writing appears here as you type."),
  QT_TRANSLATE_NOOP("WebPage", "Convert"),
  QT_TRANSLATE_NOOP("WebPage", "Clear"),
  QT_TRANSLATE_NOOP("WebPage", "Copy"),
  QT_TRANSLATE_NOOP("WebPage", "Share"),
  QT_TRANSLATE_NOOP("WebPage", "Save as RTF"),
  QT_TRANSLATE_NOOP("WebPage", "About"),
  QT_TRANSLATE_NOOP("WebPage", "Font"),
  QT_TRANSLATE_NOOP("WebPage", "Size"),
  QT_TRANSLATE_NOOP("WebPage", "Bold"),
  QT_TRANSLATE_NOOP("WebPage", "Italic"),
  QT_TRANSLATE_NOOP("WebPage", "File name"),
  QT_TRANSLATE_NOOP("WebPage", "Save"),
  QT_TRANSLATE_NOOP("WebPage", "Cancel"),
  QT_TRANSLATE_NOOP("WebPage", "Copied."),
  QT_TRANSLATE_NOOP("WebPage", "Converting…"),
  QT_TRANSLATE_NOOP("WebPage", "The clipboard cannot be written: %1"),
  QT_TRANSLATE_NOOP("WebPage", "The conversion cannot start: %1"),
  QT_TRANSLATE_NOOP("TApplication", "There is not enough memory to finish this command."),
  QT_TRANSLATE_NOOP("TRichEditLines", "Cannot save \"%1\": %2"),
];

const Page = JSON.parse(document.getElementById("page-data").textContent);
const Latvian = (navigator.languages || [navigator.language]).map((l) => String(l).toLowerCase().slice(0, 2))
  .find((l) => l === "lv" || l === "en") === "lv";
function tr(text, ...args) {
  const words = (Latvian && Page.lv[text]) || text;
  return words.replace(/%(\d)/g, (_, n) => args[n - 1]);
}

const $ = (id) => document.getElementById(id);
const editor = $("editor"), live = $("live"), status = $("status");

// Text this long goes in a worker trip after a pause in typing, and into the view in chunks.
const LongText = 1 << 18;
const ChunkLength = 1 << 14;

// ---- The conversion worker ----

class Converter {
  constructor() {
    this.pending = new Map();
    this.next = 1;
    this.ready = this.start();
  }

  async start() {
    const module = Page.wasm
      ? await WebAssembly.compile(Uint8Array.from(atob(Page.wasm), (c) => c.charCodeAt(0)))
      : await WebAssembly.compileStreaming(fetch("zimbrots.wasm"));
    const source = Page.worker ? URL.createObjectURL(new Blob([Page.worker], {type: "text/javascript"}))
      : "convert_worker.js";
    this.worker = new Worker(source);
    this.worker.onmessage = (event) => {
      const {id, result, error} = event.data;
      const request = this.pending.get(id);
      this.pending.delete(id);
      if (error) request.reject(new RangeError(error)); else request.resolve(result);
    };
    this.worker.onerror = (event) => {
      for (const request of this.pending.values()) request.reject(new Error(event.message));
      this.pending.clear();
    };
    this.worker.postMessage({kind: "module", module});
  }

  async ask(message) {
    await this.ready;
    const id = this.next++;
    return new Promise((resolve, reject) => {
      this.pending.set(id, {resolve, reject});
      this.worker.postMessage({id, ...message});
    });
  }

  convert(text) { return text ? this.ask({kind: "convert", text}) : Promise.resolve(""); }
  rtf(formats, pieces) { return this.ask({kind: "rtf", formats, pieces}); }
}
const converter = new Converter();
converter.ready.catch((error) => say(tr("The conversion cannot start: %1", error.message)));

function say(message) {
  status.textContent = "";
  // A new node, so that a screen reader reads the same message twice.
  requestAnimationFrame(() => { status.textContent = message; });
}

function failed(error) {
  say(error instanceof RangeError ? tr("There is not enough memory to finish this command.") : String(error));
}

// ---- The text and its formats ----
// The editor holds text nodes, spans of one format each (class "format", the format in its
// dataset) and, for long texts, blocks ("chunk") cut after a line break, which the browser
// lays out only when shown. Runs are [text, format or null].

const BaseFormat = {family: "Courier New", size: 12, bold: false, italic: false};
const Families = ["Courier New", "Arial", "Times New Roman", "Verdana", "Georgia", "Trebuchet MS"];
const Sizes = [8, 9, 10, 11, 12, 14, 16, 18, 20, 24, 28, 36, 48, 72];

function formatOf(node) {
  const span = node.parentElement && node.parentElement.closest(".format");
  if (!span || !editor.contains(span)) return null;
  const d = span.dataset;
  return {family: d.family, size: Number(d.size), bold: d.bold === "1", italic: d.italic === "1"};
}

const sameFormat = (a, b) => a === b || (a && b && a.family === b.family && a.size === b.size &&
  a.bold === b.bold && a.italic === b.italic);

function readRuns(root) {
  const runs = [];
  const walker = document.createTreeWalker(root, NodeFilter.SHOW_TEXT);
  for (let node = walker.nextNode(); node; node = walker.nextNode()) {
    if (!node.data) continue;
    const format = formatOf(node);
    const last = runs[runs.length - 1];
    if (last && sameFormat(last[1], format)) last[0] += node.data; else runs.push([node.data, format]);
  }
  return runs;
}

function styledSpan(text, format) {
  const span = document.createElement("span");
  span.className = "format";
  Object.assign(span.dataset, {family: format.family, size: String(format.size),
                               bold: format.bold ? "1" : "0", italic: format.italic ? "1" : "0"});
  span.style.fontFamily = `"${format.family}", ${format.family === "Courier New" ? "monospace" : "sans-serif"}`;
  span.style.fontSize = `${format.size}pt`;
  span.style.fontWeight = format.bold ? "bold" : "normal";
  span.style.fontStyle = format.italic ? "italic" : "normal";
  span.textContent = text;
  return span;
}

function newChunk(lines) {
  const chunk = document.createElement("div");
  chunk.className = "chunk";
  // The height it is given before it is laid out.
  chunk.style.containIntrinsicSize = `auto ${Math.ceil(lines * 1.4)}em`;
  return chunk;
}

const lineCount = (text) => {
  let lines = 0;
  for (let at = text.indexOf("\n"); at >= 0; at = text.indexOf("\n", at + 1)) lines++;
  return lines;
};

// Where a piece of text that has room left in its chunk ends: after the first line break once
// the room is filled. A longer line is cut after a space, as its wrapping would cut it, or
// anywhere but inside a surrogate pair: the browser lays out a line as a whole.
function pieceEnd(text, at, room) {
  const limit = Math.min(text.length, at + room + ChunkLength);
  if (limit === text.length && text.length - at <= room) return limit;
  const lineEnd = text.indexOf("\n", at + room - 1);
  if (lineEnd >= 0 && lineEnd < limit) return lineEnd + 1;
  if (limit === text.length) return limit;
  const space = text.lastIndexOf(" ", limit - 1);
  if (space >= at + room - 1) return space + 1;
  const unit = text.charCodeAt(limit - 1);
  return unit >= 0xD800 && unit < 0xDC00 ? limit - 1 : limit;
}

// The runs' nodes, in chunks when long: each ends where pieceEnd cuts once it holds ChunkLength.
function* nodesOf(runs) {
  const total = runs.reduce((sum, [text]) => sum + text.length, 0);
  if (total <= ChunkLength) {
    for (const [text, format] of runs) yield format ? styledSpan(text, format) : document.createTextNode(text);
    return;
  }
  let pieces = [], length = 0;
  const chunk = () => {
    const made = newChunk(1 + pieces.reduce((sum, [piece]) => sum + lineCount(piece), 0));
    made.append(...pieces.map(([piece, format]) => format ? styledSpan(piece, format) : piece));
    pieces = [];
    length = 0;
    return made;
  };
  for (const [text, format] of runs) {
    for (let at = 0; at < text.length;) {
      const end = pieceEnd(text, at, Math.max(1, ChunkLength - length));
      const piece = text.slice(at, end);
      pieces.push([piece, format]);
      length += piece.length;
      at = end;
      if (length >= ChunkLength && (piece.endsWith("\n") || end < text.length)) yield chunk();
    }
  }
  if (pieces.length) yield chunk();
}

// Long text is built into the view a few chunks a task, apart from the page, and shown at once:
// the page answers meanwhile. A newer write to the same view stops an older one. A line break
// at the very end shows an empty last line only with something after it; the caret can then
// stand there. The break element is no part of the text. Resolves false if overtaken.
const BatchLength = 1 << 20;
const writes = new Map();

async function writeText(root, runs) {
  const ticket = {};
  writes.set(root, ticket);
  const nodes = [];
  let built = 0;
  for (const node of nodesOf(runs)) {
    nodes.push(node);
    built += node.className === "chunk" ? ChunkLength : 0;
    if (built >= BatchLength) {
      built = 0;
      await new Promise((resolve) => setTimeout(resolve));
      if (writes.get(root) !== ticket) return false;
    }
  }
  const last = runs[runs.length - 1];
  if (last && last[0].endsWith("\n")) {
    const end = nodes[nodes.length - 1], br = document.createElement("br");
    if (end.className === "chunk") end.append(br); else nodes.push(br);
  }
  root.replaceChildren(...nodes);
  return true;
}

// Runs with [start, end) replaced by text in format (undefined: the format before start).
function splice(runs, start, end, text, format) {
  const out = [];
  let at = 0, before = null;
  const push = (t, f) => {
    if (!t) return;
    const last = out[out.length - 1];
    if (last && sameFormat(last[1], f)) last[0] += t; else out.push([t, f]);
  };
  let inserted = false;
  const insert = () => { if (!inserted) push(text, format === undefined ? before : format); inserted = true; };
  for (const [t, f] of runs) {
    const s = at, e = at + t.length;
    at = e;
    if (e <= start) { push(t, f); before = f; continue; }
    if (s < start) { push(t.slice(0, start - s), f); before = f; }
    if (e > end) {
      insert();
      push(t.slice(Math.max(0, end - s)), f);
    }
  }
  insert();
  return out;
}

// Runs with a format changed over [start, end).
function restyle(runs, start, end, change) {
  const out = [];
  let at = 0;
  for (const [t, f] of runs) {
    const s = at, e = at + t.length;
    at = e;
    const cuts = [s, Math.min(Math.max(start, s), e), Math.min(Math.max(end, s), e), e];
    for (let i = 0; i < 3; i++) {
      const piece = t.slice(cuts[i] - s, cuts[i + 1] - s);
      if (piece) out.push([piece, i === 1 ? {...(f || BaseFormat), ...change} : f]);
    }
  }
  return splice(out, 0, 0, "", null);
}

// The editor's text, kept once read: reading a long text out of the page takes long, its
// blocks one by one far less.
let editorString = "", editorStale = false;

function editorText() {
  if (editorStale) {
    editorString = Array.from(editor.childNodes, (node) => node.textContent).join("");
    editorStale = false;
  }
  return editorString;
}

// The offset in the editor's text of a point in it: the text nodes before the point, counted.
function offsetOf(container, position) {
  const point = document.createRange();
  point.setStart(container, position);
  const walker = document.createTreeWalker(editor, NodeFilter.SHOW_TEXT);
  let offset = 0;
  for (let node = walker.nextNode(); node; node = walker.nextNode()) {
    if (node === container) return offset + position;
    if (point.comparePoint(node, 0) >= 0) break;
    offset += node.data.length;
  }
  return offset;
}

// The selection as offsets into the editor's text.
function selectionOffsets() {
  const selection = getSelection();
  if (!selection.rangeCount || !editor.contains(selection.getRangeAt(0).commonAncestorContainer)) {
    const end = editorText().length;
    return [end, end];
  }
  const range = selection.getRangeAt(0);
  return [offsetOf(range.startContainer, range.startOffset), offsetOf(range.endContainer, range.endOffset)];
}

function pointAt(offset) {
  const walker = document.createTreeWalker(editor, NodeFilter.SHOW_TEXT);
  let last = null;
  for (let node = walker.nextNode(); node; node = walker.nextNode()) {
    if (offset <= node.data.length) return [node, offset];
    offset -= node.data.length;
    last = node;
  }
  return last ? [last, last.data.length] : [editor, 0];
}

function select(start, end = start) {
  const range = document.createRange();
  range.setStart(...pointAt(start));
  range.setEnd(...pointAt(end));
  const selection = getSelection();
  selection.removeAllRanges();
  selection.addRange(range);
}

// ---- Changes the page makes, and their undo ----
// What the page itself writes into the editor (Convert, Clear, a paste, a font) the browser
// cannot undo: each keeps the runs it replaced until the user types again. While a long text
// goes in, the editor takes no other change: the user makes it again once it is in.
const undoSteps = [];
let writing = false, converting = false;

function showBusy() {
  if (writing || converting) editor.setAttribute("aria-busy", "true"); else editor.removeAttribute("aria-busy");
}

async function write(runs, selection) {
  const text = runs.map(([t]) => t).join("");
  writing = true;
  showBusy();
  try {
    if (!(await writeText(editor, runs))) return false;
  } finally {
    writing = false;
    showBusy();
  }
  editorString = text;
  editorStale = false;
  if (selection) select(...selection);
  textChanged();
  return true;
}

function change(runs, selection) {
  undoSteps.push(readRuns(editor));
  return write(runs, selection);
}

function undo() {
  if (writing || !undoSteps.length) return false;
  write(undoSteps.pop());
  return true;
}

// ---- The live conversion ----

let liveWanted = 0, liveShown = 0, liveTimer = 0, liveString = "";

function showLive(text, request) {
  if (request < liveShown) return;
  liveShown = request;
  liveString = text;
  live.classList.toggle("empty", !text);
  return writeText(live, text ? [[text, null]] : []);
}

// Whether the editor holds any text: its first text node with some says so.
function hasText() {
  const walker = document.createTreeWalker(editor, NodeFilter.SHOW_TEXT);
  for (let node = walker.nextNode(); node; node = walker.nextNode()) if (node.data) return true;
  return false;
}

function textChanged() {
  editor.classList.toggle("empty", !hasText());
  clearTimeout(liveTimer);
  const request = ++liveWanted;
  const run = () => {
    const text = editorText();
    converter.convert(text).then((converted) => showLive(converted, request), failed);
  };
  // A long text converts once typing pauses.
  if (editorString.length > LongText) liveTimer = setTimeout(run, 300); else run();
}

// ---- Commands ----

async function convertEditor() {
  if (writing || converting) return;
  const text = editorText();
  converting = true;
  showBusy();
  if (text.length > LongText) say(tr("Converting…"));
  try {
    const converted = await converter.convert(text);
    converting = false;
    if (editorText() !== text) return;  // typed into meanwhile: that text is the user's
    if (!(await change(converted ? [[converted, null]] : [], [0, 0]))) return;
    // Converting again changes nothing: the live view shows the same text.
    clearTimeout(liveTimer);
    await showLive(converted, ++liveWanted);
    if (text.length > LongText) say("");
  } catch (error) {
    failed(error);
  } finally {
    converting = false;
    showBusy();
    editor.focus();
  }
}

function clearEditor() {
  if (!writing && editorText()) change([], [0, 0]);
  editor.focus();
}

async function copy(text) {
  try {
    await navigator.clipboard.writeText(text);
    say(tr("Copied."));
  } catch (error) {
    say(tr("The clipboard cannot be written: %1", error.message));
  }
}

function insertText(text) {
  const [start, end] = selectionOffsets();
  const format = pending && pending.at === start ? pending.format : undefined;
  pending = null;
  change(splice(readRuns(editor), start, end, text, format), [start + text.length, start + text.length]);
}

// A font chosen with nothing selected is for what is typed next.
let pending = null;

function applyFont(changeOf) {
  if (writing) return;
  const [start, end] = selectionOffsets();
  if (start === end) {
    const base = (pending && pending.at === start && pending.format) || formatBefore(start) || BaseFormat;
    pending = {at: start, format: {...base, ...changeOf}};
  } else {
    change(restyle(readRuns(editor), start, end, changeOf), [start, end]);
  }
  showFont();
  editor.focus();
}

function formatBefore(offset) {
  let at = 0;
  for (const [t, f] of readRuns(editor)) {
    at += t.length;
    if (at >= offset && offset > 0) return f;
  }
  return null;
}

// The font controls show the format at the selection's start.
function showFont() {
  const [start, end] = selectionOffsets();
  const format = (pending && pending.at === start && pending.format) || formatBefore(start === end ? start : start + 1)
    || BaseFormat;
  $("font-family").value = format.family;
  $("font-size").value = String(format.size);
  $("font-bold").setAttribute("aria-pressed", String(format.bold));
  $("font-italic").setAttribute("aria-pressed", String(format.italic));
}

// RTF of the editor: the same writer as the desktop program's. Text in no format of its own is
// in the editor's base font; every font is written with the Baltic character set, in which the
// Latvian letters are the code page's bytes.
async function rtfBytes() {
  const formats = [], keys = new Map(), pieces = [];
  for (const [text, format] of readRuns(editor)) {
    const f = format || BaseFormat;
    const key = JSON.stringify(f);
    if (!keys.has(key)) {
      keys.set(key, formats.length);
      formats.push({family: f.family, charset: 186, halfPoints: Math.round(f.size * 2),
                    flags: (f.bold ? 1 : 0) | (f.italic ? 2 : 0) | (f.family === "Courier New" ? 16 : 0)});
    }
    pieces.push([keys.get(key), text]);
  }
  return converter.rtf(formats, pieces);
}

function rtfName(name) {
  name = name.trim() || "kaka";
  return /\.rtf$/i.test(name) ? name : name + ".rtf";
}

async function save() {
  let name = "kaka.rtf";
  try {
    if (window.showSaveFilePicker) {
      let handle;
      try {
        handle = await showSaveFilePicker({suggestedName: name,
          types: [{description: "RTF", accept: {"application/rtf": [".rtf"]}}]});
      } catch (error) {
        if (error.name === "AbortError") return;  // cancelled
        throw error;
      }
      name = handle.name;
      const bytes = await rtfBytes();
      const writable = await handle.createWritable();
      await writable.write(bytes);
      await writable.close();
      return;
    }
    const dialog = $("save-dialog");
    $("save-name").value = "kaka";
    dialog.returnValue = "";
    dialog.showModal();
    await new Promise((resolve) => dialog.addEventListener("close", resolve, {once: true}));
    if (dialog.returnValue !== "save") return;
    name = rtfName($("save-name").value);
    const url = URL.createObjectURL(new Blob([await rtfBytes()], {type: "application/rtf"}));
    const link = Object.assign(document.createElement("a"), {href: url, download: name});
    document.body.append(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(url), 60000);
  } catch (error) {
    say(error instanceof RangeError ? tr("There is not enough memory to finish this command.")
      : tr("Cannot save \"%1\": %2", name, error.message));
  } finally {
    editor.focus();
  }
}

// ---- The page's words and wiring ----

function label() {
  document.documentElement.lang = Latvian ? "lv" : "en";
  for (const element of document.querySelectorAll("[data-word]")) element.textContent = tr(element.dataset.word);
  for (const element of document.querySelectorAll("[data-label]"))
    element.setAttribute("aria-label", tr(element.dataset.label));
  for (const element of document.querySelectorAll("[data-placeholder]"))
    element.dataset.placeholderText = tr(element.dataset.placeholder);
  const about = Page.about;
  $("about-title").textContent = about.title;
  $("about-version-label").textContent = about.Label2;
  $("about-version").textContent = about.Label3;
  $("about-use-label").textContent = about.Label4;
  $("about-use").textContent = about.Label1;
  $("about-history-label").textContent = about.Label5;
  $("about-history").textContent = about.Memo1;
  $("about-credit").textContent = about.Label6;
  // "&Understood?": the letter after & is the access key.
  const close = $("about-close");
  close.textContent = about.BitBtn1.replace(/&(.)/, "$1");
  const key = /&(.)/.exec(about.BitBtn1);
  if (key) close.accessKey = key[1].toLowerCase();
  for (const family of Families) $("font-family").append(new Option(family, family));
  for (const size of Sizes) $("font-size").append(new Option(String(size), String(size)));
}

function wire() {
  try {
    editor.contentEditable = "plaintext-only";
  } catch {
    editor.contentEditable = "true";  // browsers without it: the page inserts plain text itself
  }
  if (editor.contentEditable !== "plaintext-only") editor.contentEditable = "true";

  editor.addEventListener("beforeinput", (event) => {
    const type = event.inputType;
    if (writing) {
      event.preventDefault();
    } else if ((type === "insertParagraph" || type === "insertLineBreak") && editor.contentEditable !== "plaintext-only") {
      event.preventDefault();
      insertText("\n");
    } else if (type === "insertFromPaste" || type === "insertFromDrop" || type === "insertReplacementText") {
      const text = event.dataTransfer && event.dataTransfer.getData("text/plain");
      event.preventDefault();
      if (text) insertText(text);
    } else if (type === "historyUndo") {
      if (undo()) event.preventDefault();
    } else if (type === "insertText" && pending) {
      event.preventDefault();
      insertText(event.data || "");
    }
  });
  // A paste the browser would not turn into an input event (an empty selection in some).
  editor.addEventListener("paste", (event) => {
    event.preventDefault();
    const text = !writing && event.clipboardData.getData("text/plain");
    if (text) insertText(text);
  });
  editor.addEventListener("input", (event) => {
    // What the user types is the browser's to undo from here on.
    if (event.inputType && event.inputType !== "historyUndo") undoSteps.length = 0;
    editorStale = true;
    textChanged();
  });
  document.addEventListener("selectionchange", () => {
    if (editor.contains(document.activeElement) || document.activeElement === editor) showFont();
  });
  document.addEventListener("keydown", (event) => {
    if ((event.ctrlKey || event.metaKey) && !event.altKey && event.key.toLowerCase() === "k") {
      event.preventDefault();
      convertEditor();
    } else if ((event.ctrlKey || event.metaKey) && !event.shiftKey && event.key.toLowerCase() === "z" &&
               document.activeElement === editor && undoSteps.length) {
      event.preventDefault();
      undo();
    }
  });

  $("convert").addEventListener("click", convertEditor);
  $("clear").addEventListener("click", clearEditor);
  $("copy-text").addEventListener("click", () => copy(editorText()));
  $("copy-live").addEventListener("click", () => copy(liveString));
  $("save").addEventListener("click", save);
  $("font-family").addEventListener("change", (e) => applyFont({family: e.target.value}));
  $("font-size").addEventListener("change", (e) => applyFont({size: Number(e.target.value)}));
  $("font-bold").addEventListener("click", (e) =>
    applyFont({bold: e.currentTarget.getAttribute("aria-pressed") !== "true"}));
  $("font-italic").addEventListener("click", (e) =>
    applyFont({italic: e.currentTarget.getAttribute("aria-pressed") !== "true"}));
  // The font controls keep the editor's selection: a click on them takes no focus.
  for (const control of document.querySelectorAll(".fonts button"))
    control.addEventListener("mousedown", (event) => event.preventDefault());
  $("about-button").addEventListener("click", () => $("about").showModal());
  $("about").addEventListener("close", () => $("about-button").focus());

  if (navigator.share) {
    const share = $("share");
    share.hidden = false;
    share.addEventListener("click", () => navigator.share({text: liveString}).catch(() => {}));
  }
}

// Text shared to the installed app, or given in the address (?text=), arrives converted.
function takeSharedText() {
  const query = new URLSearchParams(location.search);
  const shared = ["title", "text", "url"].map((name) => query.get(name)).filter(Boolean).join("\n");
  if (!shared) return false;
  write([[shared, null]]);
  if (location.protocol !== "file:") history.replaceState(null, "", location.pathname);
  $("copy-live").focus();
  return true;
}

label();
wire();
if (!takeSharedText()) textChanged();
showFont();
if (!document.activeElement || document.activeElement === document.body) editor.focus();
if ("serviceWorker" in navigator && location.protocol !== "file:")
  navigator.serviceWorker.register("sw.js").catch(() => {});
