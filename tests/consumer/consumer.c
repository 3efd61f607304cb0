#include <stdio.h>
#include <tamberlyn.h>

int main(void) {
    static const tamberlyn_char16_t missing[] = {'/', 'n', 'o', '/', 's', 'u', 'c', 'h', 0};
    if (WAVSilence(missing, missing) != SILENCE_OPEN_FAILED) return 1;
    if (SoundRecorderStop() != 0) return 1;
    puts("consumer ok");
    return 0;
}
