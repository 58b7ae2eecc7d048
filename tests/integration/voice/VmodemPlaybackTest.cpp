// Voice and fax page files played end to end into the virtual modem: what
// the modem took out of the shielded stream must be the file's data, and a
// page played as type 8 must decode (with g3topbm) to its bitmap.
#include <gtest/gtest.h>

#include "FaxPages.h"
#include "VmodemClient.h"
#include "VoiceSession.h"

using namespace voicetest;
using vmodem_client::CVmodem;

namespace {

std::string FieldOf(const std::string &event, const std::string &key) {
    return CVmodem::Fields(event)[key];
}

class VmodemPlayback : public testing::Test {
protected:
    CVmodem modem;
    Session session{modem.PortPath(), "baud=115200 octs=off odsr=off"}; // obeys XOFF
    Files files;
    void SetUp() override { ASSERT_TRUE(session.Opened()); }
};

} // namespace

// Every row of the shielding table, through every format's playback.
TEST_F(VmodemPlayback, ModemReceivesTheVoiceDataOfEveryFormat) {
    for (uint32_t format : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 9u}) {
        SCOPED_TRACE(format);
        Voice v = MakeVoice(format, 5000, 100 + format, false);
        v.data.push_back(0x10); // a DLE as the file's last byte
        v.received.push_back(0x10);
        std::string path =
            files.Write("v" + std::to_string(format), Bytes(HeaderOf(format), 0), v.data);
        ASSERT_TRUE(session.Command("AT+FCLASS=8;+VLS=1", "OK"));
        ASSERT_TRUE(session.Command("AT+VSM=" + std::to_string(format), "OK"));
        ASSERT_TRUE(session.Command("AT+VTX", "CONNECT"));
        EXPECT_EQ(SendVoiceFileToModem(path.c_str(), int(format)), int(v.data.size()));
        auto event = modem.WaitEvent("voice", 10000);
        ASSERT_TRUE(event.has_value());
        EXPECT_EQ(FieldOf(*event, "overrun"), "0") << *event;
        std::string received = vmodem_client::ReadWholeFile(FieldOf(*event, "file"));
        EXPECT_EQ(received.size(), v.received.size());
        EXPECT_TRUE(received == AsString(v.received));
        ASSERT_TRUE(session.Command("AT", "OK"));
    }
}

// Far more than the modem's buffer at once: the modem holds the port, which
// waits, and nothing is lost.
TEST_F(VmodemPlayback, StreamWaitsWhileTheModemHoldsIt) {
    std::string data, shielded;
    for (size_t i = 0; data.size() < (48u << 10); ++i) {
        data += char((i * 2654435761u) >> 13);
        shielded += data.back();
        if (data.back() == '\x10')
            shielded += '\x10';
    }
    ASSERT_TRUE(session.Command("AT+FCLASS=8;+VLS=1", "OK"));
    ASSERT_TRUE(session.Command("AT+VTX", "CONNECT"));
    ASSERT_EQ(SendDataToModem((shielded + "\x10\x03").data(), int(shielded.size() + 2)), 0);
    auto event = modem.WaitEvent("voice", 20000);
    ASSERT_TRUE(event.has_value());
    EXPECT_EQ(FieldOf(*event, "overrun"), "0") << *event;
    EXPECT_NE(FieldOf(*event, "holds"), "0") << *event;
    EXPECT_TRUE(vmodem_client::ReadWholeFile(FieldOf(*event, "file")) == data);
}

TEST_F(VmodemPlayback, FaxPagePlayedAsType8DecodesToItsBitmap) {
    faxtest::Bitmap page = faxtest::Noise(1728, 120, 0.3, 7);
    std::vector<uint8_t> file = faxtest::PageFile(page);
    std::string path = files.Write("page.bmp", {}, file);
    ASSERT_TRUE(session.Command("AT+FCLASS=1;D5551", "OK"));
    // The far machine's DIS frame carries 0x13, an XOFF to a port that obeys
    // one; a modem's XON releases it.
    modem.Ok("inject 11");
    ASSERT_TRUE(session.Command("AT+FTM=96", "CONNECT"));
    EXPECT_GT(SendVoiceFileToModem(path.c_str(), 8), 0);
    auto event = modem.WaitEvent("fax", 20000);
    ASSERT_TRUE(event.has_value());
    EXPECT_EQ(FieldOf(*event, "bad"), "0") << *event;
    std::string g3 = vmodem_client::ReadWholeFile(FieldOf(*event, "g3"));
    faxtest::Decoded decoded = faxtest::DecodeG3(std::vector<uint8_t>(g3.begin(), g3.end()));
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_EQ(faxtest::CompareWithBitmap(decoded, page), "");
}
