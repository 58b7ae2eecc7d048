// The fax line operations as they fill the transmit queue, and the printer
// drivers behind SetupRenderPort.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <sys/stat.h>

#include "FaxPages.h"
#include "falcrest/Falcrest.h"
#include "platform/Printers.h"
#include "serial/Engine.h"

using namespace faxtest;

namespace {

std::string TakeQueued() {
    char *bytes = nullptr;
    const uint32_t n = szOutQueue.Paste(bytes);
    std::string s(bytes != nullptr ? bytes : "", n);
    Realloc(bytes, 0);
    return s;
}

class FaxSend : public ::testing::Test {
protected:
    void SetUp() override { szOutQueue.Reset(); }
    void TearDown() override { szOutQueue.Reset(); }
};

} // namespace

TEST_F(FaxSend, FixedTexts) {
    EXPECT_EQ(SendFAXEol(), 2);
    EXPECT_EQ(TakeQueued(), std::string("\x00\x08", 2));
    EXPECT_EQ(SendFAXTestLine(), 8);
    EXPECT_EQ(TakeQueued(), std::string("\x00\xC8\x0A\xA4\x60\xB7\xC6\x0A", 8));
    EXPECT_EQ(SendFAXRTC(), 11);
    EXPECT_EQ(TakeQueued(), std::string("\x00\x08\x80\x00\x08\x80\x00\x08\x80\x10\x03", 11));
    // The bit texts are not shielded: a DLE stays single.
    EXPECT_EQ(SendFAXLine("00001000"), 1);
    EXPECT_EQ(TakeQueued(), "\x10");
}

TEST_F(FaxSend, Lines) {
    EXPECT_EQ(SendFAXLine("1"), 1);
    EXPECT_EQ(TakeQueued(), "\x01");
    EXPECT_EQ(SendFAXLine("000000000001"), 2);
    EXPECT_EQ(TakeQueued(), std::string("\x00\x08", 2));
    EXPECT_EQ(SendFAXLine(""), 0);
    EXPECT_EQ(SendFAXLine(nullptr), 0);
    EXPECT_EQ(szOutQueue.GetLength(), 0u);
    // The order of the calls is the order of the bytes.
    SendFAXLine("11111111");
    SendFAXEol();
    SendFAXLine("0000000011");
    EXPECT_EQ(TakeQueued(), std::string("\xFF\x00\x08\x00\x03", 5));
}

TEST_F(FaxSend, GapsAreZeroBytesForTheirBits) {
    // 12 bits give 2 bytes, a rest of r bits r / 8 rounded up.
    for (auto [bits, bytes] : {std::pair{8, 1},
                               {12, 2},
                               {20, 3},
                               {100, 17},
                               {1, 1},
                               {9, 2},
                               {24, 4},
                               {25, 5},
                               {100000, 16667}}) {
        EXPECT_EQ(SendFAXGap(bits), bytes) << bits;
        EXPECT_EQ(TakeQueued(), std::string(static_cast<size_t>(bytes), '\0')) << bits;
    }
    EXPECT_EQ(SendFAXGap(0), 0);
    EXPECT_EQ(SendFAXGap(-12), 0);
    EXPECT_EQ(SendFAXGap(INT32_MIN), 0);
    EXPECT_EQ(szOutQueue.GetLength(), 0u);
}

TEST_F(FaxSend, NeitherGateNorPortIsTouched) {
    const int gate = bTransfer;
    SendFAXTestLine();
    SendFAXGap(30);
    SendFAXRTC();
    EXPECT_EQ(bTransfer, gate);
    EXPECT_EQ(idComDev.load(), plat::kInvalidPort);
    EXPECT_EQ(szOutQueue.GetLength(), 8u + 5u + 11u);
}

TEST(SetupRenderPort, Succeeds) {
    EXPECT_EQ(SetupRenderPort(), 0);
}

namespace {

// A stand-in for the print service's driver lister, first on PATH.
class FakeLister {
public:
    explicit FakeLister(const std::string &script)
        : oldPath_(getenv("PATH") ? getenv("PATH") : "") {
        const std::string path = dir_.Path("lpinfo");
        const std::string body = "#!/bin/sh\n" + script + "\n";
        WriteFile(path, std::vector<uint8_t>(body.begin(), body.end()));
        chmod(path.c_str(), 0755);
        setenv("PATH", (dir_.Path("") + ":" + oldPath_).c_str(), 1);
    }
    ~FakeLister() { setenv("PATH", oldPath_.c_str(), 1); }

private:
    TempDir dir_;
    std::string oldPath_;
};

std::vector<std::string> Names(const std::vector<char> &buffer, uint32_t count) {
    std::vector<std::string> names;
    const char *p = buffer.data();
    for (uint32_t i = 0; i < count; ++i) {
        names.emplace_back(p);
        p += names.back().size() + 1;
    }
    return names;
}

} // namespace

TEST(PrinterDrivers, TheNamesTheServiceLists) {
    FakeLister lister("echo 'drv:///sample.drv/generic.ppd Generic PostScript Printer'\n"
                      "echo 'everywhere IPP Everywhere'\necho\necho '  lsb/usr/x.ppd  X'");
    std::vector<char> buffer(400);
    uint32_t needed = 0;
    uint32_t count = 0;
    ASSERT_TRUE(plat::EnumPrinterDrivers(buffer.data(), 400, &needed, &count));
    EXPECT_EQ(Names(buffer, count), (std::vector<std::string>{"drv:///sample.drv/generic.ppd",
                                                              "everywhere", "lsb/usr/x.ppd"}));
    EXPECT_EQ(needed, 30u + 11u + 14u);
    // Too small a buffer: refused, with the size that would do.
    EXPECT_FALSE(plat::EnumPrinterDrivers(buffer.data(), 54, &needed, &count));
    EXPECT_EQ(needed, 55u);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(SetupRenderPort(), 0);
}

TEST(PrinterDrivers, ALongListGrowsTheBuffer) {
    FakeLister lister(
        "i=0; while [ $i -lt 200 ]; do echo \"driver-number-$i Model $i\"; i=$((i+1)); done");
    uint32_t needed = 0;
    uint32_t count = 0;
    EXPECT_FALSE(plat::EnumPrinterDrivers(nullptr, 0, &needed, &count));
    EXPECT_GT(needed, 400u);
    EXPECT_EQ(SetupRenderPort(), 0);
}

TEST(PrinterDrivers, NoServiceNoDrivers) {
    {
        FakeLister failing("echo 'lpinfo: Bad file descriptor' >&2; echo half; exit 1");
        uint32_t needed = 7;
        uint32_t count = 7;
        char buffer[16];
        EXPECT_TRUE(plat::EnumPrinterDrivers(buffer, sizeof buffer, &needed, &count));
        EXPECT_EQ(needed, 0u);
        EXPECT_EQ(count, 0u);
    }
    {
        // A service that does not answer is given up after the time-out, and
        // the lister does not outlive it.
        FakeLister hanging("echo early; exec sleep 30");
        uint32_t needed = 7;
        uint32_t count = 7;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(plat::EnumPrinterDrivers(nullptr, 0, &needed, &count, 200));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
        EXPECT_EQ(needed, 0u);
        EXPECT_EQ(count, 0u);
    }
}
