// The engine library through its public C interface, linked as a caller links it: a round trip
// per family of functions, and the failures a caller must be able to tell apart.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#if !defined(_WIN32)
#include "alsa_fixture.h"
#endif
#include "reference_silence.h"
#include "speech_builder.h"
#include "tamberlyn_engine.h"
#include "wav_builder.h"
#include "wav_reader.h"

namespace tamberlyn_test {
namespace {

using Span = std::pair<std::uint64_t, std::uint64_t>;

void TAMBERLYN_CALL CollectCut(void* context, std::uint64_t start, std::uint64_t end) {
    static_cast<std::vector<Span>*>(context)->push_back({start, end});
}

// Dictation with pauses of 1.5 s in white noise at -50 dBFS, 16 kHz mono.
Bytes NoisyDictation() {
    Recording r = Dictation(4, 1.5);
    AddNoise(r.samples, -50.0, 7);
    return Frames({r.samples});
}

tamberlyn_shorten_summary Summary() {
    tamberlyn_shorten_summary s{};
    s.struct_size = sizeof s;
    return s;
}

// A caller's stream over bytes in memory: read as a pipe, written with offsets.
struct Memory {
    Bytes bytes;
    std::size_t at = 0;
    static int TAMBERLYN_CALL Read(void* c, void* data, std::size_t size, std::size_t* done) {
        Memory& m = *static_cast<Memory*>(c);
        *done = std::min(size, m.bytes.size() - m.at);
        std::copy_n(m.bytes.begin() + static_cast<std::ptrdiff_t>(m.at), *done,
                    static_cast<std::uint8_t*>(data));
        m.at += *done;
        return 0;
    }
    static int TAMBERLYN_CALL Write(void* c, const void* data, std::size_t size) {
        auto& b = static_cast<Memory*>(c)->bytes;
        b.insert(b.end(), static_cast<const std::uint8_t*>(data),
                 static_cast<const std::uint8_t*>(data) + size);
        return 0;
    }
    static int TAMBERLYN_CALL WriteAt(void* c, std::uint64_t offset, const void* data,
                                      std::size_t size) {
        auto& b = static_cast<Memory*>(c)->bytes;
        std::copy_n(static_cast<const std::uint8_t*>(data), size,
                    b.begin() + static_cast<std::ptrdiff_t>(offset));
        return 0;
    }
    tamberlyn_stream Stream(bool input, bool offsets) {
        tamberlyn_stream s{};
        s.struct_size = sizeof s;
        s.context = this;
        if (input) s.read = Read;
        if (!input) s.write = Write;
        if (!input && offsets) s.write_at = WriteAt;
        return s;
    }
};

using NativeName = std::basic_string<tamberlyn_path_char>;

class EngineTest : public TempDirTest {
protected:
    // A file name as the engine takes it on this platform.
    NativeName Name(const std::string& name) const {
#if defined(_WIN32)
        return Path(name).wstring();
#else
        return NarrowPath(name);
#endif
    }

    // Shortens in.wav into out.wav with `threshold`, collecting what is cut in `cuts`.
    tamberlyn_status ShortenCollecting(std::int32_t threshold, std::vector<Span>& cuts,
                                       tamberlyn_shorten_summary* summary = nullptr) const {
        tamberlyn_pause_options pauses;
        tamberlyn_pause_options_init(&pauses);
        pauses.threshold = threshold;
        tamberlyn_shorten_options o;
        tamberlyn_shorten_options_init(&o);
        o.pauses = &pauses;
        o.on_cut = CollectCut;
        o.cut_context = &cuts;
        return tamberlyn_shorten_file(Name("in.wav").c_str(), Name("out.wav").c_str(), &o, summary);
    }
};

TEST_F(EngineTest, ShortenAtTheDefaultsIsTheLibrarysRule) {
    std::mt19937 rng(11);
    const Bytes data = RandomSignal(rng, 300000);
    const Bytes in = Wav(1, 8000, 16, data);
    WriteBytes(Path("in.wav"), in);
    tamberlyn_shorten_summary s = Summary();
    ASSERT_EQ(tamberlyn_shorten_file(Name("in.wav").c_str(), Name("out.wav").c_str(), nullptr, &s),
              TAMBERLYN_OK);
    const Bytes out = ReadBytes(Path("out.wav"));
    std::int32_t run = 0;
    const Bytes kept = ReferenceFilter(data.data(), data.size(), run);
    ASSERT_EQ(Bytes(out.begin() + 44, out.end()), kept);
    EXPECT_EQ(Get32(out, 40), kept.size());
    EXPECT_EQ(s.frames_in, data.size() / 2);
    EXPECT_EQ(s.frames_out, kept.size() / 2);
    EXPECT_STREQ(s.format, "16-bit PCM");
}

TEST_F(EngineTest, CutsAndLabelsDescribeExactlyWhatWasRemoved) {
    const Bytes data = NoisyDictation();
    WriteBytes(Path("in.wav"), Wav(1, kRate, 16, data));
    tamberlyn_pause_options pauses;
    tamberlyn_pause_options_init(&pauses);
    pauses.threshold = TAMBERLYN_THRESHOLD_AUTO;
    std::vector<Span> cuts;
    const NativeName labels = Name("cuts.txt");
    tamberlyn_shorten_options o;
    tamberlyn_shorten_options_init(&o);
    o.pauses = &pauses;
    o.on_cut = CollectCut;
    o.cut_context = &cuts;
    o.labels_path = labels.c_str();
    tamberlyn_shorten_summary s = Summary();
    ASSERT_EQ(tamberlyn_shorten_file(Name("in.wav").c_str(), Name("out.wav").c_str(), &o, &s),
              TAMBERLYN_OK);
    ASSERT_EQ(cuts.size(), 5u);  // every pause, the first and the last included
    EXPECT_EQ(s.cuts, cuts.size());
    EXPECT_TRUE(s.automatic);
    EXPECT_LT(s.background_high_dbfs, -40.0);

    // The output is the input without the cut frames, in order.
    Bytes expected;
    std::uint64_t from = 0;
    for (const Span& c : cuts) {
        expected.insert(expected.end(), data.begin() + static_cast<std::ptrdiff_t>(2 * from),
                        data.begin() + static_cast<std::ptrdiff_t>(2 * c.first));
        from = c.second;
    }
    expected.insert(expected.end(), data.begin() + static_cast<std::ptrdiff_t>(2 * from),
                    data.end());
    const Bytes out = ReadBytes(Path("out.wav"));
    EXPECT_EQ(Bytes(out.begin() + 44, out.end()), expected);
    EXPECT_EQ(s.frames_out, expected.size() / 2);

    const Bytes text = ReadBytes(Path("cuts.txt"));
    EXPECT_EQ(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')), cuts.size());
}

// 16-bit samples in another format, exactly: integers shifted up, floats scaled to full scale;
// 8-bit keeps the top byte.
Bytes Encode(const Bytes& s16, unsigned bits, bool floating) {
    Bytes out;
    for (std::size_t i = 0; i + 1 < s16.size(); i += 2) {
        const auto v = static_cast<std::int16_t>(s16[i] | s16[i + 1] << 8);
        if (floating) {
            const double x = v / 32768.0;
            std::uint8_t bytes[8];
            if (bits == 32) {
                const float f = static_cast<float>(x);
                std::memcpy(bytes, &f, 4);
            } else {
                std::memcpy(bytes, &x, 8);
            }
            out.insert(out.end(), bytes, bytes + bits / 8);
        } else if (bits == 8) {
            out.push_back(static_cast<std::uint8_t>((v >> 8) + 128));
        } else {
            const std::int32_t wide = static_cast<std::int32_t>(v) * (1 << (bits - 16));
            for (unsigned k = 0; k < bits / 8; ++k) {
                out.push_back(
                    static_cast<std::uint8_t>(static_cast<std::uint32_t>(wide) >> (8 * k)));
            }
        }
    }
    return out;
}

// Every WAV sample format is cut where its 16-bit original is, for a fixed threshold and for the
// detector, and its output holds exactly the input's frames outside the cuts.
TEST_F(EngineTest, EverySampleFormatIsCutWhereItsSixteenBitOriginalIs) {
    // Noise enough for 8 bits to hold it (about two of its steps), the samples exact in 8 bits.
    Recording r = Dictation(3, 1.2);
    AddNoise(r.samples, -38.0, 9);
    for (float& x : r.samples) x = std::round(x / 256.0f) * 256.0f;
    Bytes stereo;  // the dictation on one channel of two
    {
        const Bytes mono = Frames({r.samples});
        for (std::size_t i = 0; i < mono.size(); i += 2) {
            stereo.insert(stereo.end(), {mono[i], mono[i + 1], 0, 0});
        }
    }
    struct Case {
        unsigned bits;
        bool floating;
        bool extensible;
    };
    for (const std::int32_t threshold : {8000, TAMBERLYN_THRESHOLD_AUTO}) {
        std::vector<Span> reference;
        for (const Case c : {Case{16, false, false}, Case{8, false, false}, Case{24, false, true},
                             Case{32, false, false}, Case{32, true, false}, Case{64, true, true}}) {
            const Bytes data = Encode(stereo, c.bits, c.floating);
            WriteBytes(Path("in.wav"),
                       c.extensible ? ExtensibleWav(2, kRate, c.bits, 3, c.floating ? 3 : 1, data)
                                    : Wav(2, kRate, c.bits, data, {}, {}, c.floating ? 3 : 1));
            std::vector<Span> cuts;
            ASSERT_EQ(ShortenCollecting(threshold, cuts), TAMBERLYN_OK)
                << c.bits << " bits: " << tamberlyn_error_message();
            if (c.bits == 16) reference = cuts;
            EXPECT_EQ(cuts, reference) << c.bits << " bits, threshold " << threshold;
            ASSERT_FALSE(cuts.empty());
            const std::size_t frame = 2 * c.bits / 8;
            Bytes expected;
            std::uint64_t from = 0;
            for (const Span& span : cuts) {
                expected.insert(expected.end(),
                                data.begin() + static_cast<std::ptrdiff_t>(frame * from),
                                data.begin() + static_cast<std::ptrdiff_t>(frame * span.first));
                from = span.second;
            }
            expected.insert(expected.end(),
                            data.begin() + static_cast<std::ptrdiff_t>(frame * from), data.end());
            const Bytes out = ReadBytes(Path("out.wav"));
            const std::size_t head = out.size() - expected.size();
            EXPECT_EQ(Bytes(out.begin() + static_cast<std::ptrdiff_t>(head), out.end()), expected);
            EXPECT_EQ(Get32(out, static_cast<std::size_t>(head) - 4), expected.size());
        }
    }
}

TEST_F(EngineTest, StreamsGiveWhatFilesGive) {
    const Bytes file = Wav(1, kRate, 16, NoisyDictation());
    WriteBytes(Path("in.wav"), file);
    tamberlyn_pause_options pauses;
    tamberlyn_pause_options_init(&pauses);
    pauses.threshold = TAMBERLYN_THRESHOLD_AUTO;
    tamberlyn_shorten_options o;
    tamberlyn_shorten_options_init(&o);
    o.pauses = &pauses;
    ASSERT_EQ(tamberlyn_shorten_file(Name("in.wav").c_str(), Name("out.wav").c_str(), &o, nullptr),
              TAMBERLYN_OK);
    const Bytes expected = ReadBytes(Path("out.wav"));

    for (const bool offsets : {true, false}) {
        Memory in{file}, out;
        const tamberlyn_stream in_stream = in.Stream(true, false);
        const tamberlyn_stream out_stream = out.Stream(false, offsets);
        ASSERT_EQ(tamberlyn_shorten(nullptr, &in_stream, nullptr, &out_stream, &o, nullptr),
                  TAMBERLYN_OK);
        ASSERT_EQ(out.bytes.size(), expected.size());
        EXPECT_TRUE(std::equal(expected.begin() + 44, expected.end(), out.bytes.begin() + 44));
        // Without offsets nothing can be set at the end: a stream's unknown sizes.
        EXPECT_EQ(Get32(out.bytes, 40), offsets ? expected.size() - 44 : 0xFFFFFFFFu);
    }
}

TEST_F(EngineTest, DetectorFedInPiecesCutsAsShortenDoes) {
    const Bytes data = NoisyDictation();
    WriteBytes(Path("in.wav"), Wav(1, kRate, 16, data));
    tamberlyn_pause_options pauses;
    tamberlyn_pause_options_init(&pauses);
    pauses.threshold = TAMBERLYN_THRESHOLD_AUTO;
    std::vector<Span> by_shorten, by_detector;
    tamberlyn_shorten_summary shortened = Summary();
    ASSERT_EQ(ShortenCollecting(TAMBERLYN_THRESHOLD_AUTO, by_shorten, &shortened), TAMBERLYN_OK);

    tamberlyn_detector* d = nullptr;
    ASSERT_EQ(tamberlyn_detector_create(kRate, 1, &pauses, CollectCut, &by_detector, &d),
              TAMBERLYN_OK);
    std::vector<std::int16_t> samples(data.size() / 2);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<std::int16_t>(data[2 * i] | data[2 * i + 1] << 8);
    }
    for (std::size_t at = 0, piece = 1; at < samples.size(); at += piece, piece = piece * 5 + 3) {
        piece = std::min(piece, samples.size() - at);
        ASSERT_EQ(tamberlyn_detector_feed(d, samples.data() + at, piece), TAMBERLYN_OK);
    }
    tamberlyn_shorten_summary s = Summary();
    ASSERT_EQ(tamberlyn_detector_finish(d, &s), TAMBERLYN_OK);
    EXPECT_EQ(tamberlyn_detector_feed(d, samples.data(), 1), TAMBERLYN_E_ARGUMENT);
    tamberlyn_detector_free(d);
    EXPECT_EQ(by_detector, by_shorten);
    EXPECT_EQ(s.frames_in, samples.size());
    // And says what shortening says of the background.
    EXPECT_EQ(s.background_low_dbfs, shortened.background_low_dbfs);
    EXPECT_EQ(s.background_high_dbfs, shortened.background_high_dbfs);
    EXPECT_EQ(s.separable_share, shortened.separable_share);
    EXPECT_EQ(s.digital_silence_share, shortened.digital_silence_share);
    EXPECT_LT(s.background_high_dbfs, -20.0);
}

// The room tone before the first words is a pause however long it lasts, though the detector
// judges it only once they come within its lookahead.
TEST_F(EngineTest, TheQuietBeforeTheFirstWordsIsAPauseHoweverLong) {
    Recording r;
    AddSilence(r.samples, 8.0);
    const Recording words = Dictation(3, 1.5);
    r.samples.insert(r.samples.end(),
                     words.samples.begin() + static_cast<std::ptrdiff_t>(1.5 * kRate),
                     words.samples.end());
    AddNoise(r.samples, -50.0, 11);
    WriteBytes(Path("in.wav"), Wav(1, kRate, 16, Frames({r.samples})));
    std::vector<Span> cuts;
    ASSERT_EQ(ShortenCollecting(TAMBERLYN_THRESHOLD_AUTO, cuts), TAMBERLYN_OK);
    ASSERT_FALSE(cuts.empty());
    EXPECT_EQ(cuts[0].first, static_cast<std::uint64_t>(0.1 * kRate));
    EXPECT_GT(cuts[0].second, static_cast<std::uint64_t>(7.6 * kRate));
    EXPECT_LE(cuts[0].second, static_cast<std::uint64_t>(7.85 * kRate));
}

TEST_F(EngineTest, FailuresNameTheirFileAndStayOnTheirThread) {
    ASSERT_EQ(tamberlyn_shorten_file(Name("absent.wav").c_str(), Name("out.wav").c_str(), nullptr,
                                     nullptr),
              TAMBERLYN_E_OPEN);
    EXPECT_EQ(tamberlyn_error_file(), TAMBERLYN_FILE_INPUT);
    EXPECT_NE(tamberlyn_error_system_code(), 0);
    const std::string reason = tamberlyn_error_message();
    EXPECT_FALSE(reason.empty());
    EXPECT_FALSE(Exists(Path("out.wav")));

    WriteBytes(Path("alaw.wav"), Wav(1, 8000, 8, Bytes(400), {}, {}, 6));
    std::thread([&] {
        EXPECT_EQ(tamberlyn_shorten_file(Name("alaw.wav").c_str(), Name("out.wav").c_str(), nullptr,
                                         nullptr),
                  TAMBERLYN_E_UNSUPPORTED);
        EXPECT_EQ(tamberlyn_error_system_code(), 0);
    }).join();
    EXPECT_EQ(tamberlyn_error_status(), TAMBERLYN_E_OPEN);
    EXPECT_EQ(tamberlyn_error_message(), reason);
}

TEST_F(EngineTest, RepairFinishesWhatInspectFindsUnfinished) {
    Bytes file(44, 0);
    AppendSamples(file, 12000, 1234);  // 1.5 s behind the recorder's placeholder
    WriteBytes(Path("rec.wav"), file);
    tamberlyn_wav_info info{};
    info.struct_size = sizeof info;
    ASSERT_EQ(tamberlyn_wav_inspect(Name("rec.wav").c_str(), &info), TAMBERLYN_OK);
    EXPECT_EQ(info.state, TAMBERLYN_WAV_UNFINISHED_RECORDING);
    EXPECT_TRUE(info.repairable);
    EXPECT_DOUBLE_EQ(info.seconds, 1.5);

    ASSERT_EQ(tamberlyn_wav_repair(Name("rec.wav").c_str(), nullptr), TAMBERLYN_OK);
    ASSERT_EQ(tamberlyn_wav_inspect(Name("rec.wav").c_str(), &info), TAMBERLYN_OK);
    EXPECT_EQ(info.state, TAMBERLYN_WAV_FINISHED);
    EXPECT_EQ(info.data_size, 24000u);

    WriteBytes(Path("text.wav"), Bytes(100, 'x'));
    EXPECT_EQ(tamberlyn_wav_repair(Name("text.wav").c_str(), &info), TAMBERLYN_E_NOT_WAV);
    EXPECT_EQ(info.state, TAMBERLYN_WAV_NOT_WAV);
}

TEST_F(EngineTest, RecordsFromAnOlderCallerTakeDefaultsAndAreFilledNoFurther) {
    std::mt19937 rng(3);
    WriteBytes(Path("in.wav"), Wav(1, 8000, 16, RandomSignal(rng, 20000)));
    // A caller that knew the options only up to `pauses`, and the summary only up to `rate`.
    tamberlyn_shorten_options o;
    std::fill_n(reinterpret_cast<std::uint8_t*>(&o), sizeof o, 0xAB);
    o.struct_size = offsetof(tamberlyn_shorten_options, on_cut);
    o.pauses = nullptr;
    tamberlyn_shorten_summary s;
    std::fill_n(reinterpret_cast<std::uint8_t*>(&s), sizeof s, 0xCD);
    s.struct_size = offsetof(tamberlyn_shorten_summary, channels);
    ASSERT_EQ(tamberlyn_shorten_file(Name("in.wav").c_str(), Name("out.wav").c_str(), &o, &s),
              TAMBERLYN_OK);
    EXPECT_EQ(s.rate, 8000u);
    EXPECT_EQ(s.channels, 0xCDCDCDCDu);
    o.struct_size = 2;
    EXPECT_EQ(tamberlyn_shorten_file(Name("in.wav").c_str(), Name("out.wav").c_str(), &o, &s),
              TAMBERLYN_E_ARGUMENT);
}

#if !defined(_WIN32)
class EngineRecorderTest : public AlsaTest {};

void TAMBERLYN_CALL CountEvent(void* context, const tamberlyn_record_event* e) {
    auto& kinds = *static_cast<std::vector<int>*>(context);
    kinds.push_back(e->kind);
}

TEST_F(EngineRecorderTest, RecordsTheBlockLimitAndSaysSo) {
    std::vector<int> events;
    tamberlyn_record_options o;
    tamberlyn_record_options_init(&o);
    o.block_limit = 3;
    o.on_event = CountEvent;
    o.event_context = &events;
    tamberlyn_recorder* r = nullptr;
    ASSERT_EQ(tamberlyn_recorder_create(&r), TAMBERLYN_OK);
    ASSERT_EQ(tamberlyn_recorder_start(r, NarrowPath("rec.wav").c_str(), &o), TAMBERLYN_OK);
    ASSERT_TRUE(WaitForBlocks(Path("rec.wav"), 3));
    tamberlyn_record_result result{};
    result.struct_size = sizeof result;
    ASSERT_EQ(tamberlyn_recorder_stop(r, &result), TAMBERLYN_OK);
    tamberlyn_recorder_free(r);
    EXPECT_EQ(result.blocks, 3);
    ExpectValidRecording(ReadBytes(Path("rec.wav")), 3);
    const std::vector<int> expected = {TAMBERLYN_EVENT_BLOCK_WRITTEN, TAMBERLYN_EVENT_BLOCK_WRITTEN,
                                       TAMBERLYN_EVENT_BLOCK_WRITTEN,
                                       TAMBERLYN_EVENT_LIMIT_REACHED};
    EXPECT_EQ(std::vector<int>(events.begin(), events.begin() + 4), expected);
}

TEST_F(EngineRecorderTest, AnExistingFileIsReplacedOnlyWhenAsked) {
    WriteBytes(Path("old.wav"), Bytes(10, 'o'));
    tamberlyn_recorder* r = nullptr;
    ASSERT_EQ(tamberlyn_recorder_create(&r), TAMBERLYN_OK);
    tamberlyn_record_options o;
    tamberlyn_record_options_init(&o);
    EXPECT_EQ(tamberlyn_recorder_start(r, NarrowPath("old.wav").c_str(), &o), TAMBERLYN_E_EXISTS);
    o.existing = TAMBERLYN_RECORD_REPLACE;
    o.block_limit = 1;
    ASSERT_EQ(tamberlyn_recorder_start(r, NarrowPath("old.wav").c_str(), &o), TAMBERLYN_OK);
    EXPECT_EQ(ReadBytes(Path("old.wav")), Bytes(10, 'o'));  // whole until the recording is
    EXPECT_EQ(tamberlyn_recorder_start(r, NarrowPath("b.wav").c_str(), &o), TAMBERLYN_E_BUSY);
    ASSERT_TRUE(WaitForBlocks(tamberlyn_recorder_file(r), 1));
    tamberlyn_record_result result{};
    result.struct_size = sizeof result;
    ASSERT_EQ(tamberlyn_recorder_stop(r, &result), TAMBERLYN_OK);
    EXPECT_EQ(std::string(tamberlyn_recorder_file(r)), NarrowPath("old.wav"));
    tamberlyn_recorder_free(r);
    ExpectValidRecording(ReadBytes(Path("old.wav")), 1);
    EXPECT_EQ(EntriesInDir(), 3u);  // samples.raw, its configuration, old.wav
}

TEST_F(EngineRecorderTest, ALiveRecordingIsToldFromAnUnfinishedOneAndItsLossIsNamed) {
    UseConfig(
        "pcm.!default { type file slave.pcm { type null } infile \"/dev/zero\" "
        "file \"/dev/null\" }");
    tamberlyn_recorder* r = nullptr;
    ASSERT_EQ(tamberlyn_recorder_create(&r), TAMBERLYN_OK);
    ASSERT_EQ(tamberlyn_recorder_start(r, NarrowPath("live.wav").c_str(), nullptr), TAMBERLYN_OK);
    ASSERT_TRUE(WaitForBlocks(Path("live.wav"), 1));
    tamberlyn_wav_info info{};
    info.struct_size = sizeof info;
    ASSERT_EQ(tamberlyn_wav_inspect(NarrowPath("live.wav").c_str(), &info), TAMBERLYN_OK);
    EXPECT_EQ(info.state, TAMBERLYN_WAV_BEING_RECORDED);
    EXPECT_EQ(tamberlyn_wav_repair(NarrowPath("live.wav").c_str(), nullptr), TAMBERLYN_E_BUSY);

    // Deleted while it is written: the stop says the recording is not there.
    fs::remove(Path("live.wav"));
    tamberlyn_record_result result{};
    result.struct_size = sizeof result;
    EXPECT_EQ(tamberlyn_recorder_stop(r, &result), TAMBERLYN_E_WRITE);
    EXPECT_TRUE(result.vanished);
    tamberlyn_recorder_free(r);
}
#endif

}  // namespace
}  // namespace tamberlyn_test
