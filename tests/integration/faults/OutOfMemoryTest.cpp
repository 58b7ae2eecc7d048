// The engine without memory loses no received byte: the receive thread reads
// nothing it has no room for, and a DLE held back for its partner goes back
// into the queue without needing any.
#include <gtest/gtest.h>

#include <atomic>
#include <dlfcn.h>
#include <thread>

#include "FaultHelpers.h"
#include "PtyPair.h"
#include "Recorder.h"
#include "serial/EngineState.h"

using testing_support::PtyPair;
using testing_support::WaitUntil;

// How many more allocations through Realloc succeed; -1: all of them.
static std::atomic<int> gAllowed{-1};

// Tamsel's Realloc, failing on demand: this program's definition stands in
// for the library's (the dynamic linker binds every call to it, Tamsel's own
// included) and hands the request on until told to fail. Releases always work.
extern "C" void *Realloc(void *p, size_t n) {
    using Fn = void *(*)(void *, size_t);
    static const Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "Realloc"));
    for (int left = gAllowed.load(); n != 0 && left >= 0;) {
        if (left == 0)
            return nullptr;
        if (gAllowed.compare_exchange_weak(left, left - 1))
            break;
    }
    return real(p, n);
}

namespace {

TEST(OutOfMemory, ReceivedBytesWaitInTheDriverUntilThereIsRoom) {
    PtyPair pty;
    Recorder &client = Recorder::Instance();
    client.Reset();
    ASSERT_GT(InitModem(client.Target(), pty.PortPath().c_str(), faults::kDcb), 0);
    // More than an emptied queue keeps and the driver holds together.
    std::string data(512 * 1024, 'a');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = char('a' + i % 23 + i / 4099 % 3);
    gAllowed = 0;
    std::thread far([&] { pty.Write(data); });
    // The receive thread tells the client it has no room.
    EXPECT_TRUE(WaitUntil([&] { return client.Errors() > 0; }, 20000));
    gAllowed = -1;
    WaitUntil([&] { return client.Raw().size() >= data.size(); }, 30000);
    far.join();
    EXPECT_TRUE(client.Raw() == data) << "received bytes lost: " << client.Raw().size();
    ReleaseModem();
}

TEST(OutOfMemory, ADleHeldBackForItsPartnerIsKept) {
    idComDev = 12345; // GetCommFeedback asks only whether a port is open
    // Storage past what an emptied queue keeps.
    std::string bulk(300 * 1024, 'x');
    szInQueue.Append(bulk.data(), uint32_t(bulk.size()));
    szInQueue.Append("AB\x10", 3);
    char *text = nullptr, *codes = nullptr;
    uint32_t length = uint32_t(bulk.size()) + 3;
    gAllowed = 1; // the chunk's own block, then nothing
    EXPECT_EQ(GetCommFeedback(&text, &codes, nullptr, &length), 1);
    gAllowed = -1;
    EXPECT_EQ(szInQueue.GetLength(), 1u);
    szInQueue.Append("\x03", 1);
    length = 10;
    EXPECT_EQ(GetCommFeedback(&text, &codes, nullptr, &length), 1);
    EXPECT_STREQ(codes, "<ETX>");
    Realloc(text, 0);
    Realloc(codes, 0);
    idComDev = plat::kInvalidPort;
    szInQueue.Reset();
}

} // namespace
