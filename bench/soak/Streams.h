// The soak's data: an endless, reproducible byte stream rich in DLE pairs,
// and the checks that what came out of each end is that stream, once and in
// order.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

#include "DleScanModel.h"

namespace soak {

// splitmix64: small, fast, and the same sequence on both sides of a check.
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint64_t Next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

private:
    uint64_t state_;
};

// The stream comes in units: one byte other than DLE, or a DLE pair. A
// writer that stops at a unit boundary never leaves a DLE waiting for its
// partner.
class Generator {
public:
    explicit Generator(uint64_t seed) : random_(seed) {}
    // Appends one unit to out; returns its length (1 or 2).
    size_t AppendUnit(std::string &out) {
        uint64_t r = random_.Next();
        unsigned choice = unsigned(r & 0xF);
        unsigned char value = static_cast<unsigned char>(r >> 8);
        if (choice >= 3) {
            if (value == 0x10)
                value = 0x11;
            out += char(value);
            return 1;
        }
        // The bytes after a DLE that the engine treats differently: a
        // doubled DLE, the block end, the shielded DC2, the tokens with a
        // name, a NUL, and any other byte as a plain token.
        static const unsigned char kSpecial[] = {0x10, 0x03, 0x12, 0x14, 0x18, 0x1C, 0x00,
                                                 'b',  '5',  '<',  '>',  0x11, 0x13};
        unsigned pick = unsigned((r >> 16) % (sizeof kSpecial + 4));
        out += char(0x10);
        out += char(pick < sizeof kSpecial ? kSpecial[pick] : value);
        return 2;
    }
    // Appends whole units until at least n bytes were added; returns the count.
    size_t AppendAtLeast(std::string &out, size_t n) {
        size_t added = 0;
        while (added < n)
            added += AppendUnit(out);
        return added;
    }

private:
    Random random_;
};

// Checks the bytes a far end reads against the stream, byte by byte.
class PlainChecker {
public:
    explicit PlainChecker(uint64_t seed) : generator_(seed) {}
    // False at the first byte that differs.
    bool Accept(const char *data, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            if (next_ >= expected_.size()) {
                expected_.erase(0, next_);
                next_ = 0;
                generator_.AppendAtLeast(expected_, 4096);
            }
            if (expected_[next_] != data[i])
                return false;
            ++next_;
            ++matched_;
        }
        return true;
    }
    uint64_t Matched() const { return matched_; }

private:
    Generator generator_;
    std::string expected_;
    size_t next_ = 0;
    uint64_t matched_ = 0;
};

// Checks what GetCommFeedback hands out (the text as raw bytes, and the code
// tokens) against the stream as the feedback's DLE scan turns it into text
// and tokens. Raw and codes are checked as two ordered streams.
class FeedbackChecker {
public:
    explicit FeedbackChecker(uint64_t seed) : generator_(seed) {}

    bool AcceptRaw(const char *data, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            while (raw_.empty())
                if (!Expand())
                    return false;
            if (raw_.front() != data[i])
                return false;
            raw_.pop_front();
            ++matchedBytes_;
        }
        return true;
    }
    bool AcceptCodes(const char *codes) {
        for (const char *c = codes; *c; ++c) {
            while (codes_.empty())
                if (!Expand())
                    return false;
            if (codes_.front() != *c)
                return false;
            codes_.pop_front();
            if (--tokenLeft_.front() == 0) {
                tokenLeft_.pop_front();
                matchedBytes_ += 2; // a token stands for its DLE pair
            }
        }
        return true;
    }
    // Bytes of the stream accounted for by what arrived so far.
    uint64_t Matched() const { return matchedBytes_; }

private:
    // Generates the next unit into the expected raw text or tokens, as the
    // tests' model of the scan has it (format 1: DC2 pairs stay in the text).
    bool Expand() {
        std::string unit, raw, token;
        bool heldBack = false;
        generator_.AppendUnit(unit);
        testing_support::ExpectedDleScan(unit, 1, raw, token, heldBack);
        raw_.insert(raw_.end(), raw.begin(), raw.end());
        if (!token.empty()) {
            codes_.insert(codes_.end(), token.begin(), token.end());
            tokenLeft_.push_back(token.size());
        }
        return !heldBack;
    }

    Generator generator_;
    std::deque<char> raw_, codes_;
    std::deque<size_t> tokenLeft_;
    uint64_t matchedBytes_ = 0;
};

} // namespace soak
