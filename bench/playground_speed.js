// The playground's engine under Node.js (the V8 engine that runs it in
// Chromium): how long an assembly of a generated program takes, and how many
// 8086 instructions a second the interpreter runs in WebAssembly.
//
// usage: node bench/playground_speed.js build/web/vexa-engine.js PROGRAM.asm LOOP.asm [INSTRUCTIONS] [RUNS]
"use strict";

const fs = require("fs");
const path = require("path");

const [enginePath, programPath, loopPath] = process.argv.slice(2, 5);
const instructions = Number(process.argv[5] || 100000000);
const runs = Number(process.argv[6] || 5);
const SLICE = 200000;  // as the page runs it

function median(values) {
  const sorted = [...values].sort((a, b) => a - b);
  return sorted[Math.floor(sorted.length / 2)];
}

function assemble(engine, source) {
  engine.HEAPU8.set(source, engine._engine_source_buffer(source.length));
  const started = process.hrtime.bigint();
  const status = engine._engine_assemble(60);
  const millis = Number(process.hrtime.bigint() - started) / 1e6;
  if (status !== 0) throw new Error(`the program did not assemble:\n${engine.UTF8ToString(engine._engine_messages())}`);
  return millis;
}

function runLoop(engine) {
  engine._engine_input_buffer(0);
  if (!engine._engine_run_start(instructions)) throw new Error("the loop did not load");
  const started = process.hrtime.bigint();
  while (engine._engine_run_slice(SLICE) === 0) {
  }
  const seconds = Number(process.hrtime.bigint() - started) / 1e9;
  return engine._engine_executed() / seconds / 1e6;
}

require(path.resolve(enginePath))().then((engine) => {
  const program = fs.readFileSync(programPath);
  const lines = program.toString("latin1").split("\n").length - 1;
  assemble(engine, program);  // warm-up
  const assemblies = Array.from({ length: runs }, () => assemble(engine, program));
  console.log(`assembly of ${lines} lines: median ${median(assemblies).toFixed(2)} ms ` +
              `(runs: ${assemblies.map((m) => m.toFixed(2)).join(", ")})`);

  assemble(engine, fs.readFileSync(loopPath));
  const rates = Array.from({ length: runs }, () => runLoop(engine));
  console.log(`interpreter: best ${Math.max(...rates).toFixed(1)} million instructions a second ` +
              `(runs: ${rates.map((r) => r.toFixed(1)).join(", ")})`);
});
