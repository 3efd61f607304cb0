// WebRTC's voice activity detector over a 16-bit mono WAV file at 8, 16, 32 or 48 kHz: prints
// one character per 30 ms frame, "1" for speech and "0" for none.
//
//   node vad.mjs FILE MODE      (MODE 0 to 3, 3 the most aggressive)
import { readFileSync } from 'node:fs';
import fvad from '@echogarden/fvad-wasm';

const [file, mode] = process.argv.slice(2);
const bytes = readFileSync(file);
let rate = 0, data = null;
for (let at = 12; at + 8 <= bytes.length;) {
    const id = bytes.toString('latin1', at, at + 4), size = bytes.readUInt32LE(at + 4);
    if (id === 'fmt ') rate = bytes.readUInt32LE(at + 12);
    if (id === 'data') {
        data = bytes.subarray(at + 8, Math.min(bytes.length, at + 8 + size));
        break;
    }
    at += 8 + size + (size & 1);
}
if (data === null || ![8000, 16000, 32000, 48000].includes(rate)) {
    console.error(`vad.mjs: ${file}: not a 16-bit mono WAV at 8, 16, 32 or 48 kHz`);
    process.exit(1);
}
const m = await fvad();
const vad = m._fvad_new();
if (m._fvad_set_mode(vad, Number(mode)) !== 0 || m._fvad_set_sample_rate(vad, rate) !== 0) {
    console.error('vad.mjs: the detector refused its settings');
    process.exit(1);
}
const frame = (rate * 30) / 1000;
const buffer = m._malloc(frame * 2);
const flags = [];
for (let at = 0; at + frame * 2 <= data.length; at += frame * 2) {
    m.HEAPU8.set(data.subarray(at, at + frame * 2), buffer);
    flags.push(m._fvad_process(vad, buffer, frame) === 1 ? '1' : '0');
}
m._free(buffer);
m._fvad_free(vad);
process.stdout.write(flags.join('') + '\n');
