// The soak's samples and its verdict on memory: after a warm-up the resident
// set must stay flat.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace soak {

struct Sample {
    double seconds;     // since the transfer started
    uint64_t rssKb;     // resident set
    double cpuPct;      // user+system of the whole process since the last sample
    uint64_t sentBytes; // library to far end, checked
    uint64_t receivedBytes;
};

struct MemoryVerdict {
    bool flat = true;
    uint64_t baseKb = 0;  // resident set when the warm-up ended
    uint64_t boundKb = 0; // growth allowed past it
    std::string reason;
};

// The warm-up is the first fifth of the samples (at least one): queues reach
// their working capacity, the allocator its arenas, the stacks their depth.
// Past it the resident set may rise by max(4 MiB, 5 %) at most. The allowance
// covers the allocator, not the engine: glibc gives a thread its own arena
// when another thread holds the one it would use, so on a loaded machine the
// six threads of a soak can each gain an arena of a few hundred kB late in a
// short run. A leak in the per-byte or per-call path (one feedback block a
// call is ~10 MB/s here) exceeds it within seconds. A small steady leak is
// caught by the trend instead, on windows of a minute or more: a
// least-squares rise of more than 1 MiB over the window while its last third
// sits wholly above its first third.
constexpr uint64_t kMinBoundKb = 4096;
constexpr uint64_t kTrendKb = 1024;
constexpr double kTrendWindowSeconds = 60;

inline MemoryVerdict JudgeMemory(const std::vector<Sample> &samples) {
    MemoryVerdict v;
    if (samples.size() < 2)
        return v;
    size_t warm = std::max<size_t>(1, samples.size() / 5);
    if (warm >= samples.size())
        warm = samples.size() - 1;
    std::vector<Sample> window(samples.begin() + long(warm) - 1, samples.end());
    v.baseKb = window.front().rssKb;
    v.boundKb = std::max<uint64_t>(kMinBoundKb, v.baseKb / 20);
    uint64_t peak = 0;
    for (const Sample &s : window)
        peak = std::max(peak, s.rssKb);
    if (peak > v.baseKb + v.boundKb) {
        v.flat = false;
        v.reason = "resident set rose " + std::to_string(peak - v.baseKb) +
                   " kB past the warm-up (bound " + std::to_string(v.boundKb) + " kB)";
        return v;
    }
    if (window.size() < 6 || window.back().seconds - window.front().seconds < kTrendWindowSeconds)
        return v;
    double n = double(window.size()), sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (const Sample &s : window) {
        sx += s.seconds;
        sy += double(s.rssKb);
        sxx += s.seconds * s.seconds;
        sxy += s.seconds * double(s.rssKb);
    }
    double denominator = n * sxx - sx * sx;
    if (denominator <= 0)
        return v;
    double slope = (n * sxy - sx * sy) / denominator; // kB per second
    double rise = slope * (window.back().seconds - window.front().seconds);
    size_t third = window.size() / 3;
    uint64_t firstMax = 0, lastMin = UINT64_MAX;
    for (size_t i = 0; i < third; ++i)
        firstMax = std::max(firstMax, window[i].rssKb);
    for (size_t i = window.size() - third; i < window.size(); ++i)
        lastMin = std::min(lastMin, window[i].rssKb);
    if (rise > double(kTrendKb) && lastMin > firstMax) {
        v.flat = false;
        v.reason = "resident set climbs steadily: " + std::to_string(int64_t(rise)) +
                   " kB over the window";
    }
    return v;
}

} // namespace soak
