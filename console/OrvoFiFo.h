// CFiFo: a byte queue that keeps a bounded recent window of what was pulled
// into it.
#pragma once

#include <cstdint>

#include "Tamsel.h"

class CFiFo : public QueueBuff {
public:
    uint32_t bound = 0; // the FIFO is trimmed back towards this many bytes

    // Appends the bytes; then, if the FIFO held more than the bound before
    // this pull, drops that excess from the head.
    void Pull(const char *data, uint32_t length);
    // Points out at the held bytes (null when empty) without copying; returns
    // the count held, 0 when out is null.
    uint32_t GetBuffDirect(char **out);
    // A terminated copy of the held bytes in *out (a Realloc block, resized);
    // an empty FIFO releases *out to null. Returns the count held.
    uint32_t GetSnapshotAsString(char **out);
};
