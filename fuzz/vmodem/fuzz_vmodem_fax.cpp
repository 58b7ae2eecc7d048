// Fuzzes the fax page decoder with arbitrary page data.
#include "MhDecoder.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    vmodem::SFaxPage page = vmodem::DecodeMhPage(data, size);
    for (const auto &row : page.rows)
        if (row.size() != size_t(vmodem::kFaxRowBytes))
            std::abort();
    if (vmodem::PageToPbm(page).size() < page.rows.size() * vmodem::kFaxRowBytes)
        std::abort();
    return 0;
}
