#include "safe_output.h"

#include "messages.h"

namespace tamberlyn_cli {

bool OpenOutput(const NativeString& name, Output& out) {
    out = Output{};
    out.name = name;
    tamberlyn::FileInfo info;
    if (ArgIs(name.c_str(), "-")) {
        out.file = StandardOutput();
        if (out.file == tamberlyn::kNoFile) {
            Refuse(name, "standard output is closed");
            return false;
        }
        out.direct = true;
        // A regular file as standard output takes its sizes at the end, like any other.
        out.seekable = !tamberlyn::InfoOf(out.file, info) &&
                       info.kind == tamberlyn::FileKind::kRegular &&
                       !tamberlyn::SeekFile(out.file, 0);
        return true;
    }
    if (tamberlyn::IsDanglingLink(name.c_str())) {
        Refuse(name, "is a symbolic link to a file that does not exist; nothing was written");
        return false;
    }
    const bool exists = !tamberlyn::InfoAt(name.c_str(), info);
    if (exists && info.kind == tamberlyn::FileKind::kFolder) {
        Fail("cannot write", name, tamberlyn::IsFolderError());
        return false;
    }
    if (exists && info.kind != tamberlyn::FileKind::kRegular) {
        // A device or a FIFO: nothing to replace, written as it is.
        if (const tamberlyn::SystemError e = tamberlyn::OpenToWrite(name.c_str(), out.file)) {
            Fail("cannot open", name, e);
            return false;
        }
        out.direct = true;
        return true;
    }
    if (exists && !info.writable) {
        Refuse(name, "is read-only; it was left as it is");
        return false;
    }
    if (const tamberlyn::SystemError e =
            tamberlyn::CreateReplacement(name.c_str(), out.replacement)) {
        Fail("cannot create", name, e);
        return false;
    }
    out.file = out.replacement.file;
    out.seekable = true;
    if (!out.replacement.temp.empty()) RemoveOnInterrupt(out.replacement.temp);
    return true;
}

bool CommitOutput(Output& out) {
    if (out.direct) {
        const FileHandle file = out.file;
        out.file = tamberlyn::kNoFile;
        if (file == StandardOutput()) return true;
        if (const tamberlyn::SystemError e = tamberlyn::CloseFile(file)) {
            Fail("cannot write", out.name, e);
            return false;
        }
        return true;
    }
    // What replaces a file the user had must be on disk before the old one goes.
    const NativeString temp = out.replacement.temp;
    if (const tamberlyn::SystemError e =
            tamberlyn::CommitReplacement(out.replacement, out.replacement.replaces)) {
        Fail("cannot write", out.name, e);
        AbandonOutput(out);
        return false;
    }
    if (!temp.empty()) ForgetOnInterrupt(temp);
    out.file = tamberlyn::kNoFile;
    return true;
}

void AbandonOutput(Output& out) {
    if (out.direct) {
        if (out.file != tamberlyn::kNoFile && out.file != StandardOutput()) {
            tamberlyn::CloseFile(out.file);
        }
        out.file = tamberlyn::kNoFile;
        return;
    }
    if (!out.replacement.temp.empty()) ForgetOnInterrupt(out.replacement.temp);
    tamberlyn::DiscardReplacement(out.replacement);
    out.file = tamberlyn::kNoFile;
}

}  // namespace tamberlyn_cli
