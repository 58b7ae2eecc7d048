// Voice playback through the engine into a pseudo-terminal: the bytes the
// far end sees for every format, the block-final DLE, short files, the
// asynchronous mode, aborts and a far end that stops reading.
#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "VoiceSession.h"
#include "platform/Files.h"

using testing_support::PtyPair;
using testing_support::WaitUntil;
using namespace voicetest;

namespace {

const std::string kMarker = "\x10\x03\x10\x03"; // queued behind the data
const std::string kEtx = "\x10\x03";            // sent directly at the end

// Reads everything the far end gets while body runs, until count bytes.
std::string ReadWhile(PtyPair &pty, size_t count, const std::function<void()> &body) {
    auto reader = std::async(std::launch::async, [&] { return pty.ReadAtLeast(count, 30000); });
    body();
    return reader.get();
}

std::string QueueTail(size_t n) {
    szOutQueue.Enter();
    std::string tail;
    if (szOutQueue.dwCount >= n)
        tail.assign(szOutQueue.pData + szOutQueue.dwOffset + szOutQueue.dwCount - n, n);
    szOutQueue.Leave();
    return tail;
}

Bytes Plain(size_t n) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = uint8_t('A' + i % 26);
    return b;
}

class Playback : public testing::Test {
protected:
    PtyPair pty;
    Session session{pty.PortPath()};
    Files files;
    void SetUp() override { ASSERT_TRUE(session.Opened()); }
};

} // namespace

TEST_F(Playback, EveryFormatSendsItsShieldedDataThenTheEndMarkers) {
    for (uint32_t format : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 9u, 0x55u, 0x8001u}) {
        SCOPED_TRACE(format);
        Voice v = MakeVoice(format, 3500, format);
        std::string path =
            files.Write("f" + std::to_string(format), Bytes(HeaderOf(format), 0x10), v.data);
        std::string want = AsString(v.expected) + kMarker + kEtx;
        int result = 0;
        std::string got = ReadWhile(
            pty, want.size(), [&] { result = SendVoiceFileToModem(path.c_str(), int(format)); });
        EXPECT_EQ(result, int(v.data.size()));
        ASSERT_EQ(got.size(), want.size());
        EXPECT_TRUE(got == want);
    }
}

// A fax page is sent from where its header says the data starts, whatever
// the header's length.
TEST_F(Playback, FaxPageDataStartsWhereItsHeaderSays) {
    for (uint32_t offset : {30u, 100u}) {
        SCOPED_TRACE(offset);
        Bytes header(offset, 0x55);
        header[0] = 'G';
        header[1] = '3';
        for (int i = 0; i < 4; ++i)
            header[10 + i] = uint8_t(offset >> (8 * i));
        Bytes data = Plain(500);
        data[7] = 0x10;
        std::string path = files.Write("page", header, data);
        std::string want = AsString(Bytes(data.begin(), data.begin() + 8)) + "\x10" +
                           AsString(Bytes(data.begin() + 8, data.end())) + kMarker + kEtx;
        int result = 0;
        std::string got =
            ReadWhile(pty, want.size(), [&] { result = SendVoiceFileToModem(path.c_str(), 8); });
        EXPECT_EQ(result, int(data.size()));
        EXPECT_TRUE(got == want);
    }
}

TEST_F(Playback, DLEAtTheEndOfABlockIsSentWithItsPartner) {
    // A DLE as byte 1000 of the first block, more than one byte after it.
    Bytes data = Plain(2000);
    data[999] = 0x10;
    data[1000] = 0x41;
    std::string path = files.Write("dle1000", {}, data);
    plat::FileHandle file = plat::OpenFile(path.c_str(), plat::FileMode::Read);
    ASSERT_NE(file, plat::kNoFile);
    bTransfer = 1;
    int status = 0;
    std::string want = AsString(Bytes(data.begin(), data.begin() + 999)) + "\x10\x10\x41" +
                       AsString(Bytes(data.begin() + 1001, data.end()));
    std::string got = ReadWhile(pty, want.size(), [&] {
        EXPECT_EQ(SendVoiceBlockToModem(int(file), 1, &status), 999);
        EXPECT_EQ(SendVoiceBlockToModem(int(file), 1, &status), 1000);
        EXPECT_EQ(SendVoiceBlockToModem(int(file), 1, &status), 1);
        EXPECT_EQ(SendVoiceBlockToModem(int(file), 1, &status), 0);
    });
    plat::CloseFile(file);
    EXPECT_TRUE(got == want);
}

TEST_F(Playback, NoByteIsLostAtTheEndOfTheFile) {
    // Exactly one byte after a block-final DLE: both go out.
    Bytes oneAfter = Plain(1001);
    oneAfter[999] = 0x10;
    oneAfter[1000] = 0x41;
    // A DLE as the file's last byte goes out doubled, even in raw data.
    Bytes lastDle = Plain(1500);
    lastDle.back() = 0x10;
    struct Case {
        Bytes data;
        uint32_t format;
        std::string tail;
    } cases[] = {
        {oneAfter, 1, "\x10\x10\x41"}, {oneAfter, 7, "\x10\x41"}, {lastDle, 1, "\x10\x10"},
        {lastDle, 4, "\x10\x10"},      {lastDle, 7, "\x10\x10"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.format);
        std::string path = files.Write("tail", Bytes(HeaderOf(c.format), 0), c.data);
        size_t head = c.data.size() == 1001 ? 999 : c.data.size() - 1;
        std::string want =
            AsString(Bytes(c.data.begin(), c.data.begin() + long(head))) + c.tail + kMarker + kEtx;
        int result = 0;
        std::string got = ReadWhile(
            pty, want.size(), [&] { result = SendVoiceFileToModem(path.c_str(), int(c.format)); });
        EXPECT_EQ(result, int(c.data.size()));
        EXPECT_TRUE(got == want);
    }
}

TEST_F(Playback, FileShorterThanItsHeaderSendsOnlyTheMarkers) {
    std::string path = files.Write("short", Bytes(10, 0x55), {});
    std::string want = kMarker + kEtx;
    int result = -5;
    std::string got =
        ReadWhile(pty, want.size(), [&] { result = SendVoiceFileToModem(path.c_str(), 1); });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(got, want);
}

TEST_F(Playback, ArgumentsAndFilesThatCannotBePlayed) {
    EXPECT_EQ(SendVoiceFileToModem(nullptr, 1), FALCREST_ERR_ARG);
    EXPECT_EQ(SendVoiceFileToModem(files.Path("missing").c_str(), 1), 0);
    // A fax page file that is no page cannot be prepared.
    std::string notAPage = files.Write("notapage", {}, Plain(100));
    EXPECT_EQ(SendVoiceFileToModem(notAPage.c_str(), 8), 0);
    int status = 0;
    EXPECT_EQ(SendVoiceBlockToModem(0, 1, &status), 0);
    EXPECT_EQ(pty.ReadFor(50), ""); // none of these touched the line
}

TEST(PlaybackWithoutPort, ReportsNoPortBeforeAnythingElse) {
    ReleaseModem();
    EXPECT_EQ(SendVoiceFileToModem(nullptr, 1), FALCREST_ERR_NOPORT);
    EXPECT_EQ(SendVoiceFileToModem("/nonexistent", 0x10001), FALCREST_ERR_NOPORT);
    int status = 0;
    EXPECT_EQ(SendVoiceBlockToModem(1, 1, &status), 0);
}

TEST_F(Playback, AsynchronousModeReturnsWithTheDataStillQueued) {
    // The far end does not read yet: the writer cannot empty the queue.
    Bytes data = Plain(160000); // well beyond what the pseudo-terminal buffers
    std::string path = files.Write("async", Bytes(16, 0), data);
    EXPECT_EQ(SendVoiceFileToModem(path.c_str(), int(FALCREST_TYPE_ASYNC | 1)), int(data.size()));
    EXPECT_GT(szOutQueue.GetLength(), 0u);
    EXPECT_EQ(QueueTail(6), kMarker + kEtx);
    std::string want = AsString(data) + kMarker + kEtx;
    std::string got = pty.ReadAtLeast(want.size(), 30000);
    EXPECT_TRUE(got == want);
}

TEST_F(Playback, AbortStopsLoadingAndCountsWhatWasRead) {
    Bytes data = Plain(300000); // no DLE: every block is 1000 bytes
    std::string path = files.Write("long", Bytes(16, 0), data);
    auto aborter = std::async(std::launch::async, [] {
        WaitUntil([] { return szOutQueue.GetLength() >= 20000; }, 30000);
        AbortTransfer();
    });
    int result = SendVoiceFileToModem(path.c_str(), 1);
    aborter.get();
    EXPECT_GE(result, 20000);
    EXPECT_LT(result, 300000);
    EXPECT_EQ(result % 1000, 0);
    EXPECT_EQ(bTransfer.load(), 0);
    EXPECT_EQ(szOutQueue.GetLength(), 0u); // the rest is dropped
    // Only the abort's DLE ETX and the final one reach the line.
    std::string got = pty.ReadAtLeast(4, 5000);
    got += pty.ReadFor(100);
    EXPECT_EQ(got, kEtx + kEtx);
}

TEST_F(Playback, AbortInAsynchronousModeLeavesTheQueueCounted) {
    Bytes data = Plain(300000);
    std::string path = files.Write("long", Bytes(16, 0), data);
    auto aborter = std::async(std::launch::async, [] {
        WaitUntil([] { return szOutQueue.GetLength() >= 20000; }, 30000);
        AbortTransfer();
    });
    int result = SendVoiceFileToModem(path.c_str(), int(FALCREST_TYPE_ASYNC | 7));
    aborter.get();
    EXPECT_LT(result, 300000);
    // Every byte read is queued, and counted, once; the gate keeps it there.
    EXPECT_EQ(szOutQueue.GetLength(), uint32_t(result) + 6);
    EXPECT_EQ(QueueTail(6), kMarker + kEtx);
    ResetQueue();
}

TEST_F(Playback, FarEndThatStopsReadingEndsTheWait) {
    Bytes data = Plain(150000); // far more than the pseudo-terminal buffers
    std::string path = files.Write("stall", Bytes(58, 0), data);
    EXPECT_EQ(SendVoiceFileToModem(path.c_str(), 4), FALCREST_ERR_STALL);
}
