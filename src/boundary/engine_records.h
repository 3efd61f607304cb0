// The engine library's C boundary: records that grow by their size field, and a guard that
// keeps every C++ exception inside.
#pragma once

#include <cstddef>
#include <cstring>
#include <new>

#include "runtime/failure.h"
#include "tamberlyn_engine.h"

namespace tamberlyn {

// The caller's record over `defaults`: the fields the caller's header knows, the rest as they
// are. False for a size that cannot be a record of this kind.
template <typename Record>
bool ReadRecord(const Record* in, Record& out) {
    if (in == nullptr || in->struct_size < sizeof(tamberlyn_uint32)) return false;
    const std::size_t n = in->struct_size < sizeof(Record) ? in->struct_size : sizeof(Record);
    const tamberlyn_uint32 size = out.struct_size;
    std::memcpy(&out, in, n);
    out.struct_size = size;
    return true;
}

// Gives the caller as much of `in` as its record holds.
template <typename Record>
void WriteRecord(const Record& in, Record* out) {
    if (out == nullptr || out->struct_size < sizeof(tamberlyn_uint32)) return;
    const std::size_t n = out->struct_size < sizeof(Record) ? out->struct_size : sizeof(Record);
    const tamberlyn_uint32 size = out->struct_size;
    std::memcpy(out, &in, n);
    out->struct_size = size;
}

template <typename Record>
Record Fresh() {
    Record r;
    std::memset(&r, 0, sizeof r);
    r.struct_size = sizeof r;
    return r;
}

// Runs `body`, turning anything it throws into a status.
template <typename Body>
tamberlyn_status Guarded(Body body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return Refuse(TAMBERLYN_E_NO_MEMORY, TAMBERLYN_FILE_NONE, "out of memory");
    } catch (...) {
        return Refuse(TAMBERLYN_E_ARGUMENT, TAMBERLYN_FILE_NONE, "an unexpected failure");
    }
}

inline tamberlyn_status BadArgument(const char* what) {
    return Refuse(TAMBERLYN_E_ARGUMENT, TAMBERLYN_FILE_NONE, "%s", what);
}

}  // namespace tamberlyn
