// Where bytes come from and go to, whatever holds them: an open file, or a caller's functions.
// The silence engine's passes read and write through these, so that a file and a stream are
// shortened by the same code.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/native_file.h"

namespace tamberlyn {

// `read` gives up to `size` bytes, `got` 0 at the end.
struct DataSource {
    SystemError (*read)(void* context, void* data, std::size_t size, std::size_t& got);
    void* context;
};

// `write` takes all `size` bytes or says why not.
struct DataSink {
    SystemError (*write)(void* context, const void* data, std::size_t size);
    void* context;
};

// Over an open file, from its position; `file` must outlive them.
DataSource FileSource(FileHandle& file);
DataSink FileSink(FileHandle& file);

// A sink that keeps nothing: for counting what a pass would write.
DataSink CountingSink();

// Reads until `size` bytes are in or the source ends; `got` says how many.
SystemError ReadFullFrom(const DataSource& source, void* data, std::size_t size, std::size_t& got);

}  // namespace tamberlyn
