// The response observer: keeps recent received text and control codes in two
// bounded FIFOs and, while a wait is armed, searches them for the answers.
#include "FBObserver.h"

#include <cstring>

namespace {

// Upper case as the system's ANSI code page (Windows-1251) has it, so that
// answers match case-insensitively, Cyrillic included.
void UpperAnsi(char *s) {
    for (; s && *s; ++s) {
        unsigned char c = static_cast<unsigned char>(*s);
        if (c >= 'a' && c <= 'z')
            c = static_cast<unsigned char>(c - 'a' + 'A');
        else if (c >= 0xE0)
            c = static_cast<unsigned char>(c - 0x20);
        else if (c == 0xB8) // small io
            c = 0xA8;
        *s = char(c);
    }
}

char *CopyText(const char *text) {
    uint32_t length = Strlen(text);
    char *copy = static_cast<char *>(Realloc(nullptr, size_t(length) + 1));
    if (copy) {
        if (length)
            std::memcpy(copy, text, length);
        copy[length] = 0;
    }
    return copy;
}

} // namespace

CFeedbackObserver::CFeedbackObserver(uint32_t capacity)
    : text_(new CFiFo), codes_(new CFiFo), event_(new plat::Event(true, false)),
      capacity_(capacity) {
    text_->bound = capacity;
    codes_->bound = capacity;
}

CFeedbackObserver::~CFeedbackObserver() {
    std::lock_guard<std::mutex> guard(lock_);
    delete event_;
    event_ = nullptr;
    delete text_;
    delete codes_;
    text_ = codes_ = nullptr;
    Realloc(expected_, 0);
    Realloc(failure_, 0);
    Realloc(results_, 0);
}

int CFeedbackObserver::WaitResponse(const char *expected, const char *failure, uint32_t timeout,
                                    uint32_t *count) {
    plat::Event *event;
    {
        std::lock_guard<std::mutex> guard(lock_);
        Realloc(expected_, 0);
        expected_ = CopyText(expected);
        Realloc(failure_, 0);
        failure_ = (failure && *failure) ? CopyText(failure) : nullptr;
        results_ = static_cast<uint32_t *>(Realloc(results_, 0));
        resultCount_ = 0;
        text_->Reset();
        codes_->Reset();
        event_->Reset();
        armed_ = 1;
        event = event_;
    }
    bool matched = event->Wait(timeout);
    std::lock_guard<std::mutex> guard(lock_);
    armed_ = 0;
    if (!matched)
        return -1;
    if (count)
        *count = uint32_t(resultCount_);
    return resultCount_ ? int(results_[0]) : -1;
}

void CFeedbackObserver::Record(uint32_t code) {
    auto *grown = static_cast<uint32_t *>(Realloc(results_, sizeof(uint32_t) * (resultCount_ + 1)));
    if (!grown)
        return;
    results_ = grown;
    results_[resultCount_++] = code;
}

void CFeedbackObserver::SearchWindow(CFiFo &fifo, const char *data) {
    fifo.Pull(data, Strlen(data));
    char *snapshot = nullptr;
    if (fifo.GetSnapshotAsString(&snapshot)) {
        UpperAnsi(snapshot);
        for (char *answers : {expected_, failure_}) {
            if (!answers)
                continue;
            UpperAnsi(answers);
            if (uint32_t code = SearchOneOf(snapshot, answers))
                Record(code);
        }
    }
    Realloc(snapshot, 0);
}

void CFeedbackObserver::AppendFeedbackChunk(const char *text, const char *codes) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!event_ || !armed_)
        return;
    try {
        SearchWindow(*text_, text);
        SearchWindow(*codes_, codes);
    } catch (...) {
    }
    if (resultCount_) {
        armed_ = 0;
        event_->Set();
    }
}
