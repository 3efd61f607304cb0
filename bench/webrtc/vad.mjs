// WebRTC's voice activity detector over a 16-bit mono WAV file at 8, 16, 32 or 48 kHz: prints
// one character per 30 ms frame, "1" for speech and "0" for none.
//
//   node vad.mjs FILE MODE      (MODE 0 to 3, 3 the most aggressive)
import { readMonoWav } from '../mono_wav.mjs';
import fvad from '@echogarden/fvad-wasm';

const [file, mode] = process.argv.slice(2);
const { rate, data } = readMonoWav(file, [8000, 16000, 32000, 48000]);
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
