#include "runtime/output_file.h"

#if defined(_WIN32)
#include <windows.h>
#endif

#include <atomic>
#include <cstring>
#include <string>

#include "runtime/failure.h"

namespace tamberlyn {

namespace {

// Names of files being written beside their targets, read by a signal handler: fixed storage,
// each slot claimed (1), then published (2) once its name is whole.
constexpr int kSlots = 32;
constexpr std::size_t kMaxSlotName = 4096;
NativeChar g_names[kSlots][kMaxSlotName];
std::atomic<int> g_state[kSlots];
static_assert(std::atomic<int>::is_always_lock_free, "read by a signal handler");

SystemError WriteStream(void* context, const void* data, std::size_t size) {
    const auto* out = static_cast<const Output*>(context);
    if (out->stream != nullptr) {
        return SystemError{out->stream->write(out->stream->context, data, size)};
    }
    return WriteAll(out->file, data, size);
}

// A name for a message.
std::string Utf8Of(const NativeString& name) {
#if defined(_WIN32)
    const int n = WideCharToMultiByte(CP_UTF8, 0, name.data(), static_cast<int>(name.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) {
        WideCharToMultiByte(CP_UTF8, 0, name.data(), static_cast<int>(name.size()), out.data(), n,
                            nullptr, nullptr);
    }
    return out;
#else
    return name;
#endif
}

}  // namespace

int RememberPartialFile(const NativeString& path) {
    if (path.empty() || path.size() >= kMaxSlotName) return -1;
    for (int i = 0; i < kSlots; ++i) {
        int free = 0;
        if (!g_state[i].compare_exchange_strong(free, 1, std::memory_order_acquire)) continue;
        std::memcpy(g_names[i], path.c_str(), (path.size() + 1) * sizeof(NativeChar));
        g_state[i].store(2, std::memory_order_release);
        return i;
    }
    return -1;
}

void ForgetPartialFile(int slot) {
    if (slot >= 0) g_state[slot].store(0, std::memory_order_release);
}

void DiscardPartialFiles() {
    for (int i = 0; i < kSlots; ++i) {
        if (g_state[i].load(std::memory_order_acquire) == 2) RemoveFile(g_names[i]);
    }
}

tamberlyn_status OpenOutputStream(const tamberlyn_stream* stream, int role, Output& out) {
    out = Output{};
    out.role = role;
    out.stream = stream;
    out.direct = true;
    out.seekable = stream->write_at != nullptr;
    return TAMBERLYN_OK;
}

tamberlyn_status OpenOutputFile(const NativeChar* path, int role, Output& out) {
    out = Output{};
    out.role = role;
    if (IsDanglingLink(path)) {
        return Refuse(TAMBERLYN_E_REFUSED, role,
                      "is a symbolic link to a file that does not exist; nothing was written");
    }
    FileInfo info;
    const bool exists = !InfoAt(path, info);
    if (exists && info.kind == FileKind::kFolder) {
        return Fail(TAMBERLYN_E_WRITE, role, IsFolderError());
    }
    if (exists && info.kind != FileKind::kRegular) {
        // A device or a FIFO: nothing to replace, written as it is.
        if (const SystemError e = OpenToWrite(path, out.file)) {
            return Fail(TAMBERLYN_E_OPEN, role, e);
        }
        out.direct = true;
        return TAMBERLYN_OK;
    }
    if (exists && !info.writable) {
        return Refuse(TAMBERLYN_E_REFUSED, role, "is read-only; it was left as it is");
    }
    if (const SystemError e = CreateReplacement(path, out.replacement)) {
        return Fail(TAMBERLYN_E_CREATE, role, e);
    }
    out.file = out.replacement.file;
    out.seekable = true;
    out.slot = RememberPartialFile(out.replacement.temp);
    return TAMBERLYN_OK;
}

DataSink SinkOf(Output& out) { return {WriteStream, &out}; }

SystemError WriteOutputAt(Output& out, std::uint64_t offset, const void* data, std::size_t size) {
    if (out.stream != nullptr) {
        return SystemError{out.stream->write_at(out.stream->context, offset, data, size)};
    }
    return WriteAllAt(out.file, offset, data, size);
}

tamberlyn_status CommitOutput(Output& out) {
    if (out.stream != nullptr) return TAMBERLYN_OK;
    if (out.direct) {
        const FileHandle file = out.file;
        out.file = kNoFile;
        if (const SystemError e = CloseFile(file)) return Fail(TAMBERLYN_E_WRITE, out.role, e);
        return TAMBERLYN_OK;
    }
    // What replaces a file the user had must be on disk before the old one goes.
    if (const SystemError e = CommitReplacement(out.replacement, out.replacement.replaces)) {
        const Replacement r = out.replacement;
        AbandonOutput(out);
        if (r.in_place) {
            return FailWith(TAMBERLYN_E_WRITE, out.role, e,
                            "; the new file is in place, but its folder could not be synced: a "
                            "power cut may undo it");
        }
        if (r.target_gone) {
            return FailWith(TAMBERLYN_E_WRITE, out.role, e,
                            "; the old file is gone, and the new one is in '%s'",
                            Utf8Of(r.temp).c_str());
        }
        return Fail(TAMBERLYN_E_WRITE, out.role, e);
    }
    ForgetPartialFile(out.slot);
    out.slot = -1;
    out.file = kNoFile;
    return TAMBERLYN_OK;
}

void AbandonOutput(Output& out) {
    if (out.direct) {
        if (out.file != kNoFile) CloseFile(out.file);
        out.file = kNoFile;
        return;
    }
    DiscardReplacement(out.replacement);
    ForgetPartialFile(out.slot);
    out.slot = -1;
    out.file = kNoFile;
}

}  // namespace tamberlyn
