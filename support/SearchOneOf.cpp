// SearchOneOf: finds which of several expected answers a text holds.
//
// A pattern lists answers separated by '|', each optionally followed by
// '=code'; a backslash takes the next character literally. Answers without a
// code get one derived from their text alone, so a caller can compare codes
// found through different patterns.
#include "Tamsel.h"

#include <string_view>

namespace {

constexpr uint32_t kMaxCode = 2147483647u;

// Reads a code after '=' at p: decimal digits up to the next '|' or the end,
// 1..kMaxCode. Returns the end of the code, or null when it is not one (the
// '=' is then part of the answer's text).
const char *ReadCode(const char *p, uint32_t &code) {
    uint64_t value = 0;
    const char *q = p;
    for (; *q && *q != '|'; ++q) {
        if (*q < '0' || *q > '9')
            return nullptr;
        value = value * 10 + uint32_t(*q - '0');
        if (value > kMaxCode)
            return nullptr;
    }
    if (q == p || value == 0)
        return nullptr;
    code = uint32_t(value);
    return q;
}

} // namespace

uint32_t AnswerCode(const char *answer, uint32_t length) {
    uint32_t hash = 2166136261u; // FNV-1a, 32 bits
    for (uint32_t i = 0; answer && i < length; ++i) {
        hash ^= static_cast<unsigned char>(answer[i]);
        hash *= 16777619u;
    }
    // Fold the top bit in rather than drop it, and keep 0 for "not found".
    uint32_t code = (hash ^ (hash >> 31)) & kMaxCode;
    return code ? code : 1;
}

uint32_t SearchOneOf(const char *text, const char *pattern) {
    if (!text || !pattern || !*pattern)
        return 0;
    std::string_view haystack(text);

    // The unescaped answer is never longer than the pattern.
    uint32_t patternLength = Strlen(pattern);
    char small[256];
    char *answer = small;
    if (patternLength >= sizeof small) {
        answer = static_cast<char *>(Realloc(nullptr, patternLength + 1));
        if (!answer)
            return 0;
    }

    size_t best = std::string_view::npos;
    uint32_t bestCode = 0;
    const char *p = pattern;
    while (*p) {
        uint32_t length = 0, code = 0;
        for (; *p && *p != '|'; ++p) {
            if (*p == '\\' && p[1]) {
                answer[length++] = *++p;
            } else if (*p == '=') {
                const char *end = ReadCode(p + 1, code);
                if (end) {
                    p = end;
                    break;
                }
                answer[length++] = *p;
            } else {
                answer[length++] = *p;
            }
        }
        if (*p == '|')
            ++p;
        if (length == 0)
            continue;
        // Only a match that begins before the best so far can win, so search
        // just the part of the text where such a match would lie.
        std::string_view window = haystack;
        if (best != std::string_view::npos)
            window = haystack.substr(0, best + length - 1);
        size_t at = window.find(std::string_view(answer, length));
        if (at != std::string_view::npos) {
            best = at;
            bestCode = code ? code : AnswerCode(answer, length);
            if (best == 0)
                break;
        }
    }
    if (answer != small)
        Free(answer);
    return bestCode;
}
