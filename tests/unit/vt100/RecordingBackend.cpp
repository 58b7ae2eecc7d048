// The recording backend: every operation appends its name and arguments.
#include "RecordingBackend.h"

#include "CONSOLE.h"

#include <cstdio>

const int termAttrMode[9] = {0, 0x10, 0x20, 0x40, 0x80, 0x100, 0x200, 0x400, 0x800};

namespace recording {

std::vector<std::string> calls;
int fore = 0x107;
int back = 0;
int termMode = 0xC20;

void Reset() {
    calls.clear();
    fore = 0x107;
    back = 0;
    termMode = 0xC20;
}

std::string Log() {
    std::string log;
    bool inText = false;
    for (const std::string &call : calls) {
        bool text = call.rfind("Text:", 0) == 0;
        if (text && inText) {
            log.pop_back(); // join with the previous run
            log += call.substr(5);
        } else {
            log += call;
        }
        log += '\n';
        inText = text;
    }
    return log;
}

} // namespace recording

namespace {
int Record(const char *format, int a = 0, int b = 0, int c = 0, int d = 0) {
    char line[128];
    std::snprintf(line, sizeof line, format, a, b, c, d);
    recording::calls.emplace_back(line);
    return 0;
}
} // namespace

int beInitVT100Terminal() {
    return Record("Init");
}
int beRawTextOut(const char *text, int length) {
    recording::calls.push_back("Text:" + std::string(text, size_t(length)));
    return 0;
}
int beOffsetCursor(int rows, int columns) {
    return Record("Offset(%d,%d)", rows, columns);
}
int beAbsoluteCursor(int row, int column) {
    return Record("Abs(%d,%d)", row, column);
}
int beSaveCursor() {
    return Record("Save");
}
int beRestoreCursor() {
    return Record("Restore");
}
int beGetTextAttributes(int *fore, int *back) {
    *fore = recording::fore;
    *back = recording::back;
    return 0;
}
int beSetTextAttributes(int fore, int back) {
    recording::fore = fore;
    recording::back = back;
    return Record("Attr(%#x,%#x)", fore, back);
}
int beEraseText(int r1, int c1, int r2, int c2) {
    return Record("Erase(%d,%d,%d,%d)", r1, c1, r2, c2);
}
int beInsertRows(int count) {
    return Record("InsertRows(%d)", count);
}
int beDeleteRows(int count) {
    return Record("DeleteRows(%d)", count);
}
int beDeleteChars(int count) {
    return Record("DeleteChars(%d)", count);
}
int beIndex() {
    return Record("Index");
}
int beReverseIndex() {
    return Record("ReverseIndex");
}
int beTransmitText(const char *text, int length) {
    recording::calls.push_back("Transmit:" + std::string(text, size_t(length)));
    return 0;
}
int beAdvanceToTab() {
    return Record("Tab");
}
int beClearTab(int column) {
    return Record("ClearTab(%d)", column);
}
int beSetScrollingRows(int top, int bottom) {
    return Record("Margins(%d,%d)", top, bottom);
}
int beRingBell() {
    return Record("Bell");
}
int beGetTermMode() {
    return recording::termMode;
}
int beSetTermMode(int mode) {
    recording::termMode = mode;
    return Record("Mode(%#x)", mode);
}
int beFlushScreen() {
    return 0;
}
int beRefreshScreen() {
    return Record("Refresh");
}
