// The samples of a 16-bit mono WAV file the benchmark wrote, for the detectors' scripts: its
// rate and its data chunk. Exits with a line on standard error unless the rate is one of `rates`.
import { readFileSync } from 'node:fs';

export function readMonoWav(file, rates) {
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
    if (data === null || !rates.includes(rate)) {
        const khz = rates.map((r) => r / 1000).join(', ').replace(/, (\d+)$/, ' or $1');
        console.error(`vad.mjs: ${file}: not a 16-bit mono WAV at ${khz} kHz`);
        process.exit(1);
    }
    return { rate, data };
}
