// Fuzzes the DLE shielding of voice blocks. Input: a format byte, a block
// size byte pair, then the file's data. Properties: every byte is consumed
// exactly once; the stream is the same wherever the blocks are cut; and the
// modem, reading DLE pairs as one DLE, gets back the file's data (for raw
// data the bytes themselves, a lone final DLE paired so that it cannot take
// the end marker's; for fax pages the file; for the voice formats what the
// file's own pairs stand for).
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "voice/Shield.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Play(const uint8_t *file, size_t size, uint32_t format, uint32_t blockSize) {
    Bytes stream;
    Bytes out(2 * blockSize);
    size_t pos = 0;
    while (pos < size) {
        uint32_t n = uint32_t(size - pos < blockSize ? size - pos : blockSize);
        bool more = pos + n < size;
        auto r = voice::ShieldVoiceBlock(file + pos, n, format, more, out.data());
        if (r.consumed == 0 || r.consumed > n || r.written > 2 * n)
            std::abort();
        stream.insert(stream.end(), out.begin(), out.begin() + r.written);
        pos += r.consumed;
    }
    if (pos != size)
        std::abort();
    return stream;
}

Bytes Collapse(const uint8_t *s, size_t n) {
    Bytes out;
    for (size_t i = 0; i < n; ++i) {
        out.push_back(s[i]);
        if (s[i] == FALCREST_DLE && i + 1 < n && s[i + 1] == FALCREST_DLE)
            ++i;
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 3)
        return 0;
    const uint32_t format = data[0] % 10; // 0..9 covers every row of the table
    // Blocks of 2 bytes up to the real 1000: every boundary position is met.
    const uint32_t blockSize = 2 + (uint32_t(data[1]) << 8 | data[2]) % 999;
    const uint8_t *file = data + 3;
    const size_t n = size - 3;

    Bytes whole = Play(file, n, format, uint32_t(n ? n : 1));
    Bytes blocks = Play(file, n, format, blockSize);
    if (blocks != whole)
        std::abort();

    Bytes received = Collapse(blocks.data(), blocks.size());
    bool ok;
    if (format == 7) {
        Bytes expected(file, file + n);
        size_t run = 0;
        while (run < n && file[n - 1 - run] == FALCREST_DLE)
            ++run;
        if (run % 2)
            expected.push_back(FALCREST_DLE);
        ok = blocks == expected;
    } else if (format == 8)
        ok = received == Bytes(file, file + n);
    else
        ok = received == Collapse(file, n);
    if (!ok)
        std::abort();
    return 0;
}
