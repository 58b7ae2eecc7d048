// The fax line operations as they fill the transmit queue: bit texts packed
// least significant bit first, every DLE doubled, fill rounded up to bytes.
#include <gtest/gtest.h>

#include <functional>

#include "falcrest/Falcrest.h"
#include "serial/EngineState.h"

TEST(FaxSend, EachOperationQueuesItsBytes) {
    using S = std::string;
    const struct {
        std::function<int()> send;
        S bytes;
    } rows[] = {
        {SendFAXEol, S("\x00\x08", 2)},
        {SendFAXTestLine, S("\x00\xC8\x0A\xA4\x60\xB7\xC6\x0A", 8)},
        {SendFAXRTC, S("\x00\x08\x80\x00\x08\x80\x00\x08\x80\x10\x03", 11)},
        // The page's own DLE ETX must stay the only one.
        {[] { return SendFAXLine("000010001100000000001000"); }, "\x10\x10\x03\x10\x10"},
        {[] { return SendFAXLine("1000000001"); }, "\x01\x02"},
        {[] {
             return SendFAXLine("x0 0\x80"
                                "0002");
         },
         "\x15\x01"}, // anything but '0' is a 1
        {[] { return SendFAXLine(""); }, ""},
        {[] { return SendFAXLine(nullptr); }, ""},
        // Fill: 2 bytes for each 12 bits, a rest of r bits r / 8 rounded up.
        {[] { return SendFAXGap(12); }, S(2, '\0')},
        {[] { return SendFAXGap(20); }, S(3, '\0')},
        {[] { return SendFAXGap(25); }, S(5, '\0')},
        {[] { return SendFAXGap(100000); }, S(16667, '\0')},
        {[] { return SendFAXGap(0); }, ""},
        {[] { return SendFAXGap(INT32_MIN); }, ""},
    };
    szOutQueue.Reset();
    for (size_t i = 0; i < std::size(rows); ++i) {
        EXPECT_EQ(rows[i].send(), int(rows[i].bytes.size())) << "row " << i;
        char *queued = nullptr;
        const uint32_t n = szOutQueue.Paste(queued);
        EXPECT_EQ(S(queued, n), rows[i].bytes) << "row " << i;
        Realloc(queued, 0);
    }
}
