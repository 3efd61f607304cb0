// What every platform shares: the seam in front of the operations on open files, and the
// whole-buffer loops over them.
#include <atomic>

#include "runtime/native_file.h"

namespace tamberlyn {

namespace {

std::atomic<const FileOps*> g_replacement{nullptr};

const FileOps& Ops() {
    const FileOps* replacement = g_replacement.load(std::memory_order_acquire);
    return replacement != nullptr ? *replacement : PlatformFileOps();
}

}  // namespace

void ReplaceFileOpsForTesting(const FileOps* ops) {
    g_replacement.store(ops, std::memory_order_release);
}

SystemError ReadFull(FileHandle file, void* data, std::size_t size, std::size_t& got) {
    auto* bytes = static_cast<char*>(data);
    got = 0;
    while (got < size) {
        std::size_t n = 0;
        if (const SystemError e = Ops().read(file, bytes + got, size - got, n)) return e;
        if (n == 0) break;
        got += n;
    }
    return {};
}

SystemError ReadFullAt(FileHandle file, std::uint64_t offset, void* data, std::size_t size,
                       std::size_t& got) {
    auto* bytes = static_cast<char*>(data);
    got = 0;
    while (got < size) {
        std::size_t n = 0;
        if (const SystemError e = Ops().read_at(file, offset + got, bytes + got, size - got, n)) {
            return e;
        }
        if (n == 0) break;
        got += n;
    }
    return {};
}

SystemError WriteAll(FileHandle file, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        std::size_t n = 0;
        if (const SystemError e = Ops().write(file, bytes, size, n)) return e;
        if (n == 0) return NoSpaceError();
        bytes += n;
        size -= n;
    }
    return {};
}

SystemError WriteAllAt(FileHandle file, std::uint64_t offset, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        std::size_t n = 0;
        if (const SystemError e = Ops().write_at(file, offset, bytes, size, n)) return e;
        if (n == 0) return NoSpaceError();
        bytes += n;
        size -= n;
        offset += n;
    }
    return {};
}

SystemError SeekFile(FileHandle file, std::uint64_t offset) { return Ops().seek(file, offset); }

SystemError TruncateFile(FileHandle file, std::uint64_t size) { return Ops().truncate(file, size); }

SystemError SyncFile(FileHandle file) { return Ops().sync(file); }

SystemError CloseFile(FileHandle file) { return Ops().close(file); }

SystemError ReplaceInFolder(const NativeChar* target, const NativeChar* temp, bool replaces,
                            bool& target_gone) {
    return Ops().replace(target, temp, replaces, target_gone);
}

NativeString HiddenNameBeside(const NativeString& target, const NativeString& suffix) {
#if defined(_WIN32)
    const std::size_t slash = target.find_last_of(L"\\/");
#else
    const std::size_t slash = target.find_last_of('/');
#endif
    const std::size_t base = slash == NativeString::npos ? 0 : slash + 1;
    NativeString name = target.substr(0, base);
    name += NativeChar('.');
    name += target.substr(base);
    name += suffix;
    return name;
}

}  // namespace tamberlyn
