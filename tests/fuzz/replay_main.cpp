// Runs the fuzz target over files and folders of inputs, for builds without libFuzzer.
#include <dirent.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

int Replay(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        std::fprintf(stderr, "replay: cannot read %s\n", path.c_str());
        return -1;
    }
    if (S_ISDIR(st.st_mode)) {
        int n = 0;
        DIR* dir = ::opendir(path.c_str());
        while (dirent* entry = dir ? ::readdir(dir) : nullptr) {
            if (entry->d_name[0] == '.') continue;
            const int more = Replay(path + "/" + entry->d_name);
            if (more < 0) return more;
            n += more;
        }
        if (dir) ::closedir(dir);
        return n;
    }
    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                          std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    int total = 0;
    for (int i = 1; i < argc; ++i) {
        const int n = Replay(argv[i]);
        if (n < 0) return 1;
        total += n;
    }
    std::printf("replayed %d inputs\n", total);
    return total > 0 ? 0 : 1;
}
