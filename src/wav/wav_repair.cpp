#include "wav/wav_repair.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "wav/wav_input.h"

namespace tamberlyn {

namespace {

// Heads up to this size are rewritten in one write; beyond, field by field.
constexpr std::uint64_t kOneWrite = 1u << 20;

}  // namespace

void DescribeRepair(const WavDiagnosis& d, std::uint64_t file_size, char* text, std::size_t size) {
    const double seconds = SecondsOf(d.wav, d.length - d.wav.data_offset);
    const std::uint64_t trailing = file_size - d.length;
    char cut[96] = "";
    if (trailing == 1) {
        std::snprintf(cut, sizeof cut, ", and a lone trailing byte that is no sample cut");
    } else if (trailing > 1) {
        std::snprintf(cut, sizeof cut, ", and %u trailing bytes that are no whole sample cut",
                      static_cast<unsigned>(trailing));
    }
    if (d.header_bytes > 0) {
        std::snprintf(text, size, "the header of a recording of %.2f s%s", seconds, cut);
    } else if (d.sizes.count == (d.wav.ds64_offset != 0 ? 2 : 1)) {
        std::snprintf(text, size, "the RIFF size%s", cut);
    } else {
        std::snprintf(text, size, "the sizes for %.2f s%s%s", seconds,
                      d.rewrite   ? " as RF64 (past 4 GiB), in a copy beside it renamed over it"
                      : d.to_rf64 ? " as RF64 (past 4 GiB)"
                                  : "",
                      cut);
    }
}

SystemError ApplyRepair(FileHandle file, const WavDiagnosis& d, std::uint64_t file_size) {
    if (d.header_bytes > 0) {
        if (const SystemError e = WriteAllAt(file, 0, d.header, d.header_bytes)) return e;
    } else {
        std::uint64_t end = 0;
        for (int i = 0; i < d.sizes.count; ++i) {
            end = std::max(end, d.sizes.fields[i].offset + d.sizes.fields[i].width);
        }
        if (end <= kOneWrite) {
            std::vector<std::uint8_t> head(static_cast<std::size_t>(end));
            std::size_t got = 0;
            if (const SystemError e = ReadFullAt(file, 0, head.data(), head.size(), got)) return e;
            ApplyWavSizes(d.sizes, 0, head.data(), got);
            if (const SystemError e = WriteAllAt(file, 0, head.data(), got)) return e;
        } else {
            for (int i = 0; i < d.sizes.count; ++i) {
                const WavSizeField& f = d.sizes.fields[i];
                if (const SystemError e = WriteAllAt(file, f.offset, f.bytes, f.width)) return e;
            }
        }
    }
    if (d.length < file_size) {
        if (const SystemError e = TruncateFile(file, d.length)) return e;
    }
    return SyncFile(file);
}

SystemError WriteRf64Copy(FileHandle file, const WavDiagnosis& d, Output& out) {
    // The form's head, and the "ds64" chunk whose sizes the patch sets.
    std::uint8_t head[12 + kRf64HeadGrowth] = {'R', 'F', '6', '4', 0xFF, 0xFF, 0xFF, 0xFF, 'W',
                                               'A', 'V', 'E', 'd', 's',  '6',  '4',  28};
    if (const SystemError e = WriteOutputAt(out, 0, head, sizeof head)) return e;
    // The rest as it is, each piece 36 bytes on; a piece of zeros is skipped, a hole.
    constexpr std::size_t kPiece = 1u << 20;
    std::vector<std::uint8_t> piece(kPiece);
    static const std::uint8_t kZeros[kPiece] = {};
    bool ends_in_hole = false;
    for (std::uint64_t at = 12; at < d.length;) {
        // A hole is not read: only where data lies.
        const std::uint64_t data = std::min(NextDataAt(file, at), d.length);
        if (data > at + kPiece) {
            at = data;
            ends_in_hole = true;
            continue;
        }
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(kPiece, d.length - at));
        std::size_t got = 0;
        if (const SystemError e = ReadFullAt(file, at, piece.data(), want, got)) return e;
        if (got < want) return {};  // the file shrank: the caller finds it changed
        const std::uint64_t to = at + kRf64HeadGrowth;
        ApplyWavSizes(d.sizes, to, piece.data(), got);
        ends_in_hole = std::memcmp(piece.data(), kZeros, got) == 0 && to > sizeof head;
        if (!ends_in_hole) {
            if (const SystemError e = WriteOutputAt(out, to, piece.data(), got)) return e;
        }
        at += got;
    }
    // The size fields lie in the head and the chunks before the samples: set, whatever was
    // skipped. A hole at the end still needs the file's last byte.
    for (int i = 0; i < d.sizes.count; ++i) {
        const WavSizeField& f = d.sizes.fields[i];
        if (const SystemError e = WriteOutputAt(out, f.offset, f.bytes, f.width)) return e;
    }
    if (ends_in_hole) {
        const std::uint8_t zero = 0;
        return WriteOutputAt(out, d.length + kRf64HeadGrowth - 1, &zero, 1);
    }
    return {};
}

}  // namespace tamberlyn
