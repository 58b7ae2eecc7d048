// Takes everything the library holds for its client, as Quenby's callback
// does: GetCommFeedback a chunk of at most 1000 bytes at a time until a call
// brings neither bytes nor DLE tokens. onChunk(raw, length, codes) sees each
// chunk's bytes and its tokens (codes may be null). The caller keeps one
// consumer at a time.
#pragma once

#include "falcrest/Falcrest.h"

#include <cstdint>

template <class OnChunk> void DrainFeedback(OnChunk &&onChunk) {
    for (;;) {
        char *text = nullptr, *codes = nullptr;
        char raw[1000];
        uint32_t length = sizeof raw;
        int got = GetCommFeedback(&text, &codes, raw, &length);
        if (got)
            onChunk(raw, length, codes);
        bool more = got && (length || (codes && *codes));
        Realloc(text, 0);
        Realloc(codes, 0);
        if (!more)
            break;
    }
}
