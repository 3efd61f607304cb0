#include "runtime/data_stream.h"

namespace tamberlyn {

namespace {

SystemError ReadFromFile(void* context, void* data, std::size_t size, std::size_t& got) {
    return ReadFull(*static_cast<FileHandle*>(context), data, size, got);
}

SystemError WriteToFile(void* context, const void* data, std::size_t size) {
    return WriteAll(*static_cast<FileHandle*>(context), data, size);
}

SystemError Discard(void*, const void*, std::size_t) { return {}; }

}  // namespace

DataSource FileSource(FileHandle& file) { return {ReadFromFile, &file}; }

DataSink FileSink(FileHandle& file) { return {WriteToFile, &file}; }

DataSink CountingSink() { return {Discard, nullptr}; }

SystemError ReadFullFrom(const DataSource& source, void* data, std::size_t size, std::size_t& got) {
    auto* bytes = static_cast<char*>(data);
    got = 0;
    while (got < size) {
        std::size_t n = 0;
        if (const SystemError e = source.read(source.context, bytes + got, size - got, n)) {
            return e;
        }
        if (n == 0) break;
        got += n;
    }
    return {};
}

}  // namespace tamberlyn
