/* Both public headers as a caller's C or C++ of any standard sees them: compiled, never run. */
#include "tamberlyn.h"
#include "tamberlyn_engine.h"

int header_user(void);

int header_user(void) {
    tamberlyn_shorten_options options;
    tamberlyn_pause_options pauses;
    int32_t (*silence)(const tamberlyn_char16_t*, const tamberlyn_char16_t*) = WAVSilence;
    tamberlyn_shorten_options_init(&options);
    tamberlyn_pause_options_init(&pauses);
    options.pauses = &pauses;
    return silence != 0 && options.struct_size == sizeof options ? RESULT_SUCCESS : 0;
}
