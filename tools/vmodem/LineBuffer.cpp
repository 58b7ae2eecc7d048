// The transmit buffer and its line rate.
#include "LineBuffer.h"

#include <algorithm>
#include <cmath>

namespace vmodem {

void CLineBuffer::Start(double bytesPerSecond, Clock::time_point now) {
    bytes_.clear();
    rate_ = std::max(bytesPerSecond, 1.0);
    credit_ = 0;
    last_ = now;
    paused_ = false;
}

size_t CLineBuffer::Push(const uint8_t *data, size_t count) {
    size_t taken = std::min(count, Room());
    bytes_.insert(bytes_.end(), data, data + taken);
    return count - taken;
}

void CLineBuffer::Drain(Clock::time_point now, std::vector<uint8_t> &sent) {
    if (!paused_ && now > last_)
        credit_ += rate_ * std::chrono::duration<double>(now - last_).count();
    last_ = std::max(last_, now);
    size_t n = std::min(bytes_.size(), size_t(credit_));
    sent.insert(sent.end(), bytes_.begin(), bytes_.begin() + long(n));
    bytes_.erase(bytes_.begin(), bytes_.begin() + long(n));
    credit_ -= double(n);
    // An idle line sends fill, not a burst later on.
    if (bytes_.empty())
        credit_ = std::min(credit_, 1.0);
}

void CLineBuffer::Pause(bool paused, Clock::time_point now) {
    if (!paused_ && now > last_)
        credit_ += rate_ * std::chrono::duration<double>(now - last_).count();
    last_ = std::max(last_, now);
    paused_ = paused;
}

std::optional<Clock::time_point> CLineBuffer::WhenFillIs(size_t target) const {
    if (paused_)
        return std::nullopt;
    double owed = double(bytes_.size()) - double(target) - credit_;
    if (owed <= 0)
        return last_;
    auto wait = std::chrono::duration<double>(std::ceil(owed) / rate_);
    return last_ + std::chrono::ceil<Clock::duration>(wait);
}

} // namespace vmodem
