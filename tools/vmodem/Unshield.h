// Undoing the DLE shielding of a data stream sent by the DTE (voice playback
// or fax page data), the way a modem does: DLE DLE is one data DLE, DLE ETX
// ends the stream, and the other pairs are either commands the modem acts on
// or strays it deletes. Works across blocks: a DLE at the end of one block is
// paired with the first byte of the next.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vmodem {

constexpr uint8_t kDle = 0x10;
constexpr uint8_t kEtx = 0x03;

// Which DLE pairs carry a meaning besides DLE DLE and DLE ETX.
enum class EDialect {
    Fax,         // class 1 and 2: every other pair is deleted
    FaxPostPage, // class 2.0: DLE , ; . end the page with a post-page message
    Voice        // DLE CAN, DC4, !, p, r, u, d are commands to the modem
};

bool IsVoiceCommand(uint8_t code);
bool IsPostPageCode(uint8_t code);

class CUnshielder {
public:
    explicit CUnshielder(EDialect dialect) : dialect_(dialect) {}

    // Unshields bytes into out. Stops right after a pair that means something
    // to the modem (the end, a post-page code, a voice command) and sets
    // control to its second byte; control is 0 when the whole block went in.
    // Returns the count of input bytes consumed.
    size_t Feed(const uint8_t *data, size_t count, std::vector<uint8_t> &out, uint8_t &control);

    // DLE pairs that mean nothing here, deleted from the data.
    size_t Stray() const { return stray_; }

private:
    EDialect dialect_;
    bool pendingDle_ = false;
    size_t stray_ = 0;
};

} // namespace vmodem
