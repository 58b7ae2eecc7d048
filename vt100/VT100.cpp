// The VT100 interpreter (module VT100): turns the modem's output into calls of
// the screen backend. It understands the VT52 escapes (ESC and one letter) and
// the ANSI control sequences (ESC [ with numeric parameters). Runs of text go
// to the backend whole; a sequence cut off at the end of a chunk is held back
// in cBuffer and parsed again, from its ESC, with the next chunk.
#include "VT100.h"

#include "CONSOLE.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

constexpr int kBufferSize = 4096;
constexpr char kAnswerback[] = "vt100";
constexpr int kAnswerbackLength = 5;
constexpr char kOverflowMessage[] = "ERROR: VT-100 internal buffer overflow!";
constexpr int kOverflowMessageLength = 39;
constexpr int kFormatBuffer = 1024;

// Room for the parameters of one control sequence; later ones are dropped.
constexpr int kMaxParams = 16;
// Parameter values saturate here: no console coordinate or repeat count
// means anything beyond it, and the arithmetic on it cannot overflow.
constexpr int kMaxParamValue = 32767;

constexpr unsigned char ESC = 0x1B;

// ANSI colour number -> colour bits of an attribute word (6 maps like 3).
const int ScColorTrans[8] = {0, 1, 2, 3, 4, 5, 3, 7};

char cBuffer[kBufferSize + 1];
int BufLen = 0;

// Consumed-byte count of an action, or this when the sequence is incomplete.
constexpr int kIncomplete = 0;

bool IsText(unsigned char c) { return (c >= 0x1C && c <= 0x7F) || c == '\n' || c == '\r'; }
bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }

int AddDigit(int value, unsigned char digit) {
    if (value > (kMaxParamValue - 9) / 10)
        return kMaxParamValue;
    value = value * 10 + (digit - '0');
    return value > kMaxParamValue ? kMaxParamValue : value;
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
    if (count == 0) {
        // Renditions and character set reset; the colours stay.
        fore &= ~(kAttrBold | kAttrUnderline | kAttrBlink | kAttrReverse | kCharSetMask);
        fore |= kCharSetAscii;
    }
    for (int i = 0; i < count; ++i) {
        const int p = params[i];
        if (p == 0)
            fore &= ~kAttrBold; // only bold: colours and the rest stay
        else if (p == 1)
            fore |= kAttrBold;
        else if (p == 4)
            fore |= kAttrUnderline;
        else if (p == 5)
            fore |= kAttrBlink;
        else if (p == 7)
            fore |= kAttrReverse;
        else if (p >= 30 && p <= 37)
            fore = (fore & ~7) | ScColorTrans[p - 30];
        else if (p >= 40 && p <= 47)
            back = (back & ~7) | ScColorTrans[p - 40];
    }
    beSetTextAttributes(fore, back);
}

// ESC [ ? Pn h / l, from the byte after "?". Returns the bytes consumed from
// pos, or kIncomplete.
int PrivateMode(int pos) {
    int q = pos;
    int mode = 0;
    while (q < BufLen && IsDigit(static_cast<unsigned char>(cBuffer[q])))
        mode = AddDigit(mode, static_cast<unsigned char>(cBuffer[q++]));
    if (q >= BufLen)
        return kIncomplete;
    const char final = cBuffer[q];
    if (mode >= 0 && mode <= 8 && (final == 'h' || final == 'l')) {
        const int bit = termAttrMode[mode];
        const int current = beGetTermMode();
        if (final == 'h' && !(current & bit))
            beSetTermMode(current | bit);
        else if (final == 'l' && (current & bit))
            beSetTermMode(current & ~bit);
    }
    return q + 1 - pos;
}

void Repeat(int times, int fromRow, int fromColumn, int toRow, int toColumn) {
    for (int i = 0; i < times; ++i)
        beDeleteText(fromRow, fromColumn, toRow, toColumn);
}

// ESC [ ...: start is the index after "[". Returns the bytes consumed from the
// sequence's ESC (start - 2), or kIncomplete.
int ControlSequence(int start) {
    int params[kMaxParams];
    int count = 0;
    int q = start;
    if (q >= BufLen)
        return kIncomplete;
    if (cBuffer[q] == ';')
        ++q;
    unsigned char final = 0;
    for (;;) {
        int value = 0;
        while (q < BufLen && IsDigit(static_cast<unsigned char>(cBuffer[q])))
            value = AddDigit(value, static_cast<unsigned char>(cBuffer[q++]));
        if (q >= BufLen)
            return kIncomplete;
        if (q != start && count < kMaxParams)
            params[count++] = value;
        if (cBuffer[q] != ';') {
            final = static_cast<unsigned char>(cBuffer[q++]);
            break;
        }
        ++q;
    }
    const int consumed = q - (start - 2);
    const int p1 = count > 0 ? params[0] : 0;
    const int p1AtLeast1 = p1 < 1 ? 1 : p1;
    switch (final) {
    case 'A':
        beOffsetCursor(count ? -p1 : -1, 0);
        break;
    case 'B':
        beOffsetCursor(count ? p1 : 1, 0);
        break;
    case 'C':
        beOffsetCursor(0, count ? p1 : 1);
        break;
    case 'D':
        beOffsetCursor(0, count ? -p1 : -1);
        break;
    case 'H':
    case 'f':
        if (count == 0)
            beAbsoluteCursor(1, 1);
        else if (count == 1)
            beAbsoluteCursor(p1AtLeast1, 1);
        else if (count == 2)
            beAbsoluteCursor(p1AtLeast1, params[1] < 1 ? 1 : params[1]);
        break;
    case 'J':
        if (count == 0)
            beEraseText(kCursorPos, kCursorPos, kLastPos, kLastPos);
        else if (p1 == 1)
            beEraseText(0, 0, kCursorPos, kCursorPos);
        else
            beEraseText(0, 0, kLastPos, kLastPos);
        break;
    case 'K':
        if (count == 0)
            beEraseText(kCursorPos, kCursorPos, kCursorPos, kLastPos);
        else if (p1 == 1)
            beEraseText(kCursorPos, 0, kCursorPos, kCursorPos);
        else
            beEraseText(kCursorPos, 0, kCursorPos, kLastPos);
        break;
    case 'L':
        beInsertRow(kCursorPos);
        break;
    case 'M':
        Repeat(count ? p1AtLeast1 : 1, kCursorPos, 0, kCursorPos, kLastPos);
        break;
    case 'P':
        Repeat(count ? p1AtLeast1 : 1, kCursorPos, kCursorPos, kCursorPos, kCursorPos);
        break;
    case 'g':
        if (count == 0)
            beClearTab(kCursorPos);
        else if (count == 1 && p1 == 3)
            beClearTab(kAllTabs);
        break;
    case 'm':
        SelectGraphicRendition(params, count);
        break;
    case 'r':
        if (count == 0)
            beSetScrollingRows(0, kLastPos);
        else if (count == 2)
            beSetScrollingRows(p1, params[1]);
        break;
    case '?': {
        const int more = PrivateMode(q);
        if (more == kIncomplete)
            return kIncomplete;
        return consumed + more;
    }
    default:
        break; // unknown final: consumed and ignored
    }
    return consumed;
}

// pos is at an ESC. Returns the bytes consumed, or kIncomplete.
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
        beAbsoluteCursor(kCursorPos, 0);
        beOffsetCursor(-1, 0);
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

// A control byte at pos. Returns the bytes consumed, or kIncomplete.
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
        beOffsetCursor(1, 0);
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

} // namespace

int vtInitVT100() {
    BufLen = 0;
    cBuffer[0] = '\0';
    beInitVT100Terminal();
    return 0;
}

int vtProcessedTextOut(const char *text, int length) {
    if (length < 0 || (!text && length > 0))
        return -1;
    if (length > kBufferSize - BufLen) {
        beRawTextOut(kOverflowMessage, kOverflowMessageLength);
        beFlushScreen();
        return -1;
    }
    if (length > 0)
        std::memcpy(cBuffer + BufLen, text, static_cast<size_t>(length));
    BufLen += length;
    cBuffer[BufLen] = '\0';

    int pos = 0;
    while (pos < BufLen) {
        const int run = pos;
        while (IsText(static_cast<unsigned char>(cBuffer[pos])))
            ++pos; // the NUL behind the data ends every run
        if (pos > run)
            beRawTextOut(cBuffer + run, pos - run);
        if (pos >= BufLen)
            break;
        const int consumed = ControlByte(pos);
        if (consumed == kIncomplete) {
            // Held back from its ESC; nothing of it has been acted on.
            BufLen -= pos;
            std::memmove(cBuffer, cBuffer + pos, static_cast<size_t>(BufLen));
            cBuffer[BufLen] = '\0';
            beFlushScreen();
            return 0;
        }
        pos += consumed;
    }
    BufLen = 0;
    cBuffer[0] = '\0';
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

int vtprintf(const char *format, ...) {
    char text[kFormatBuffer];
    text[0] = '\0';
    if (!format)
        return 0;
    va_list args;
    va_start(args, format);
    // vsnprintf cuts what does not fit and always ends the text.
    const int n = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (n < 0)
        text[0] = '\0';
    vtProcessedTextOut(text, static_cast<int>(std::strlen(text)));
    return 0;
}
