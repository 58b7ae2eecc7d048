// The modem's transmit buffer: bytes from the DTE wait here and leave at the
// rate of the connection. A buffer that is full loses what still arrives.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace vmodem {

using Clock = std::chrono::steady_clock;

class CLineBuffer {
public:
    static constexpr size_t kCapacity = 1024;
    // XOFF when the fill reaches the high mark, XON once it is down to the low one.
    static constexpr size_t kHighWater = 768;
    static constexpr size_t kLowWater = 256;

    void Start(double bytesPerSecond, Clock::time_point now);
    // Takes what fits; returns the count lost for want of room.
    size_t Push(const uint8_t *data, size_t count);
    // Moves what the line has taken by now into sent.
    void Drain(Clock::time_point now, std::vector<uint8_t> &sent);
    void Clear() { bytes_.clear(); }
    // While paused nothing leaves (the time paused is not made up afterwards).
    void Pause(bool paused, Clock::time_point now);

    size_t Fill() const { return bytes_.size(); }
    size_t Room() const { return kCapacity - bytes_.size(); }
    bool Paused() const { return paused_; }
    // When the fill will be down to target, draining from now on.
    std::optional<Clock::time_point> WhenFillIs(size_t target) const;

private:
    std::deque<uint8_t> bytes_;
    double rate_ = 1;
    double credit_ = 0; // bytes the line could have taken and has not
    Clock::time_point last_{};
    bool paused_ = false;
};

} // namespace vmodem
