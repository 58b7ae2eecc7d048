// Undoing the DLE shielding of a data stream sent by the DTE (voice playback
// or fax page data), up to the DLE ETX that ends it. Works across blocks: a
// DLE at the end of one block is paired with the first byte of the next.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vmodem {

constexpr uint8_t kDle = 0x10;
constexpr uint8_t kEtx = 0x03;

// How a DLE inside the data was shielded by the sender.
enum class EShield {
    Raw,       // nothing was doubled: a DLE stands alone, only DLE ETX is special
    Doubled,   // every DLE was doubled: DLE DLE is one data DLE
    VoiceCodes // DLE DLE is one DLE; DLE + one of the voice codes passes as both bytes
};

// The shielding a voice format number (as chosen with AT+VSM) uses.
EShield ShieldForVoiceFormat(int format);

class CUnshielder {
public:
    explicit CUnshielder(EShield shield) : shield_(shield) {}

    // Unshields bytes into out until DLE ETX; returns the count of input bytes
    // consumed (all of them unless the end marker was found inside the block).
    size_t Feed(const uint8_t *data, size_t count, std::vector<uint8_t> &out);

    bool Ended() const { return ended_; }
    // DLE pairs that the sender's shielding never produces, passed on as both bytes.
    size_t Stray() const { return stray_; }
    // DLE + voice code pairs passed on as both bytes.
    size_t Codes() const { return codes_; }

private:
    EShield shield_;
    bool pendingDle_ = false;
    bool ended_ = false;
    size_t stray_ = 0;
    size_t codes_ = 0;
};

} // namespace vmodem
