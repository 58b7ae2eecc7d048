// The engine's string helpers.
#pragma once

#include <cstdint>

// The library's string-return routine: stores n characters of source (all of
// it when n is 0; an empty string for a null source) into the caller's
// Realloc block, growing or replacing it; returns the count stored.
uint32_t SetStr(const char *source, char **target, uint32_t n);

// Removes every byte that is neither alphanumeric nor white space; returns
// the new length.
int StrAlphaFiltering(char *buffer, int length);
