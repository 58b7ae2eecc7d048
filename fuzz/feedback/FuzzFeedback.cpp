// Fuzzes the DLE scan of GetCommFeedback. Property: whatever the chunk sizes,
// the raw output and the tokens account for every input byte in order, the
// text is the raw output without NULs, and only an unpaired final DLE stays
// behind in the queue.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "DleScanModel.h"
#include "serial/EngineState.h"

namespace {

void Check(bool ok) {
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2)
        return 0;
    uint32_t format = data[0] % 3;
    uint32_t step = 1 + data[1] % 64;
    std::string input(reinterpret_cast<const char *>(data + 2), size - 2);

    idComDev = 1;
    dwFeedbackFormat = format;
    szInQueue.Reset();
    szInQueue.Append(input.data(), uint32_t(input.size()));

    std::string raw, codes, text;
    for (uint32_t round = 0; round < 1000000; ++round) {
        char *t = nullptr, *c = nullptr;
        char buffer[128];
        uint32_t length = 1 + (step * (round + 1)) % 97; // varying chunk sizes
        int got = GetCommFeedback(&t, &c, buffer, &length);
        Check(length <= 97);
        raw.append(buffer, length);
        if (t)
            text += t;
        if (c)
            codes += c;
        // A lone DLE put back with a one-byte chunk yields nothing; go on
        // while more than that waits.
        bool more = got && (length || (c && *c) || szInQueue.GetLength() > 1);
        Realloc(t, 0);
        Realloc(c, 0);
        if (!more)
            break;
    }

    std::string wantRaw, wantCodes;
    bool heldBack;
    testing_support::ExpectedDleScan(input, format, wantRaw, wantCodes, heldBack);
    Check(raw == wantRaw);
    Check(codes == wantCodes);
    std::string noNuls;
    for (char ch : wantRaw)
        if (ch)
            noNuls += ch;
    Check(text == noNuls);
    Check(szInQueue.GetLength() == (heldBack ? 1u : 0u));
    szInQueue.Reset();
    idComDev = plat::kInvalidPort;
    return 0;
}
