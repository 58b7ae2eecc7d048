// The far end goes away in the middle of a transfer and comes back: the
// client hears of it through the callback, the engine does not spin on the
// dead port, and once the device is back under the same name and the client
// has opened it again, data flows both ways intact.
#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

#include "FaultHelpers.h"
#include "PtyPair.h"
#include "Recorder.h"

using testing_support::PtyPair;
using testing_support::WaitUntil;
namespace fs = std::filesystem;

namespace {

// A device name that outlives the device: a link re-pointed at each new
// pseudo-terminal, as a device node reappears when an adapter is plugged
// back in.
struct DeviceLink {
    std::string dir = mkdtemp(std::string("/tmp/faults-link-XXXXXX").data()), path = dir + "/tty";
    ~DeviceLink() { fs::remove_all(dir); }
    void PointAt(const std::string &device) {
        fs::remove(path);
        fs::create_symlink(device, path);
    }
};

// Letters, without DLE, so that the feedback's text is the data itself.
std::string Pattern(size_t n, unsigned seed) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = char('A' + (i * 131 + seed) % 58);
    return s;
}

TEST(FarEnd, GoesAwayMidTransferIsReportedWithoutSpinningAndComesBack) {
    Recorder &client = Recorder::Instance();
    client.Reset();
    DeviceLink link;
    auto first = std::make_unique<PtyPair>();
    link.PointAt(first->PortPath());
    std::thread([] {}).join(); // a thread sanitizer starts a helper with the first thread
    const int threads = faults::Threads();
    ASSERT_GT(InitModem(client.Target(), link.path.c_str(), faults::kDcb), 0);

    // Both ways busy: a large block queued for the far end, which is read
    // only in part, and a stream from the far end.
    std::string outgoing = Pattern(256 * 1024, 1);
    ASSERT_EQ(SendDataToModem(outgoing.data(), int(outgoing.size())), 0);
    first->Write(Pattern(4096, 2));
    EXPECT_FALSE(first->ReadAtLeast(2000).empty());
    ASSERT_TRUE(WaitUntil([&] { return client.Raw().size() >= 4096; }));

    first->CloseFar();
    ASSERT_TRUE(WaitUntil([&] { return client.Errors() > 0; }));

    // The engine backs off while the port stays dead: a worker that spun
    // would notify on every pass, not a handful of times in a second.
    const int before = client.Errors() + client.TxFailures();
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    EXPECT_LE(client.Errors() + client.TxFailures() - before, 24);

    // The client lets go of the dead port at once, and every worker ends.
    ReleaseModem();
    EXPECT_TRUE(WaitUntil([&] { return faults::Threads() <= threads; }));

    // The device returns under the same name; the client opens it again.
    first.reset();
    PtyPair second;
    link.PointAt(second.PortPath());
    client.Reset();
    ASSERT_GT(InitModem(client.Target(), link.path.c_str(), faults::kDcb), 0);
    std::string in = Pattern(16 * 1024, 3), out = Pattern(16 * 1024, 4);
    second.Write(in);
    ASSERT_EQ(SendDataToModem(out.data(), int(out.size())), 0);
    EXPECT_TRUE(second.ReadAtLeast(out.size(), 10000) == out);
    EXPECT_TRUE(WaitUntil([&] { return client.Raw() == in; }));
    EXPECT_EQ(client.Errors(), 0);
    ReleaseModem();
}

} // namespace
