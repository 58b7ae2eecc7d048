// The fax line operations: test line, coded lines, fill, EOL and RTC packed
// from bit texts and queued for the transmit thread, every DLE doubled; and
// SetupRenderPort, which asks the system for its printer drivers.
#include <algorithm>
#include <string>

#include "FaxCodes.h"
#include "falcrest/Falcrest.h"
#include "platform/Printers.h"
#include "serial/Engine.h"

namespace {

// One complete coded line: EOL, white 0, black 640 + 0, white 1088 + 0, that
// is 640 black pels and then 1088 white ones.
constexpr char kTestLine[] = "000000000001001101010000001001010000011011101101011000110101";
constexpr char kEol[] = "000000000001";
// Return to control: six EOLs.
constexpr char kRtc[] = "000000000001000000000001000000000001"
                        "000000000001000000000001000000000001";
// A fill piece of 12 zero bits packs to 2 zero bytes.
constexpr int kFillPiece = 12;
constexpr int kFillPieceBytes = 2;

constexpr int Length(const char *text) {
    return static_cast<int>(std::char_traits<char>::length(text));
}

// Packs count characters of bits and queues the bytes with one append, each
// DLE doubled: the page data ends with DLE ETX in the same stream, so a coded
// line holding 0x10 0x03 would end it early. The trailer goes behind as it
// is. Returns the bytes queued.
int QueueBits(const char *bits, int count, const char *trailer = "", int trailerBytes = 0) {
    char *packed = nullptr;
    const int n = Binstr2Bin(packed, bits, count);
    if (n <= 0)
        return 0;
    std::string shielded;
    try {
        shielded.reserve(2 * static_cast<size_t>(n) + static_cast<size_t>(trailerBytes));
        for (int i = 0; i < n; ++i) {
            shielded += packed[i];
            if (packed[i] == char(FALCREST_DLE))
                shielded += packed[i];
        }
        shielded.append(trailer, static_cast<size_t>(trailerBytes));
    } catch (...) {
        Realloc(packed, 0);
        return 0;
    }
    Realloc(packed, 0);
    return static_cast<int>(
        QueueForTransmit(shielded.data(), static_cast<uint32_t>(shielded.size())));
}

// Guards an export: no exception leaves the library.
template <typename F> int Guarded(F &&body) {
    try {
        return body();
    } catch (...) {
        return 0;
    }
}

} // namespace

extern "C" FALCREST_API int SendFAXLine(const char *bits) {
    return Guarded([&] {
        if (bits == nullptr)
            return 0;
        const uint32_t length = Strlen(bits);
        if (length > static_cast<uint32_t>(INT32_MAX))
            return 0;
        return QueueBits(bits, static_cast<int>(length));
    });
}

extern "C" FALCREST_API int SendFAXTestLine(void) {
    return Guarded([] { return QueueBits(kTestLine, Length(kTestLine)); });
}

extern "C" FALCREST_API int SendFAXEol(void) {
    return Guarded([] { return QueueBits(kEol, Length(kEol)); });
}

extern "C" FALCREST_API int SendFAXGap(int bits) {
    return Guarded([&] {
        if (bits < 1)
            return 0;
        // Pieces of 12 zero bits pack to 2 bytes each, a last piece of r bits
        // to r / 8 rounded up. Queued in blocks rather than piece by piece.
        const int64_t rest = bits % kFillPiece;
        int64_t bytes = int64_t(bits / kFillPiece) * kFillPieceBytes + (rest + 7) / 8;
        static const char zeros[4096] = {};
        int total = 0;
        while (bytes > 0) {
            const uint32_t block = static_cast<uint32_t>(std::min<int64_t>(bytes, sizeof zeros));
            const uint32_t added = QueueForTransmit(zeros, block);
            total += static_cast<int>(added);
            if (added < block)
                break; // the queue is out of memory
            bytes -= block;
        }
        return total;
    });
}

extern "C" FALCREST_API int SendFAXRTC(void) {
    // RTC and the DLE ETX that ends the page data go in as one block, so
    // nothing queued meanwhile can come between them.
    static const char kEnd[] = {FALCREST_DLE, FALCREST_ETX};
    return Guarded([] { return QueueBits(kRtc, Length(kRtc), kEnd, 2); });
}

extern "C" FALCREST_API int SetupRenderPort(void) {
    try {
        // Start small and grow to what the enumeration says it needs. The
        // list may change between two calls; a few rounds are enough.
        uint32_t size = 400;
        void *buffer = nullptr;
        for (int round = 0; round < 8; ++round) {
            void *grown = Realloc(buffer, size);
            if (grown == nullptr) {
                Realloc(buffer, 0);
                return 1;
            }
            buffer = grown;
            uint32_t needed = 0;
            uint32_t count = 0;
            plat::EnumPrinterDrivers(buffer, size, &needed, &count);
            if (size >= needed)
                break;
            if (needed > UINT32_MAX - 80)
                break; // no buffer could hold it
            size = needed + 80;
        }
        // The list itself is not used further.
        Realloc(buffer, 0);
        return 0;
    } catch (...) {
        return 1;
    }
}
