// Money amounts as Russian words for spoken prompts, in Windows-1251:
// 1021.5 becomes "Одна тысяча двадцать один рубль, 50 коп.".
#pragma once

#include <cstdint>

namespace voice {

// Room for any text the builder makes (the longest is well under 300 bytes).
constexpr uint32_t kTextualNumberSize = 1000;

// Builds the amount's text into out (capacity bytes, NUL-terminated) and
// returns its length. The text is empty (length 0) for an amount of 0, for
// amounts whose whole part prints with more than 12 characters (sign
// included) and for infinities and NaN. Keeps no state: callers on
// different threads do not meet.
uint32_t BuildNumberText(long double amount, char *out, uint32_t capacity);

} // namespace voice

// The amount's text in a buffer of the library (a Realloc block), or null
// when no memory is available. The buffer belongs to the calling thread: the
// text stays valid until the same thread's next call, and calls on other
// threads neither see nor overwrite it.
char *SoundizeNumberTxt(long double amount);

// Releases the calling thread's text buffer; the library calls it when it
// is unloaded. A later SoundizeNumberTxt allocates a new one.
void ReleaseTextualNumber();
