// Voice playback through the engine: end to end into the virtual modem,
// which must take out of the shielded stream what the file holds, for every
// format and for fax pages; and into a pseudo-terminal for the raw stream's
// ends, the asynchronous mode, aborts and a far end that stops reading.
#include <gtest/gtest.h>

#include <future>
#include <mutex>

#include "FaxPages.h"
#include "FeedbackDrain.h"
#include "PtyPair.h"
#include "Tamsel.h"
#include "VmodemClient.h"
#include "falcrest/Falcrest.h"
#include "serial/EngineState.h"

using testing_support::PtyPair;
using testing_support::WaitUntil;
using vmodem_client::CVmodem;
using Bytes = std::vector<uint8_t>;

namespace {

const std::string kEnd = "\x10\x03\x10\x03\x10\x03"; // queued markers, then the direct one

std::mutex answersLock;
std::string answers; // what the modem sent, through the engine's callback

int Collect(uint32_t, uint32_t, uint32_t) {
    std::lock_guard<std::mutex> g(answersLock);
    DrainFeedback([](const char *raw, uint32_t n, const char *) { answers.append(raw, n); });
    return 0;
}

// Writes a file of the header and the data; returns its path.
std::string Write(const std::string &name, const std::string &header, const Bytes &data) {
    Bytes file(header.begin(), header.end());
    file.insert(file.end(), data.begin(), data.end());
    faxtest::Write(faxtest::Scratch(name), file);
    return faxtest::Scratch(name);
}

// The engine on a port; Command sends a line and waits for expect behind its
// echo (an answer to what came before may still arrive first).
class Playback : public testing::Test {
protected:
    void Open(const std::string &port, const char *mode) {
        answers.clear();
        ASSERT_GT(InitModem(reinterpret_cast<void *>(&Collect), port.c_str(), mode), 0);
    }
    ~Playback() override { ReleaseModem(); }
    bool Command(const std::string &line, const std::string &expect) {
        answersLock.lock(), answers.clear(), answersLock.unlock();
        SendStringToModem((line + "\r").c_str());
        return WaitUntil([&] {
            std::lock_guard<std::mutex> g(answersLock);
            const size_t echo = answers.find(line + "\r");
            return echo != std::string::npos && answers.find(expect, echo) != std::string::npos;
        });
    }
};

// The header that playback skips, by format number; a fax page's says where
// its data starts, here right behind the field that says so.
std::string HeaderOf(uint32_t format) {
    if (format == 8)
        return std::string("G3\0\0\0\0\0\0\0\0\x0E\0\0\0", 14);
    return std::string(format >= 4 && format <= 6 ? 58 : format == 7 ? 0 : 16, '\0');
}

Bytes Plain(size_t n, size_t dleAt = SIZE_MAX) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = i == dleAt ? 0x10 : uint8_t('A' + i % 26);
    return b;
}

class VmodemPlayback : public Playback {
protected:
    void SetUp() override { Open(modem.PortPath(), "baud=115200 octs=off odsr=off"); } // obeys XOFF
    std::map<std::string, std::string> Event(const std::string &kind) {
        return CVmodem::Fields(modem.WaitEvent(kind, 20000).value_or(""));
    }
    // A class 1 page ends when its data runs dry after an XON: at twice the
    // line rate, a busy machine's pause of a tenth of a second is no underrun.
    CVmodem modem{{"--clock-scale", "2"}};
};

class PtyPlayback : public Playback {
protected:
    void SetUp() override { Open(pty.PortPath(), "baud=115200 octs=off odsr=off xon=off"); }
    PtyPair pty;
};

} // namespace

// Voice data of every kind of unit, through every format's shielding; what
// a modem plays: a DLE pair is one DLE, a DLE with a modem code nothing
// unless the format sends it as data.
TEST_F(VmodemPlayback, ModemReceivesTheVoiceDataOfEveryFormat) {
    for (uint32_t format : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 9u}) {
        SCOPED_TRACE(format);
        Bytes data, played;
        // Units of three bytes, so that block ends fall on every place in them;
        // raw data never holds DLE ETX.
        for (int i = 0; data.size() < 5000; ++i) {
            const uint8_t plain = uint8_t(i * 37) == 0x10 ? 0x11 : uint8_t(i * 37);
            const uint8_t code[] = {0x10, 0x12, 0x1C, 0x41, format == 7 ? uint8_t(4) : uint8_t(3)};
            const uint8_t b = code[i % 5];
            data.insert(data.end(), {plain, 0x10, b});
            played.push_back(plain);
            if (b == 0x10)
                played.push_back(0x10);
            else if (format != 7 && (format == 4 || (b != 0x12 && b != 0x1C)))
                played.insert(played.end(), {0x10, b});
        }
        data.push_back(0x10); // a DLE as the file's last byte
        played.push_back(0x10);
        std::string path = Write("v" + std::to_string(format), HeaderOf(format), data);
        ASSERT_TRUE(
            Command("AT+FCLASS=8;+VLS=1;+VSM=" + std::to_string(format) + ";+VTX", "CONNECT"));
        EXPECT_EQ(SendVoiceFileToModem(path.c_str(), int(format)), int(data.size()));
        auto voice = Event("voice");
        EXPECT_EQ(voice["overrun"], "0");
        EXPECT_TRUE(vmodem_client::ReadWholeFile(voice["file"]) ==
                    std::string(played.begin(), played.end()));
        ASSERT_TRUE(Command("AT", "OK"));
    }
}

// Sent from where the page's header says its data starts.
TEST_F(VmodemPlayback, FaxPagePlayedAsType8DecodesToItsBitmap) {
    faxtest::Bitmap page = faxtest::Noise(1728, 60, 0.3, 7);
    ASSERT_TRUE(Command("AT+FCLASS=1;D5551", "OK"));
    // The far machine's DIS frame carries 0x13, an XOFF to a port that obeys
    // one; a modem's XON releases it.
    modem.Ok("inject 11");
    std::string path = Write("page.bmp", "", faxtest::PageFile(page, 100)); // a longer header
    ASSERT_TRUE(Command("AT+FTM=96", "CONNECT"));
    EXPECT_GT(SendVoiceFileToModem(path.c_str(), 8), 0);
    auto fax = Event("fax");
    EXPECT_EQ(fax["bad"], "0");
    std::string g3 = vmodem_client::ReadWholeFile(fax["g3"]);
    faxtest::Decoded decoded = faxtest::DecodeG3(Bytes(g3.begin(), g3.end()));
    EXPECT_EQ(faxtest::CompareWithBitmap(decoded, page), "");
}

// The file's last bytes reach the line with the end markers: a lone DLE at
// the end goes out doubled; a fax page's data may start right behind the
// field that says where. (A DLE ending a block is played end to end above.)
TEST_F(PtyPlayback, NoByteIsLostAtTheEndOfTheFile) {
    const struct {
        Bytes data;
        uint32_t format;
    } cases[] = {{Plain(1500, 1499), 8}, {{}, 1}};
    for (auto &c : cases) {
        SCOPED_TRACE(c.format);
        std::string path = Write("tail", HeaderOf(c.format), c.data);
        std::string want(c.data.begin(), c.data.end());
        want += std::string(want.empty() ? 0 : 1, '\x10') + kEnd;
        auto reader =
            std::async(std::launch::async, [&] { return pty.ReadAtLeast(want.size(), 30000); });
        EXPECT_EQ(SendVoiceFileToModem(path.c_str(), int(c.format)), int(c.data.size()));
        EXPECT_TRUE(reader.get() == want);
    }
}

TEST_F(PtyPlayback, WhatCannotBePlayedTouchesNoLine) {
    EXPECT_EQ(SendVoiceFileToModem(nullptr, 1), FALCREST_ERR_ARG);
    EXPECT_EQ(SendVoiceFileToModem(faxtest::Scratch("missing").c_str(), 1), 0);
    EXPECT_EQ(SendVoiceFileToModem(Write("notapage", "", Plain(100)).c_str(), 8), 0);
    int status = 0;
    EXPECT_EQ(SendVoiceBlockToModem(0, 1, &status), 0);
    EXPECT_EQ(pty.ReadFor(50), "");
    ReleaseModem(); // no port comes before anything else
    EXPECT_EQ(SendVoiceFileToModem(nullptr, 1), FALCREST_ERR_NOPORT);
    EXPECT_EQ(SendVoiceBlockToModem(1, 1, &status), 0);
}

// An abort stops the loading at a block: in the waiting mode the rest is
// dropped and only DLE ETX reaches the line; in the asynchronous mode every
// byte read stays queued, and counted, once.
TEST_F(PtyPlayback, AbortStopsLoadingAndCountsWhatWasRead) {
    std::string path = Write("long", HeaderOf(1), Plain(300000)); // no DLE: blocks of 1000 bytes
    for (int async : {0, 1}) {
        auto aborter = std::async(std::launch::async, [] {
            WaitUntil([] { return szOutQueue.GetLength() >= 20000; }, 30000);
            AbortTransfer();
        });
        int result = SendVoiceFileToModem(path.c_str(), async ? int(FALCREST_TYPE_ASYNC | 7) : 1);
        aborter.get();
        EXPECT_GE(result, 20000);
        EXPECT_LT(result, 300000);
        EXPECT_EQ(result % 1000, 0);
        if (async) {
            EXPECT_EQ(szOutQueue.GetLength(), uint32_t(result) + 6);
            ResetQueue();
        } else {
            EXPECT_EQ(bTransfer.load(), 0);
            EXPECT_EQ(szOutQueue.GetLength(), 0u);
            EXPECT_EQ(pty.ReadAtLeast(4, 5000) + pty.ReadFor(100), "\x10\x03\x10\x03");
        }
    }
}

TEST_F(PtyPlayback, FarEndThatStopsReadingEndsTheWait) {
    std::string path = Write("stall", HeaderOf(4), Plain(150000)); // far more than the pty buffers
    EXPECT_EQ(SendVoiceFileToModem(path.c_str(), 4), FALCREST_ERR_STALL);
}
