// Writes the bundled example: 30 seconds of dictation-like audio with long pauses.
#include <cstdio>

#include "speech_synth.h"

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : "dictation.wav";
    if (!tamberlyn_examples::WriteSpeechWav(path, 30, 20261208u)) {
        std::fprintf(stderr, "make_example: cannot write %s\n", path);
        return 1;
    }
    return 0;
}
