// The VT100 interpreter (module VT100): turns the modem's output into calls of
// the screen backend. It understands the ANSI control sequences (ESC [ with
// numeric parameters), the VT100's escapes and the VT52 ones that do not
// collide with them. Runs of text go to the backend whole; a sequence cut off
// at the end of a chunk is held back in cBuffer and parsed again, from its
// ESC, with the next chunk.
#include "VT100.h"

#include "CONSOLE.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

constexpr int kBufferSize = 4096;
constexpr char kAnswerback[] = "vt100";
constexpr int kAnswerbackLength = 5;
constexpr int kFormatBuffer = 1024;

// Room for the parameters of one control sequence; later ones are dropped.
constexpr int kMaxParams = 16;
// Parameter values saturate here: no screen position or repeat count means
// anything beyond it, and the arithmetic on it cannot overflow.
constexpr int kMaxParamValue = 32767;
// A field left empty: the sequence's default.
constexpr int kMissing = -1;
// Longer than any sequence that means something (sixteen five-digit fields):
// such a sequence is dropped whole, however it arrives.
constexpr int kMaxSequence = 128;

constexpr unsigned char ESC = 0x1B;

// ANSI colour number -> colour bits of an attribute word: the same bit order.
const int ScColorTrans[8] = {0, 1, 2, 3, 4, 5, 6, 7};

char cBuffer[kBufferSize + 1];
int BufLen = 0;
// Inside an over-long control sequence whose start was dropped: its
// remaining parameter bytes and its final byte go too.
bool bSkipSequence = false;
// The rendition ESC [ m returns to: the words the backend started with.
int startFore = kCharSetAscii;
int startBack = 0;

// Consumed-byte counts of an action, or these.
constexpr int kIncomplete = 0;
constexpr int kOverlong = -1;

struct TextBytes {
    bool text[256];
    TextBytes() : text{} {
        for (int c = 0x1C; c <= 0x7F; ++c)
            text[c] = true;
        text[size_t('\n')] = text[size_t('\r')] = true;
    }
};
const TextBytes kText;

bool IsDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}
// Digits, separators and intermediate bytes: everything between a control
// sequence's leader and its final byte.
bool InSequence(unsigned char c) {
    return IsDigit(c) || c == ';' || (c >= 0x20 && c <= 0x2F);
}

int AddDigit(int value, unsigned char digit) {
    if (value < 0)
        value = 0;
    if (value > (kMaxParamValue - 9) / 10)
        return kMaxParamValue;
    return value * 10 + (digit - '0');
}

int AtLeast1(int value) {
    return value < 1 ? 1 : value;
}

void SelectCharSet(int set) {
    int fore = 0, back = 0;
    beGetTextAttributes(&fore, &back);
    if (fore & set)
        return;
    beSetTextAttributes((fore & ~kCharSetMask) | set, back);
}

void CaretEcho(unsigned char c) {
    const char echo[2] = {'^', static_cast<char>((c + 64) & 0xFF)};
    beRawTextOut(echo, 2);
}

void EscapeEcho(unsigned char c) {
    const char echo[6] = {'<', 'e', 's', 'c', '>', static_cast<char>(c)};
    beRawTextOut(echo, 6);
}

void SelectGraphicRendition(const int *params, int count) {
    int fore = 0, back = 0;
    beGetTextAttributes(&fore, &back);
    const int wasFore = fore, wasBack = back;
    for (int i = 0; i < std::max(count, 1); ++i) {
        const int p = count ? params[i] : 0;
        if (p <= 0) {
            fore = startFore;
            back = startBack;
        } else if (p == 1) {
            fore |= kAttrBold;
        } else if (p == 4) {
            fore |= kAttrUnderline;
        } else if (p == 5) {
            fore |= kAttrBlink;
        } else if (p == 7) {
            fore |= kAttrReverse;
        } else if (p == 22) {
            fore &= ~kAttrBold;
        } else if (p == 24) {
            fore &= ~kAttrUnderline;
        } else if (p == 25) {
            fore &= ~kAttrBlink;
        } else if (p == 27) {
            fore &= ~kAttrReverse;
        } else if (p >= 30 && p <= 37) {
            fore = (fore & ~kAttrColours) | ScColorTrans[p - 30];
        } else if (p == 39) {
            fore = (fore & ~kAttrColours) | (startFore & kAttrColours);
        } else if (p >= 40 && p <= 47) {
            back = (back & ~kAttrColours) | ScColorTrans[p - 40];
        } else if (p == 49) {
            back = (back & ~kAttrColours) | (startBack & kAttrColours);
        }
    }
    if (fore != wasFore || back != wasBack)
        beSetTextAttributes(fore, back);
}

// ESC [ ? Pn ; ... h or l: DEC private modes 0 to 8.
void PrivateModes(const int *params, int count, unsigned char final) {
    for (int i = 0; i < count; ++i) {
        if (params[i] < 0 || params[i] > 8)
            continue;
        const int bit = termAttrMode[params[i]];
        const int current = beGetTermMode();
        if (final == 'h' && !(current & bit))
            beSetTermMode(current | bit);
        else if (final == 'l' && (current & bit))
            beSetTermMode(current & ~bit);
    }
}

void Erase(int how, bool wholeScreen) {
    const int lastRow = wholeScreen ? kLastPos : kCursorPos;
    const int firstRow = wholeScreen ? 0 : kCursorPos;
    if (how <= 0)
        beEraseText(kCursorPos, kCursorPos, lastRow, kLastPos);
    else if (how == 1)
        beEraseText(firstRow, 0, kCursorPos, kCursorPos);
    else if (how == 2)
        beEraseText(firstRow, 0, lastRow, kLastPos);
}

void Perform(unsigned char final, const int *params, int count) {
    const int p1 = count > 0 ? params[0] : kMissing;
    const int p2 = count > 1 ? params[1] : kMissing;
    switch (final) {
    case 'A':
        beOffsetCursor(-AtLeast1(p1), 0);
        break;
    case 'B':
        beOffsetCursor(AtLeast1(p1), 0);
        break;
    case 'C':
        beOffsetCursor(0, AtLeast1(p1));
        break;
    case 'D':
        beOffsetCursor(0, -AtLeast1(p1));
        break;
    case 'H':
    case 'f':
        beAbsoluteCursor(AtLeast1(p1), AtLeast1(p2));
        break;
    case 'J':
        Erase(p1, true);
        break;
    case 'K':
        Erase(p1, false);
        break;
    case 'L':
        beInsertRows(AtLeast1(p1));
        break;
    case 'M':
        beDeleteRows(AtLeast1(p1));
        break;
    case 'P':
        beDeleteChars(AtLeast1(p1));
        break;
    case 'g':
        if (p1 <= 0)
            beClearTab(kCursorPos);
        else if (p1 == 3)
            beClearTab(kAllTabs);
        break;
    case 'm':
        SelectGraphicRendition(params, count);
        break;
    case 'r':
        beSetScrollingRows(p1 == kMissing ? 1 : p1, p2 == kMissing ? kLastPos : p2);
        break;
    default:
        break; // unknown final: consumed and ignored
    }
}

// ESC [ ...: start is the index after "[". Returns the bytes consumed from the
// sequence's ESC (start - 2), kIncomplete, or kOverlong when the sequence has
// outgrown kMaxSequence without its final byte.
int ControlSequence(int start) {
    int params[kMaxParams];
    int count = 0;
    int q = start;
    unsigned char leader = 0;
    if (q < BufLen && cBuffer[q] >= '<' && cBuffer[q] <= '?')
        leader = static_cast<unsigned char>(cBuffer[q++]);
    int value = kMissing;
    bool intermediate = false;
    for (; q < BufLen; ++q) {
        const unsigned char c = static_cast<unsigned char>(cBuffer[q]);
        if (IsDigit(c)) {
            value = AddDigit(value, c);
        } else if (c == ';') {
            if (count < kMaxParams)
                params[count++] = value;
            value = kMissing;
        } else if (InSequence(c)) {
            intermediate = true; // a sequence of another kind: parsed, not acted on
        } else {
            break;
        }
    }
    if (q >= BufLen)
        return q - start > kMaxSequence ? kOverlong : kIncomplete;
    const unsigned char final = static_cast<unsigned char>(cBuffer[q]);
    const int consumed = q + 1 - (start - 2);
    if (q - start > kMaxSequence || intermediate)
        return consumed;
    if ((value != kMissing || count > 0) && count < kMaxParams)
        params[count++] = value;
    if (leader == '?' && (final == 'h' || final == 'l'))
        PrivateModes(params, count, final);
    else if (leader == 0)
        Perform(final, params, count);
    return consumed;
}

// pos is at an ESC. Returns the bytes consumed, kIncomplete or kOverlong.
int EscapeSequence(int pos) {
    if (pos + 1 >= BufLen)
        return kIncomplete;
    const unsigned char c = static_cast<unsigned char>(cBuffer[pos + 1]);
    switch (c) {
    case '(':
    case ')': {
        if (pos + 2 >= BufLen)
            return kIncomplete;
        const char designator = cBuffer[pos + 2];
        if (designator == '0')
            SelectCharSet(kCharSetGraphics);
        else if (designator == '2')
            SelectCharSet(kCharSetAlt);
        else if (designator == 'B')
            SelectCharSet(kCharSetAscii);
        return 3;
    }
    case '7':
        beSaveCursor();
        break;
    case '8':
        beRestoreCursor();
        break;
    case 'A':
    case 'I':
        beOffsetCursor(-1, 0);
        break;
    case 'B':
        beOffsetCursor(1, 0);
        break;
    case 'C':
        beOffsetCursor(0, 1);
        break;
    case 'D':
        // Index; cursor left in VT52 mode.
        if (beGetTermMode() & kModeAnsi)
            beIndex();
        else
            beOffsetCursor(0, -1);
        break;
    case 'E':
        beRawTextOut("\n", 1);
        break;
    case 'F':
        SelectCharSet(kCharSetF);
        break;
    case 'G':
        SelectCharSet(kCharSetAscii);
        break;
    case 'H':
        beAbsoluteCursor(0, 0);
        break;
    case 'J':
        beEraseText(kCursorPos, kCursorPos, kLastPos, kLastPos);
        break;
    case 'K':
        beEraseText(kCursorPos, kCursorPos, kCursorPos, kLastPos);
        break;
    case 'M':
        beReverseIndex();
        break;
    case 'N':
        SelectCharSet(kCharSetGraphics);
        break;
    case 'O':
        SelectCharSet(kCharSetAlt);
        break;
    case 'Z':
        beTransmitText(kAnswerback, kAnswerbackLength);
        break;
    case '[':
        return ControlSequence(pos + 2);
    case '#':
    case '-':
    case '<':
    case '=':
    case '>':
    case 'V':
    case 'W':
    case 'X':
    case 'Y':
    case ']':
    case '^':
    case 'c':
        break;
    default:
        EscapeEcho(c);
        break;
    }
    return 2;
}

// A control byte at pos. Returns the bytes consumed, kIncomplete or kOverlong.
int ControlByte(int pos) {
    const unsigned char c = static_cast<unsigned char>(cBuffer[pos]);
    switch (c) {
    case 0x00:
    case 0x18:
        break;
    case 0x05:
        beTransmitText(kAnswerback, kAnswerbackLength);
        break;
    case 0x07:
        beRingBell();
        break;
    case 0x08:
        beOffsetCursor(0, -1);
        break;
    case 0x09:
        beAdvanceToTab();
        break;
    case 0x0B:
    case 0x0C:
        beRawTextOut("\n", 1); // a VT100 takes VT and FF for LF
        break;
    case 0x0E:
        SelectCharSet(kCharSetGraphics);
        break;
    case 0x0F:
        SelectCharSet(kCharSetAlt);
        break;
    case ESC:
        return EscapeSequence(pos);
    default:
        CaretEcho(c);
        break;
    }
    return 1;
}

// The rest of a dropped over-long sequence from pos: the bytes consumed.
int SkipSequence(int pos) {
    int q = pos;
    while (q < BufLen && InSequence(static_cast<unsigned char>(cBuffer[q])))
        ++q;
    if (q < BufLen) {
        bSkipSequence = false;
        ++q; // its final byte
    }
    return q - pos;
}

// Interprets cBuffer[0, BufLen) and keeps an incomplete sequence at its front.
void Interpret() {
    int pos = bSkipSequence ? SkipSequence(0) : 0;
    while (pos < BufLen) {
        const int run = pos;
        const unsigned char *byte = reinterpret_cast<const unsigned char *>(cBuffer) + pos;
        while (kText.text[*byte])
            ++byte; // the NUL behind the data ends every run
        pos = int(byte - reinterpret_cast<const unsigned char *>(cBuffer));
        if (pos > run)
            beRawTextOut(cBuffer + run, pos - run);
        if (pos >= BufLen)
            break;
        const int consumed = ControlByte(pos);
        if (consumed == kOverlong) {
            bSkipSequence = true;
            break;
        }
        if (consumed == kIncomplete) {
            // Held back from its ESC; nothing of it has been acted on.
            BufLen -= pos;
            std::memmove(cBuffer, cBuffer + pos, static_cast<size_t>(BufLen));
            cBuffer[BufLen] = '\0';
            return;
        }
        pos += consumed;
    }
    BufLen = 0;
    cBuffer[0] = '\0';
}

} // namespace

int vtInitVT100() {
    BufLen = 0;
    cBuffer[0] = '\0';
    bSkipSequence = false;
    beInitVT100Terminal();
    beGetTextAttributes(&startFore, &startBack);
    return 0;
}

int vtProcessedTextOut(const char *text, int length) {
    if (length < 0 || (!text && length > 0))
        return -1;
    // In pieces that fit beside the held-back bytes (never more than one
    // sequence's worth).
    while (length > 0) {
        const int n = std::min(length, kBufferSize - BufLen);
        std::memcpy(cBuffer + BufLen, text, static_cast<size_t>(n));
        BufLen += n;
        cBuffer[BufLen] = '\0';
        Interpret();
        text += n;
        length -= n;
    }
    beFlushScreen();
    return 0;
}

int vtputs(const char *text) {
    char line[kFormatBuffer];
    size_t length = text ? std::strlen(text) : 0;
    if (length > kFormatBuffer - 2)
        length = kFormatBuffer - 2; // room for the LF and the NUL
    if (length > 0)
        std::memcpy(line, text, length);
    line[length] = '\n';
    line[length + 1] = '\0';
    vtProcessedTextOut(line, static_cast<int>(length + 1));
    return 0;
}

int vtvprintf(const char *format, va_list args) {
    char text[kFormatBuffer];
    text[0] = '\0';
    if (!format)
        return 0;
    // vsnprintf cuts what does not fit and always ends the text.
    if (std::vsnprintf(text, sizeof text, format, args) < 0)
        text[0] = '\0';
    vtProcessedTextOut(text, static_cast<int>(std::strlen(text)));
    return 0;
}

int vtprintf(const char *format, ...) {
    va_list args;
    va_start(args, format);
    vtvprintf(format, args);
    va_end(args);
    return 0;
}

int vtRedraw() {
    beRefreshScreen();
    return 0;
}
