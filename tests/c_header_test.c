/* The public header compiled as C: the types, the named results and a call through the export. */
#include "tamberlyn.h"

#include <stdio.h>

int main(void) {
    static const tamberlyn_char16_t missing[] = {'/', 'n', 'o', '-', 's', 'u', 'c', 'h', 0};
    static const tamberlyn_char16_t out[] = {'/', 't', 'm', 'p', '/', 'x', 0};
    int32_t (*silence)(const tamberlyn_char16_t*, const tamberlyn_char16_t*) = WAVSilence;
    if (sizeof(tamberlyn_char16_t) != 2 || RESULT_SUCCESS != 999) return 1;
    if (silence(missing, out) != SILENCE_OPEN_FAILED) return 1;
    if (silence(NULL, NULL) != SILENCE_OPEN_FAILED) return 1;
    puts("C client ok");
    return 0;
}
