// The POSIX console screen model, shared by its operations (ConsoleModel.cpp)
// and its ANSI renderer (ConsoleRender.cpp). One instance per process.
#pragma once

#include "platform/Console.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace plat::con::detail {

// Rows top..bottom of the window (0-based) moved by dy since the last draw:
// the renderer scrolls the terminal the same way before it repaints.
struct Shift {
    int top, bottom, dy;
};

struct Screen {
    int width = 0;  // W, buffer columns
    int height = 0; // H, buffer rows
    // Cells of the rows, in storage order; rowMap turns a buffer row into its
    // storage row so that scrolling whole rows moves indices, not cells.
    std::vector<Cell> cells;
    std::vector<int> rowMap;
    Rect window{};
    Coord maxWindow{};
    Coord cursor{};
    uint16_t attribute = 0x07;
    // The console's default fill: the row that enters when writing scrolls
    // the buffer and the cells that a larger buffer adds get it, not the
    // current attribute.
    uint16_t defaultAttribute = 0x07;
    uint32_t mode = kProcessedOutput | kWrapAtEolOutput;

    // What the renderer must do: the scrolls in order, then repaint the rows
    // marked here (buffer rows; the marks travel with the rows they mark), or
    // the whole window when it changed shape.
    std::vector<Shift> shifts;
    std::vector<uint8_t> dirty;
    bool allDirty = true;
    int pendingBeeps = 0;
    int beepCount = 0;

    std::vector<Cell> scratch; // reused by rectangle moves

    Cell *Row(int y) { return &cells[size_t(rowMap[size_t(y)]) * size_t(width)]; }
    int WindowRows() const { return window.Bottom - window.Top + 1; }
    void MarkRows(int from, int to) {
        for (int y = std::max(from, 0); y <= to && y < height; ++y)
            dirty[size_t(y)] = 1;
    }
    void ClearDirty() {
        std::fill(dirty.begin(), dirty.end(), uint8_t(0));
        shifts.clear();
        allDirty = false;
    }
};

// The model, created on first use at the terminal's size.
Screen &TheScreen();
extern Screen *gScreen; // the model once made, for quick handle checks
// Builds a blank model (attribute 0x07) of the given size.
void Build(Screen &screen, int width, int windowRows, int bufferRows);
// The terminal's size in columns and rows, from the first of standard
// output, input and error that is a terminal; false when none is.
bool TerminalSize(int *columns, int *rows);
// Fits the window to columns x rows, keeping the cursor in it.
void FitWindow(Screen &screen, int columns, int rows);

} // namespace plat::con::detail
