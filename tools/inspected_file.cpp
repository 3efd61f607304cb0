#include "inspected_file.h"

#include "messages.h"

namespace tamberlyn_cli {

bool InspectFile(const NativeString& name, WavInput& file) {
    if (!OpenWavInput(name, file)) return false;
    if (!file.seekable) {
        Refuse(name, "not a regular file");
        CloseWavInput(file);
        return false;
    }
    return true;
}

}  // namespace tamberlyn_cli
