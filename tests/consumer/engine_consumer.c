/* A C caller of the engine library's interface: shortens a WAV file it makes in the folder it
   runs in, and reads a failure back. */
#include <stdio.h>
#include <string.h>
#include <tamberlyn_engine.h>

/* File names as the engine takes them: wide on Windows. */
#if defined(_WIN32)
#define NAME(text) L##text
#else
#define NAME(text) text
#endif

static void put32(FILE* f, unsigned v) {
    fputc((int)(v & 0xFF), f), fputc((int)(v >> 8 & 0xFF), f);
    fputc((int)(v >> 16 & 0xFF), f), fputc((int)(v >> 24 & 0xFF), f);
}

int main(void) {
    tamberlyn_shorten_summary summary;
    unsigned i;
    FILE* f = fopen("in.wav", "wb");
    if (f == NULL) return 1;
    /* 1 s of 8 kHz mono: a tone, then silence. */
    fwrite("RIFF", 1, 4, f), put32(f, 36 + 16000), fwrite("WAVEfmt ", 1, 8, f), put32(f, 16);
    put32(f, 1u | 1u << 16), put32(f, 8000), put32(f, 16000), put32(f, 2u | 16u << 16);
    fwrite("data", 1, 4, f), put32(f, 16000);
    for (i = 0; i < 8000; ++i) {
        const int v = i < 2000 ? (i % 16 < 8 ? 8000 : -8000) : 0;
        fputc(v & 0xFF, f), fputc(v >> 8 & 0xFF, f);
    }
    fclose(f);

    summary.struct_size = sizeof summary;
    if (tamberlyn_shorten_file(NAME("in.wav"), NAME("out.wav"), NULL, &summary) != TAMBERLYN_OK) {
        return 2;
    }
    if (summary.frames_in != 8000 || summary.frames_out != 2000 + 799) return 3;
    if (tamberlyn_shorten_file(NAME("no/such.wav"), NAME("out.wav"), NULL, NULL) !=
            TAMBERLYN_E_OPEN ||
        tamberlyn_error_file() != TAMBERLYN_FILE_INPUT || tamberlyn_error_system_code() == 0 ||
        strlen(tamberlyn_error_message()) == 0) {
        return 4;
    }
    printf("engine consumer ok (%s)\n", tamberlyn_version());
    return 0;
}
