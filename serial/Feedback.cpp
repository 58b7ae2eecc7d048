// Feedback delivery: GetCommFeedback hands the client what arrived, with the
// DLE-shielded control codes taken out of the text and spelt as tokens.
#include <cctype>
#include <cstring>

#include "EngineState.h"

namespace {

constexpr unsigned char kDc2 = 0x12;
// Tokens are added while the code string is at most this long.
constexpr uint32_t kMaxCodeLength = 31999;

// The token for the byte that follows a DLE.
uint32_t TokenFor(unsigned char code, char token[8]) {
    switch (code) {
    case 0x03:
        std::memcpy(token, "<ETX>", 6);
        return 5;
    case 0x12:
        std::memcpy(token, "<DC2>", 6);
        return 5;
    case 0x14:
        std::memcpy(token, "<DC4>", 6);
        return 5;
    case 0x18:
        std::memcpy(token, "<CAN>", 6);
        return 5;
    case 0x1C:
        std::memcpy(token, "<FS>", 5);
        return 4;
    case 0x00:
        // The code string is a C string: a NUL inside a token would hide
        // every later token of the chunk from the client.
        std::memcpy(token, "<NUL>", 6);
        return 5;
    default:
        token[0] = '<';
        token[1] = char(code);
        token[2] = '>';
        token[3] = 0;
        return 3;
    }
}

// A growable NUL-terminated code string of Realloc blocks.
struct CodeString {
    char *text = nullptr;
    uint32_t length = 0;
    ~CodeString() { Realloc(text, 0); }
    bool Add(const char *token, uint32_t n) {
        char *grown = static_cast<char *>(Realloc(text, length + n + 1));
        if (!grown)
            return false;
        text = grown;
        std::memcpy(text + length, token, n);
        length += n;
        text[length] = 0;
        return true;
    }
};

// Takes the DLE codes out of chunk[0..n); returns the new length. A DLE that
// ends the chunk goes back onto the queue to meet the byte that completes it;
// the caller holds the queue's lock from taking the chunk until then, so the
// byte goes back where it came from and finds room there.
uint32_t ExtractCodes(char *chunk, uint32_t n, CodeString &codes) {
    uint32_t i = 0;
    while (i < n) {
        uint32_t format = dwFeedbackFormat;
        if (format == 0)
            break;
        if (chunk[i] != char(FALCREST_DLE)) {
            ++i;
            continue;
        }
        if (i + 1 == n)
            return szInQueue.Ungetch(FALCREST_DLE) ? i : n;
        unsigned char next = static_cast<unsigned char>(chunk[i + 1]);
        if (next == FALCREST_DLE || (format == 1 && next == kDc2)) {
            i += 2;
            continue;
        }
        std::memmove(chunk + i, chunk + i + 2, n - i - 2);
        n -= 2;
        if (codes.length <= kMaxCodeLength) {
            char token[8];
            uint32_t length = TokenFor(next, token);
            if (!codes.Add(token, length))
                break; // no room for codes: the rest goes to the text unscanned
        }
    }
    return n;
}

uint32_t RemoveNuls(char *chunk, uint32_t n) {
    uint32_t kept = 0;
    for (uint32_t i = 0; i < n; ++i)
        if (chunk[i] != 0)
            chunk[kept++] = chunk[i];
    return kept;
}

// Holds a queue's lock for a scope.
class QueueHold {
public:
    explicit QueueHold(QueueBuff &queue) : queue_(queue) { queue_.Enter(); }
    ~QueueHold() { queue_.Leave(); }
    QueueHold(const QueueHold &) = delete;
    QueueHold &operator=(const QueueHold &) = delete;

private:
    QueueBuff &queue_;
};

int FailureExit(char **text, char **codes, uint32_t *length) {
    SetStr(nullptr, text, 0);
    SetStr(nullptr, codes, 0);
    if (length)
        *length = 0;
    return 0;
}

} // namespace

uint32_t SetStr(const char *source, char **target, uint32_t n) {
    if (!target)
        return 0;
    if (!source) {
        source = "";
        n = 0;
    } else if (n == 0) {
        n = Strlen(source);
    }
    char *block = static_cast<char *>(Realloc(*target, size_t(n) + 1));
    if (!block) {
        Realloc(*target, 0);
        *target = nullptr;
        return 0;
    }
    *target = block;
    if (n)
        std::memcpy(block, source, n);
    block[n] = 0;
    return n;
}

int StrAlphaFiltering(char *buffer, int length) {
    if (!buffer || length == 0 || length == -1)
        return 0;
    if (length < 0)
        return length;
    int kept = 0;
    for (int i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(buffer[i]);
        if (std::isalnum(c) || std::isspace(c))
            buffer[kept++] = char(c);
    }
    if (kept != length)
        buffer[kept] = 0;
    return kept;
}

extern "C" FALCREST_API int GetCommFeedback(char **text, char **codes, char *raw,
                                            uint32_t *length) {
    try {
        if (!length || !PortIsOpen())
            return FailureExit(text, codes, length);
        uint32_t most = *length;
        char *chunk = static_cast<char *>(Realloc(nullptr, size_t(most) + 1));
        if (!chunk)
            return FailureExit(text, codes, length);
        CodeString found;
        uint32_t n = 0;
        {
            QueueHold hold(szInQueue);
            n = most ? szInQueue.Paste(chunk, most) : 0;
            if (n == 0) {
                Realloc(chunk, 0);
                return FailureExit(text, codes, length);
            }
            if (dwFeedbackFormat != 0)
                n = ExtractCodes(chunk, n, found);
        }
        if (found.length)
            SetStr(found.text, codes, found.length);
        if (raw) {
            std::memcpy(raw, chunk, n);
            *length = n;
        } else {
            *length = 0;
        }
        n = RemoveNuls(chunk, n);
        if (n)
            SetStr(chunk, text, n);
        Realloc(chunk, 0);
        return 1;
    } catch (...) {
        return 0;
    }
}

extern "C" FALCREST_API int SetFeedbackType(int type) {
    dwFeedbackFormat = uint32_t(type);
    plat::Worker::Priority priority = plat::Worker::Priority::Normal;
    if (type) {
        dwReadBlockSize = 100;
        dwMaxContinuesRead = 100;
    } else {
        dwReadBlockSize = 1;
        dwMaxContinuesRead = 0;
        priority = plat::Worker::Priority::Highest;
    }
    return SetReaderPriority(priority) ? 1 : 0;
}

extern "C" FALCREST_API int AppendDataChank(const char *data, uint32_t count) {
    if (!data)
        return 0;
    return int(szPlayQueue.Append(data, count));
}

extern "C" FALCREST_API int PasteDataChank(char *buffer, uint32_t max) {
    if (!buffer)
        return 0;
    return int(szPlayQueue.Paste(buffer, max));
}

extern "C" FALCREST_API int GetCollectorLength(void) {
    return int(QBuff_GetLength(&szPlayQueue));
}
