// The playground page: an editor, the assembler's messages, bytes and
// listing, and a run of the program on the interpreted 8086 (the 80186 for
// a program that enables its instructions).
"use strict";

// ---- The engine: the assembler and the interpreter in WebAssembly ----------

const ENDING_NONE = 0;
const ENDING_EXIT = 1;
const SLICE_INSTRUCTIONS = 200000;  // one call into the interpreter
const SLICE_MILLISECONDS = 12;      // then the page gets a turn

class Engine {
  constructor(module) {
    this.module = module;
  }

  bytesAt(pointer, length) {
    return this.module.HEAPU8.slice(pointer, pointer + length);
  }

  textAt(pointer, length) {
    return latin1(this.bytesAt(pointer, length));
  }

  // Assembles `source` with a listing of `linesPerPage` lines a page, as
  // `vexa PROGRAM.ASM -l -p=N` does; the messages come back as data.
  assemble(source, linesPerPage) {
    const m = this.module;
    const bytes = latin1Bytes(source);
    m.HEAPU8.set(bytes, m._engine_source_buffer(bytes.length));
    const started = performance.now();
    const status = m._engine_assemble(linesPerPage);
    const millis = performance.now() - started;
    return {
      status,
      millis,
      passes: m._engine_passes(),
      messages: JSON.parse(this.textAt(m._engine_messages(), m._engine_messages_length())),
      image: this.bytesAt(m._engine_image(), m._engine_image_length()),
      origin: m._engine_image_origin(),
      listing: this.textAt(m._engine_listing(), m._engine_listing_length()),
    };
  }

  // Loads the last assembled image, a .COM or an .EXE, with `input` for the
  // keyboard; false when it cannot be loaded (refusal() says why).
  startRun(input, limit) {
    const m = this.module;
    const bytes = latin1Bytes(input);
    m.HEAPU8.set(bytes, m._engine_input_buffer(bytes.length));
    return m._engine_run_start(limit) === 1;
  }

  refusal() {
    return this.module.UTF8ToString(this.module._engine_ending_text());
  }

  runSlice() {
    return this.module._engine_run_slice(SLICE_INSTRUCTIONS);
  }

  output() {
    const m = this.module;
    return this.bytesAt(m._engine_output(), m._engine_output_length());
  }

  result() {
    const m = this.module;
    const registers = new Uint16Array(m.HEAPU8.buffer, m._engine_registers(), 14).slice();
    return {
      output: this.output(),
      droppedOutput: m._engine_dropped_output(),
      ending: m.UTF8ToString(m._engine_ending_text()),
      exitCode: m._engine_exit_code(),
      executed: m._engine_executed(),
      processor: m._engine_run_processor(),
      registers,
    };
  }
}

// Sources and programs' bytes are 8-bit text: one character per byte.
function latin1(bytes) {
  let text = "";
  for (let i = 0; i < bytes.length; i += 8192) {
    text += String.fromCharCode.apply(null, bytes.subarray(i, i + 8192));
  }
  return text;
}

function latin1Bytes(text) {
  const bytes = new Uint8Array(text.length);
  for (let i = 0; i < text.length; ++i) {
    const code = text.charCodeAt(i);
    bytes[i] = code < 256 ? code : 0x3F;  // '?' for what one byte cannot hold
  }
  return bytes;
}

// ---- Showing results ---------------------------------------------------------

const hex = (value, digits) => value.toString(16).toUpperCase().padStart(digits, "0");

function hexDump(image, origin) {
  const lines = [];
  for (let offset = 0; offset < image.length; offset += 16) {
    const row = image.subarray(offset, offset + 16);
    const cells = Array.from(row, (byte) => hex(byte, 2));
    const text = Array.from(row, (byte) => (byte >= 0x20 && byte < 0x7F ? String.fromCharCode(byte) : "."));
    lines.push(`${hex((origin + offset) & 0xFFFF, 4)}  ${cells.join(" ").padEnd(47)}  ${text.join("")}`);
  }
  return lines.join("\n");
}

// The upper half of the PC's character set, as DOS programs print it.
const CP437_HIGH =
  "ÇüéâäàåçêëèïîìÄÅÉæÆôöòûùÿÖÜ¢£¥₧ƒáíóúñÑªº¿⌐¬½¼¡«»░▒▓│┤╡╢╖╕╣║╗╝╜╛┐" +
  "└┴┬├─┼╞╟╚╔╩╦╠═╬╧╨╤╥╙╘╒╓╫╪┘┌█▄▌▐▀αßΓπΣσµτΦΘΩδ∞φε∩≡±≥≤⌠⌡÷≈°∙·√ⁿ²■\u00A0";

// What a console shows for the program's bytes: CR LF and LF end a line, a
// lone CR returns to the line's start, backspace steps back, BEL is silent.
// Fed the output as it grows, it reads each byte once.
class ConsoleScreen {
  constructor() {
    this.lines = [];   // the lines ended so far
    this.line = "";    // the line being written
    this.column = 0;
    this.fed = 0;      // bytes of the output read so far
  }

  feed(bytes) {
    for (let i = this.fed; i < bytes.length; ++i) this.put(bytes[i]);
    this.fed = bytes.length;
  }

  put(byte) {
    if (byte === 0x0A) {
      this.lines.push(this.line);
      this.line = "";
      this.column = 0;
    } else if (byte === 0x0D) {
      this.column = 0;
    } else if (byte === 0x08) {
      this.column = Math.max(0, this.column - 1);
    } else if (byte !== 0x07) {
      const char = byte >= 0x80 ? CP437_HIGH[byte - 0x80] : String.fromCharCode(byte);
      if (this.column === this.line.length) {
        this.line += char;
      } else {
        const line = this.line.padEnd(this.column, " ");
        this.line = line.slice(0, this.column) + char + line.slice(this.column + 1);
      }
      ++this.column;
    }
  }

  // The whole text, or its last `lines` lines.
  text(lines = Infinity) {
    const shown = lines < this.lines.length ? this.lines.slice(this.lines.length - lines) : this.lines;
    return shown.length ? `${shown.join("\n")}\n${this.line}` : this.line;
  }
}

// ---- The page ------------------------------------------------------------------

const $ = (id) => document.getElementById(id);

const page = {
  engine: null,
  assembled: null,       // the last assembly, for the source it was made from
  assembledSource: null,
  running: false,
  stopRequested: false,
  lastRun: null,
  marks: new Map(),      // line: {kind, titles, column} of the last assembly's messages
  marksShown: null,      // the marks drawn and the lines they were drawn for
  markLayer: document.createElement("span"),  // the gutter's marks, over its numbers
};
window.vexaPlayground = page;

function setStatus(text) {
  $("status").textContent = text;
}

// The line numbers beside the editor; redrawn only when their count changes.
function updateGutter() {
  const gutter = $("gutter");
  const source = $("source").value;
  const count = source.split("\n").length;
  gutter.classList.toggle("stale", page.marks.size > 0 && source !== page.assembledSource);
  if (gutter.dataset.count !== String(count)) {
    gutter.dataset.count = String(count);
    gutter.textContent = Array.from({ length: count }, (_, i) => i + 1).join("\n");
    gutter.append(page.markLayer);
  }
  drawMarks();
}

// Lines drawn with their marks on either side of those in view; the marks
// are drawn again when the view leaves them.
const MARKED_AROUND = 100;

// A line with an error or a warning of the last assembly is marked, its
// messages in the mark's tooltip. The marks lie over the numbers, each
// placed by its line, and only near the lines in view: a source with
// thousands of messages still scrolls and edits quickly.
function drawMarks() {
  const editor = $("source");
  const count = Number($("gutter").dataset.count);
  const lineHeight = parseFloat(getComputedStyle(editor).lineHeight) || 18;
  const top = Math.floor(editor.scrollTop / lineHeight) + 1;
  const bottom = Math.min(count, top + Math.ceil(editor.clientHeight / lineHeight));
  const drawn = page.marksShown;
  if (drawn && drawn.marks === page.marks && drawn.count === count && drawn.first <= top && bottom <= drawn.last) {
    return;
  }
  const first = Math.max(1, top - MARKED_AROUND);
  const last = Math.min(count, bottom + MARKED_AROUND);
  page.marksShown = { marks: page.marks, count, first, last };
  const spans = document.createDocumentFragment();
  for (let line = first; page.marks.size && line <= last; ++line) {
    const mark = page.marks.get(line);
    if (!mark) continue;
    const span = document.createElement("span");
    span.className = `mark ${mark.kind}`;
    span.dataset.line = String(line);
    span.style.setProperty("--line", String(line - 1));
    span.title = mark.titles.join("\n");
    spans.append(span);
  }
  page.markLayer.replaceChildren(spans);
}

// Puts the editor's cursor on `number`'s line at character `column`
// (1-based); without a column, selects the line.
function goToLine(number, column = 0) {
  const editor = $("source");
  const lines = editor.value.split("\n");
  const line = Math.min(Math.max(number, 1), lines.length);
  let start = 0;
  for (let i = 0; i < line - 1; ++i) start += lines[i].length + 1;
  const length = lines[line - 1].length;
  editor.focus();
  if (column > 0) {
    const at = start + Math.min(column - 1, length);
    editor.setSelectionRange(at, at);
  } else {
    editor.setSelectionRange(start, start + length);
  }
  const lineHeight = parseFloat(getComputedStyle(editor).lineHeight) || 18;
  editor.scrollTop = Math.max(0, (line - 4) * lineHeight);
}

const TAB_STOP = 8;

function expandTabs(text) {
  let shown = "";
  for (const char of text) {
    shown += char === "\t" ? " ".repeat(TAB_STOP - (shown.length % TAB_STOP)) : char;
  }
  return shown;
}

// "line 7, column 5", the column as the editor shows it; a file other than
// the page's source first.
function placeText(file, line, column) {
  const place = column > 0 ? `line ${line}, column ${column}` : `line ${line}`;
  return file ? `${file}, ${place}` : place;
}

// What a message is: an error (a fatal stop is one), a warning or a note.
function messageKind(message) {
  return message.severity === "fatal" ? "error" : message.severity;
}

function appendSpan(parent, className, text) {
  const span = document.createElement("span");
  span.className = className;
  span.textContent = text;
  parent.append(span);
  return span;
}

// One message: its place, its kind and text; the line with a caret under
// the column; then its notes, each with its own place when elsewhere.
function messageEntry(message) {
  const kind = messageKind(message);
  const inEditor = message.line > 0 && !message.file;
  const entry = document.createElement(inEditor ? "button" : "div");
  entry.className = `message ${kind}${message.severity === "fatal" ? " fatal" : ""}`;
  if (message.line > 0) {
    appendSpan(entry, "place", placeText(message.file, message.line, message.displayColumn));
    entry.append(": ");
  }
  appendSpan(entry, "severity", kind);
  entry.append(": ");
  appendSpan(entry, "text", message.message);
  if (message.warning) {
    entry.append(" ");
    appendSpan(entry, "group", `[${message.warning}]`).title = `warning group "${message.warning}"`;
  }
  if (message.line > 0 && message.displayColumn > 0) {
    entry.append("\n");
    appendSpan(entry, "excerpt",
               `${expandTabs(message.text)}\n${" ".repeat(message.displayColumn - 1)}^`);
  }
  for (const note of message.notes) {
    entry.append("\n");
    const elsewhere = note.file !== message.file || note.line !== message.line || note.column !== message.column;
    const place = elsewhere && note.line > 0 ? ` (${placeText(note.file, note.line, note.column)})` : "";
    appendSpan(entry, "note", `note: ${note.message}${place}`);
  }
  if (inEditor) {
    entry.type = "button";
    entry.dataset.line = String(message.line);
    entry.dataset.column = String(message.column);
    entry.title = "Show in the editor";
    entry.addEventListener("click", () => goToLine(message.line, message.column));
  }
  return entry;
}

// The assembler's messages, each once; a message on a line of the page's
// source takes the editor there and marks the line in the gutter.
function showMessages(messages) {
  $("messages").replaceChildren();
  showMoreMessages(messages, 0);
  page.marks = new Map();
  for (const message of messages) {
    const kind = messageKind(message);
    if (message.line <= 0 || message.file || kind === "note") continue;
    const mark = page.marks.get(message.line) || { kind, titles: [], column: message.column };
    if (kind === "error") mark.kind = "error";
    const column = message.displayColumn > 0 ? `, column ${message.displayColumn}` : "";
    mark.titles.push(`${kind}${column}: ${message.message}`, ...message.notes.map((n) => `  note: ${n.message}`));
    page.marks.set(message.line, mark);
  }
  updateGutter();
}

// Messages are shown a batch at a time: thousands of them would take
// seconds to lay out. The gutter marks them all.
const MESSAGES_SHOWN = 500;

function showMoreMessages(messages, from) {
  const entries = document.createDocumentFragment();
  const to = Math.min(messages.length, from + MESSAGES_SHOWN);
  for (let i = from; i < to; ++i) entries.append(messageEntry(messages[i]));
  if (to < messages.length) {
    const more = document.createElement("button");
    more.type = "button";
    more.className = "more-messages";
    more.textContent = `Show ${Math.min(MESSAGES_SHOWN, messages.length - to)} more of ${messages.length - to}`;
    more.addEventListener("click", () => {
      more.remove();
      showMoreMessages(messages, to);
    });
    entries.append(more);
  }
  $("messages").append(entries);
}

// "2 errors, 1 warning" of the messages; empty for none.
function countText(messages) {
  const counted = [];
  for (const kind of ["error", "warning"]) {
    const count = messages.filter((message) => messageKind(message) === kind).length;
    if (count) counted.push(count === 1 ? `1 ${kind}` : `${count} ${kind}s`);
  }
  return counted.join(", ");
}

// An image that starts with "MZ" (or "ZM") is an .EXE program, as vexa-run
// takes it.
function isExeImage(image) {
  const signature = image.length >= 2 ? latin1(image.subarray(0, 2)) : "";
  return signature === "MZ" || signature === "ZM";
}

function offerDownload(id, bytes, name) {
  const link = $(id);
  if (name) {
    link.download = name;
    link.textContent = name;
  }
  if (link.href) URL.revokeObjectURL(link.href);
  link.hidden = bytes === null;
  if (bytes !== null) link.href = URL.createObjectURL(new Blob([bytes], { type: "application/octet-stream" }));
}

function linesPerPage() {
  const value = parseInt($("lines-per-page").value, 10);
  return Number.isFinite(value) ? value : 62;  // as vexa without -p
}

function assemble() {
  const source = $("source").value;
  const result = page.engine.assemble(source, linesPerPage());
  page.assembled = result;
  page.assembledSource = source;
  page.assembledPageLength = linesPerPage();
  showMessages(result.messages);
  $("hex-dump").textContent = result.image.length ? hexDump(result.image, result.origin) : "(no bytes)";
  $("listing-text").textContent = result.listing.replace(/\r\n/g, "\n");
  offerDownload("download-com", result.status === 0 ? result.image : null,
                isExeImage(result.image) ? "PROGRAM.EXE" : "PROGRAM.COM");
  offerDownload("download-lst", result.listing ? latin1Bytes(result.listing) : null);
  const counted = countText(result.messages);
  const verdict = (result.status === 0 ? `${result.image.length} bytes` : "assembly failed") +
                  (counted ? `; ${counted}` : "");
  const passes = result.passes === 1 ? "1 pass" : `${result.passes} passes`;
  setStatus(`Assembled in ${result.millis.toFixed(1)} ms (${passes}): ${verdict}`);
  return result;
}

function isAssembled() {
  return page.assembled && page.assembledSource === $("source").value &&
         page.assembledPageLength === linesPerPage();
}

function showTab(name) {
  for (const tab of document.querySelectorAll(".tabs [role=tab]")) {
    const selected = tab.dataset.tab === name;
    tab.setAttribute("aria-selected", String(selected));
    $(tab.dataset.tab).hidden = !selected;
  }
}

function showRegisters(registers) {
  const names = ["AX", "BX", "CX", "DX", "SP", "BP", "SI", "DI", "CS", "DS", "ES", "SS", "IP"];
  const flags = registers[13];
  const flagNames = [["O", 0x800], ["D", 0x400], ["I", 0x200], ["T", 0x100], ["S", 0x80], ["Z", 0x40],
                     ["A", 0x10], ["P", 0x04], ["C", 0x01]];
  const cells = names.map((name, i) => `<td><b>${name}</b> ${hex(registers[i], 4)}</td>`);
  const rows = [cells.slice(0, 4), cells.slice(4, 8), cells.slice(8, 12), [cells[12]]];
  const flagCells = flagNames.map(([letter, bit]) => `<span class="${flags & bit ? "on" : "off"}">${letter}</span>`);
  rows[3].push(`<td colspan="3"><b>FLAGS</b> ${hex(flags, 4)} ${flagCells.join("")}</td>`);
  $("registers").innerHTML = rows.map((row) => `<tr>${row.join("")}</tr>`).join("");
}

function setRunning(running) {
  page.running = running;
  $("run").disabled = running;
  $("assemble").disabled = running;
  $("stop").disabled = !running;
}

function finishRun(ending) {
  const result = page.engine.result();
  if (ending === ENDING_NONE) result.ending = "stopped before the program ended";
  page.lastRun = result;
  page.screen.feed(result.output);
  let text = page.screen.text(SCROLLBACK_LINES);
  const hidden = page.screen.lines.length - SCROLLBACK_LINES;
  if (hidden > 0) text = `(${hidden} earlier lines not shown)\n${text}`;
  if (result.droppedOutput) text += `\n(${result.droppedOutput} more bytes of output not shown)`;
  $("console").textContent = text;
  const on = result.processor === 186 ? " on the 80186" : "";
  $("ending").textContent = `${result.ending[0].toUpperCase()}${result.ending.slice(1)}; ` +
                            `${result.executed.toLocaleString("en")} instructions executed${on}.`;
  $("ending").className = ending === ENDING_EXIT && result.exitCode === 0 ? "ending good" : "ending bad";
  showRegisters(result.registers);
  setRunning(false);
  setStatus("Run ended");
}

// Runs in slices so that the page stays responsive and Stop is heard.
// While the program runs the console shows its output's last lines, a few
// times a second: a page that redraws a long text at every slice stalls.
const LINES_SHOWN_WHILE_RUNNING = 200;
// At the end it keeps as many lines as a terminal's scrollback would.
const SCROLLBACK_LINES = 10000;
const REDRAW_MILLISECONDS = 200;

function continueRun() {
  const deadline = performance.now() + SLICE_MILLISECONDS;
  let ending = ENDING_NONE;
  while (ending === ENDING_NONE && !page.stopRequested && performance.now() < deadline) {
    ending = page.engine.runSlice();
  }
  if (ending !== ENDING_NONE || page.stopRequested) {
    finishRun(ending);
    return;
  }
  if (performance.now() - page.lastRedraw >= REDRAW_MILLISECONDS) {
    page.screen.feed(page.engine.output());
    $("console").textContent = page.screen.text(LINES_SHOWN_WHILE_RUNNING);
    page.lastRedraw = performance.now();
  }
  setTimeout(continueRun, 0);
}

function run() {
  if (!isAssembled()) assemble();
  showTab("run-tab");
  $("ending").textContent = "";
  $("registers").replaceChildren();
  if (page.assembled.status !== 0) {
    $("console").textContent = "";
    $("ending").textContent = "The program did not assemble: see the messages.";
    $("ending").className = "ending bad";
    return;
  }
  const limit = parseInt($("limit").value, 10);
  if (!page.engine.startRun($("program-input").value, Number.isFinite(limit) && limit > 0 ? limit : 0)) {
    $("ending").textContent = isExeImage(page.assembled.image)
      ? `PROGRAM.EXE ${page.engine.refusal()}.` : "The image is too large for a .COM program.";
    $("ending").className = "ending bad";
    return;
  }
  $("console").textContent = "";
  page.screen = new ConsoleScreen();
  page.lastRedraw = performance.now();
  page.stopRequested = false;
  setRunning(true);
  setStatus("Running...");
  continueRun();
}

// ---- The source in the page's address -------------------------------------------

function encodeSource(source) {
  const bytes = new TextEncoder().encode(source);
  return btoa(latin1(bytes)).replace(/\+/g, "-").replace(/\//g, "_").replace(/=+$/, "");
}

function decodeSource(encoded) {
  const binary = atob(encoded.replace(/-/g, "+").replace(/_/g, "/"));
  return new TextDecoder().decode(latin1Bytes(binary));
}

function sourceFromAddress() {
  const match = /[#&]source=([A-Za-z0-9_-]*)/.exec(location.hash);
  if (!match) return null;
  try {
    return decodeSource(match[1]);
  } catch {
    return null;
  }
}

let addressTimer = 0;
function keepSourceInAddress() {
  clearTimeout(addressTimer);
  addressTimer = setTimeout(() => {
    history.replaceState(null, "", `#source=${encodeSource($("source").value)}`);
  }, 250);
}

// ---- Wiring -------------------------------------------------------------------------

function loadSource(text) {
  $("source").value = text;
  updateGutter();
  keepSourceInAddress();
}

function fillExamples() {
  const menu = $("examples");
  for (const example of VEXA_EXAMPLES) {
    const option = document.createElement("option");
    option.value = example.name;
    option.textContent = example.name;
    menu.append(option);
  }
  menu.addEventListener("change", () => {
    const example = VEXA_EXAMPLES.find((e) => e.name === menu.value);
    if (example) loadSource(example.source);
  });
}

function wireEditor() {
  const editor = $("source");
  editor.addEventListener("input", () => {
    updateGutter();
    keepSourceInAddress();
    $("examples").value = "";
  });
  editor.addEventListener("scroll", () => {
    $("gutter").scrollTop = editor.scrollTop;
    drawMarks();
  });
  window.addEventListener("resize", drawMarks);
  // A mark in the gutter takes the editor to its message's place.
  $("gutter").addEventListener("click", (event) => {
    const mark = event.target.closest(".mark");
    if (mark) goToLine(Number(mark.dataset.line), page.marks.get(Number(mark.dataset.line))?.column ?? 0);
  });
  editor.addEventListener("keydown", (event) => {
    if (event.key === "Tab" && !event.shiftKey && !event.ctrlKey && !event.altKey) {
      event.preventDefault();
      editor.setRangeText("\t", editor.selectionStart, editor.selectionEnd, "end");
      updateGutter();
      keepSourceInAddress();
    } else if (event.key === "Enter" && (event.ctrlKey || event.metaKey)) {
      event.preventDefault();
      run();
    }
  });
}

function start(module) {
  page.engine = new Engine(module);
  $("assemble").addEventListener("click", () => {
    assemble();
    showTab(page.assembled.status === 0 ? "bytes" : "listing");
  });
  $("run").addEventListener("click", run);
  $("stop").addEventListener("click", () => {
    page.stopRequested = true;
  });
  for (const tab of document.querySelectorAll(".tabs [role=tab]")) {
    tab.addEventListener("click", () => showTab(tab.dataset.tab));
  }
  $("assemble").disabled = false;
  $("run").disabled = false;
  setStatus("Ready. Ctrl+Enter runs the program.");
  page.ready = true;
}

fillExamples();
wireEditor();
const shared = sourceFromAddress();
const hello = VEXA_EXAMPLES.find((e) => e.name === "hello.asm") || VEXA_EXAMPLES[0];
if (shared !== null) {
  loadSource(shared);
} else if (hello) {
  loadSource(hello.source);
  $("examples").value = hello.name;
}
createVexaEngine().then(start, (error) => setStatus(`The assembler could not start: ${error}`));
