// Fuzzes the spoken amount text over arbitrary doubles (NaN, infinities,
// negatives, huge, tiny, -0.0). Properties: no read or write outside the
// buffers, and a text that is either empty or ends in " коп." with the
// kopecks as two digits before it.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "Tamsel.h"
#include "falcrest/Falcrest.h"
#include "voice/VUtil32.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    double amount;
    if (size < sizeof amount)
        return 0;
    std::memcpy(&amount, data, sizeof amount);
    uint32_t limit = size > sizeof amount ? data[sizeof amount] : 0;

    char *text = nullptr;
    int n = SoundizeNumberTXT(amount, &text, limit);
    if (!text || n < 0 || std::strlen(text) != size_t(n) || (limit && uint32_t(n) > limit))
        std::abort();
    Realloc(text, 0);

    char built[voice::kTextualNumberSize];
    uint32_t length = voice::BuildNumberText(amount, built, sizeof built);
    if (length != std::strlen(built))
        std::abort();
    if (length > 0) {
        // ", NN коп." closes every text: 9 bytes in Windows-1251.
        if (length < 9 || std::memcmp(built + length - 9, ", ", 2) != 0 ||
            built[length - 7] < '0' || built[length - 7] > '9' || built[length - 6] < '0' ||
            built[length - 6] > '9' || std::memcmp(built + length - 5, " \xEA\xEE\xEF.", 5) != 0)
            std::abort();
    }
    return 0;
}
