// CFeedbackObserver: lets the program send a command and wait until the modem
// answers with one of a set of expected texts (or a failure text).
#pragma once

#include <cstdint>
#include <mutex>

#include "OrvoFiFo.h"
#include "platform/Threads.h"

class CFeedbackObserver {
public:
    explicit CFeedbackObserver(uint32_t capacity);
    ~CFeedbackObserver();
    CFeedbackObserver(const CFeedbackObserver &) = delete;
    CFeedbackObserver &operator=(const CFeedbackObserver &) = delete;

    // Arms a wait for the answers (SearchOneOf patterns, see Tamsel.h) and
    // waits up to timeout ms. Returns the first code found, or -1; *count
    // (when given) receives how many codes were found, and is left alone on a
    // time-out.
    int WaitResponse(const char *expected, const char *failure, uint32_t timeout,
                     uint32_t *count);
    // Adds what the library reported; searched only while a wait is armed.
    void AppendFeedbackChunk(const char *text, const char *codes);

private:
    void SearchWindow(CFiFo &fifo, const char *data);
    void Record(uint32_t code);

    std::mutex lock_;
    char *expected_ = nullptr;
    char *failure_ = nullptr;
    uint32_t *results_ = nullptr;
    int resultCount_ = 0;
    CFiFo *text_;
    CFiFo *codes_;
    plat::Event *event_;
    uint32_t capacity_;
    int armed_ = 0;
};
