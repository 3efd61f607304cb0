// Silero's voice activity detector (v5) over a 16-bit mono WAV file at 8 or 16 kHz: prints one
// character per 32 ms frame, "1" for speech and "0" for none. Speech starts at a probability of
// 0.5 and ends below 0.35, as Silero's own speech timestamps do.
//
//   node vad.mjs FILE
import { readFileSync } from 'node:fs';
import { readMonoWav } from '../mono_wav.mjs';
import { createRequire } from 'node:module';
import * as ort from 'onnxruntime-web';

const [file] = process.argv.slice(2);
const { rate, data } = readMonoWav(file, [8000, 16000]);
ort.env.wasm.numThreads = 1;
const model = readFileSync(
    createRequire(import.meta.url).resolve('@ricky0123/vad-web/dist/silero_vad_v5.onnx'));
const session = await ort.InferenceSession.create(model);
// Each frame goes in after the last samples of the one before it (64 at 16 kHz).
const frame = rate === 8000 ? 256 : 512, context = frame / 8;
const window = new Float32Array(context + frame);
let state = new ort.Tensor('float32', new Float32Array(2 * 128), [2, 1, 128]);
const sr = new ort.Tensor('int64', BigInt64Array.from([BigInt(rate)]), []);
const flags = [];
let speech = false;
for (let at = 0; at + frame * 2 <= data.length; at += frame * 2) {
    window.copyWithin(0, frame, frame + context);
    for (let i = 0; i < frame; ++i) window[context + i] = data.readInt16LE(at + 2 * i) / 32768;
    const input = new ort.Tensor('float32', window.slice(), [1, context + frame]);
    const out = await session.run({ input, state, sr });
    state = out.stateN;
    const p = out.output.data[0];
    speech = speech ? p >= 0.35 : p >= 0.5;
    flags.push(speech ? '1' : '0');
}
process.stdout.write(flags.join('') + '\n');
