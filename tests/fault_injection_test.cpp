// Failures put into the file layer where the real ones are rare: a write that comes up short and
// then fails, a sync that fails, a close that fails. WAVSilence, the recorder's finish and the
// program's silence and repair must not report success, and no file the user had may be lost.
// The program's commands run in this process, on every platform the same.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "boundary/module_recorder.h"
#include "commands.h"
#include "recorder/capture_service.h"
#include "runtime/native_file.h"
#include "signal_builder.h"
#include "tamberlyn.h"
#include "test_capture_service.h"
#include "test_files.h"
#include "wav_reader.h"

namespace tamberlyn_test {
namespace {

using tamberlyn::FileHandle;
using tamberlyn::SystemError;

enum class Fault { kShortWrite, kSync, kClose, kFolderSync, kReplaceCannotMove };

// The platform's operations, with one kind of failure.
struct Faulty {
    static Fault fault;
    static std::size_t write_budget;  // bytes written before a short write and then failures

    static SystemError Write(FileHandle f, const void* data, std::size_t size, std::size_t& put) {
        if (fault == Fault::kShortWrite) {
            if (write_budget == 0) return tamberlyn::NoSpaceError();
            size = std::min(size, write_budget);
            write_budget -= size;
        }
        return tamberlyn::PlatformFileOps().write(f, data, size, put);
    }
    static SystemError WriteAt(FileHandle f, std::uint64_t at, const void* data, std::size_t size,
                               std::size_t& put) {
        if (fault == Fault::kShortWrite) {
            if (write_budget == 0) return tamberlyn::NoSpaceError();
            size = std::min(size, write_budget);
            write_budget -= size;
        }
        return tamberlyn::PlatformFileOps().write_at(f, at, data, size, put);
    }
    static SystemError Sync(FileHandle f) {
        const SystemError e = tamberlyn::PlatformFileOps().sync(f);
        tamberlyn::FileInfo info;
        const bool folder =
            !tamberlyn::InfoOf(f, info) && info.kind == tamberlyn::FileKind::kFolder;
        if (fault == Fault::kFolderSync) return folder ? SystemError{5} : e;  // EIO
        return fault == Fault::kSync ? tamberlyn::NoSpaceError() : e;
    }
    // What ReplaceFileW does when something holds the new file: the old one is gone already.
    static SystemError Replace(const tamberlyn::NativeChar* target,
                               const tamberlyn::NativeChar* temp, bool replaces, bool& gone) {
        if (fault != Fault::kReplaceCannotMove || !replaces) {
            return tamberlyn::PlatformFileOps().replace(target, temp, replaces, gone);
        }
        tamberlyn::RemoveFile(target);
        return SystemError{1176};  // ERROR_UNABLE_TO_MOVE_REPLACEMENT
    }
    static SystemError Close(FileHandle f) {
        const SystemError e = tamberlyn::PlatformFileOps().close(f);
        return fault == Fault::kClose ? tamberlyn::NoSpaceError() : e;
    }
    static const tamberlyn::FileOps& Ops() {
        static tamberlyn::FileOps ops = [] {
            tamberlyn::FileOps o = tamberlyn::PlatformFileOps();
            o.write = Write;
            o.write_at = WriteAt;
            o.sync = Sync;
            o.close = Close;
            o.replace = Replace;
            return o;
        }();
        return ops;
    }
};
Fault Faulty::fault = Fault::kSync;
std::size_t Faulty::write_budget = 0;

const char* Name(Fault f) {
    return f == Fault::kShortWrite ? "short write"
           : f == Fault::kSync     ? "failed sync"
                                   : "failed close";
}

class FaultInjection : public TempDirTest {
protected:
    void Inject(Fault fault, std::size_t budget = 30000) {
        Faulty::fault = fault;
        Faulty::write_budget = budget;
        tamberlyn::ReplaceFileOpsForTesting(&Faulty::Ops());
    }
    void TearDown() override {
        tamberlyn::ReplaceFileOpsForTesting(nullptr);
        TempDirTest::TearDown();
    }
    // Runs the program in this process: words as they are, names of files in the test's folder.
    int Program(const std::vector<std::string>& words, const std::vector<std::string>& files) {
        std::vector<tamberlyn::NativeString> args = {tamberlyn::NativeString(1, 't')};
        for (const std::string& w : words) args.emplace_back(w.begin(), w.end());
        for (const std::string& f : files) args.push_back(Path(f).native());
        std::vector<tamberlyn::NativeChar*> argv;
        for (auto& a : args) argv.push_back(a.data());
        return tamberlyn_cli::RunProgram(static_cast<int>(argv.size()), argv.data());
    }
    Bytes Dictation() {
        std::mt19937 rng(11);
        Bytes b = {'R',  'I',  'F', 'F', 0, 0, 0,  0, 'W', 'A', 'V',  'E',  'f', 'm',
                   't',  ' ',  16,  0,   0, 0, 1,  0, 1,   0,   0x40, 0x1F, 0,   0,
                   0x80, 0x3E, 0,   0,   2, 0, 16, 0, 'd', 'a', 't',  'a'};
        const Bytes data = RandomSignal(rng, 200000);
        for (std::uint32_t v : {static_cast<std::uint32_t>(data.size())})
            for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        b.insert(b.end(), data.begin(), data.end());
        const auto riff = static_cast<std::uint32_t>(b.size() - 8);
        for (int i = 0; i < 4; ++i) b[4 + i] = static_cast<std::uint8_t>(riff >> (8 * i));
        return b;
    }
};

TEST_F(FaultInjection, WavSilenceReportsAShortWriteAndAFailedClose) {
    WriteBytes(Path("in.wav"), Dictation());
    for (Fault fault : {Fault::kShortWrite, Fault::kClose}) {
        Inject(fault);
        EXPECT_EQ(WAVSilence(WidePath("in.wav").c_str(), WidePath("out.wav").c_str()),
                  SILENCE_IO_FAILED)
            << Name(fault);
        tamberlyn::ReplaceFileOpsForTesting(nullptr);
    }
}

TEST_F(FaultInjection, SilenceNeverReplacesOutWithLessThanAWholeFile) {
    const Bytes old = {'o', 'l', 'd'};
    WriteBytes(Path("in.wav"), Dictation());
    for (Fault fault : {Fault::kShortWrite, Fault::kSync, Fault::kClose}) {
        WriteBytes(Path("out.wav"), old);
        Inject(fault);
        EXPECT_EQ(Program({"silence"}, {"in.wav", "out.wav"}), 1) << Name(fault);
        tamberlyn::ReplaceFileOpsForTesting(nullptr);
        EXPECT_EQ(ReadBytes(Path("out.wav")), old) << Name(fault);
        EXPECT_EQ(EntriesInDir(), 2u) << Name(fault);  // no temporary file left
    }
}

#if defined(_WIN32)
TEST_F(FaultInjection, ANewFileThatReplaceFileCannotMoveStillTakesTheOldOnesPlace) {
    WriteBytes(Path("in.wav"), Dictation());
    WriteBytes(Path("out.wav"), {'o', 'l', 'd'});
    Inject(Fault::kReplaceCannotMove);
    EXPECT_EQ(Program({"silence"}, {"in.wav", "out.wav"}), 0);
    tamberlyn::ReplaceFileOpsForTesting(nullptr);
    EXPECT_GT(ReadBytes(Path("out.wav")).size(), 44u);
    EXPECT_EQ(EntriesInDir(), 2u);
}
#else
TEST_F(FaultInjection, AFolderThatCannotBeSyncedIsNamedWithTheNewFileInPlace) {
    WriteBytes(Path("in.wav"), Dictation());
    WriteBytes(Path("out.wav"), {'o', 'l', 'd'});
    Inject(Fault::kFolderSync);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Program({"silence"}, {"in.wav", "out.wav"}), 1);
    const std::string said = ::testing::internal::GetCapturedStderr();
    tamberlyn::ReplaceFileOpsForTesting(nullptr);
    EXPECT_NE(said.find("the new file is in place"), std::string::npos) << said;
    EXPECT_GT(ReadBytes(Path("out.wav")).size(), 44u);
    EXPECT_EQ(EntriesInDir(), 2u);
}
#endif

TEST_F(FaultInjection, AFailedRepairSaysSoAndCanBeRepeated) {
    Bytes killed(44, 0);
    killed.insert(killed.end(), 3 * 16000, 9);
    for (Fault fault : {Fault::kShortWrite, Fault::kSync, Fault::kClose}) {
        WriteBytes(Path("rec.wav"), killed);
        Inject(fault, 20);
        EXPECT_EQ(Program({"repair"}, {"rec.wav"}), 1) << Name(fault);
        tamberlyn::ReplaceFileOpsForTesting(nullptr);
        const Bytes after = ReadBytes(Path("rec.wav"));
        ASSERT_EQ(after.size(), killed.size()) << Name(fault);  // nothing cut
        EXPECT_TRUE(std::equal(after.begin() + 44, after.end(), killed.begin() + 44));
        EXPECT_EQ(Program({"repair"}, {"rec.wav"}), 0) << Name(fault);
        EXPECT_EQ(Program({"info"}, {"rec.wav"}), 0) << Name(fault);
    }
}

TEST_F(FaultInjection, TheRecordersFinishReportsAFailedSync) {
    TestCaptureService& service = TestCaptureService::Instance();
    service.Reset();
    tamberlyn::ReplaceCaptureServiceForTesting(&service.Table());
    ASSERT_EQ(SoundRecorderStart(WidePath("a.wav").c_str()), RESULT_SUCCESS);
    service.Deliver(2);
    Inject(Fault::kSync);
    EXPECT_EQ(SoundRecorderStop(), 2);  // the export returns the count, as ever
    EXPECT_TRUE(tamberlyn::ModuleRecorderFinishError());

    // The program says so and fails.
    tamberlyn::ReplaceFileOpsForTesting(nullptr);
    service.Reset();
    std::thread blocks([&] {
        // Delivered once the program's recording runs: a delivery before its start is dropped.
        while (service.Calls().empty() || service.Calls().back() != "start")
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        service.Deliver(2);
    });
    Inject(Fault::kSync);
    EXPECT_EQ(Program({"record", "--seconds", "2"}, {"b.wav"}), 1);
    blocks.join();
    tamberlyn::ReplaceFileOpsForTesting(nullptr);
    tamberlyn::ReplaceCaptureServiceForTesting(nullptr);
}

TEST_F(FaultInjection, CommandsRunTwiceInOneProcessDoTheSameTwice) {
    WriteBytes(Path("in.wav"), Dictation());
    ASSERT_EQ(Program({"silence", "--threshold", "200", "--cuts"}, {"a.txt", "in.wav", "a.wav"}),
              0);
    ASSERT_EQ(Program({"silence", "--threshold", "200", "--cuts"}, {"b.txt", "in.wav", "b.wav"}),
              0);
    EXPECT_EQ(ReadBytes(Path("a.txt")), ReadBytes(Path("b.txt")));

    TestCaptureService& service = TestCaptureService::Instance();
    tamberlyn::ReplaceCaptureServiceForTesting(&service.Table());
    for (const char* name : {"r1.wav", "r2.wav"}) {
        service.Reset();
        std::thread blocks([&] {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
            while ((service.Calls().empty() || service.Calls().back() != "start") &&
                   std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            service.Deliver(2);
        });
        EXPECT_EQ(Program({"record", "--seconds", "2"}, {name}), 0) << name;
        blocks.join();
        ExpectValidRecording(ReadBytes(Path(name)), 2);
    }
    tamberlyn::ReplaceCaptureServiceForTesting(nullptr);
}

}  // namespace
}  // namespace tamberlyn_test
