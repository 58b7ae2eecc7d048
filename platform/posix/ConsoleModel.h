// The POSIX console screen model, shared by its operations (ConsoleModel.cpp)
// and its ANSI renderer (ConsoleRender.cpp). One instance per process.
#pragma once

#include "platform/Console.h"

#include <cstdint>
#include <string>
#include <vector>

namespace plat::con::detail {

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

    // What the renderer must repaint: rows marked here (buffer rows), or the
    // whole window when the window moved or everything shifted.
    std::vector<uint8_t> dirty;
    int dirtyLow = 0;
    int dirtyHigh = -1;
    bool allDirty = true;
    int pendingBeeps = 0;
    int beepCount = 0;

    std::vector<Cell> scratch; // reused by rectangle moves

    Cell *Row(int y) { return &cells[size_t(rowMap[size_t(y)]) * size_t(width)]; }
    void MarkRows(int from, int to) {
        if (allDirty || from > to)
            return; // everything is repainted anyway
        for (int y = from; y <= to; ++y)
            dirty[size_t(y)] = 1;
        if (from < dirtyLow || dirtyHigh < dirtyLow)
            dirtyLow = from;
        if (to > dirtyHigh)
            dirtyHigh = to;
    }
    void ClearDirty() {
        for (int y = dirtyLow; y <= dirtyHigh; ++y)
            dirty[size_t(y)] = 0;
        dirtyLow = 0;
        dirtyHigh = -1;
        allDirty = false;
    }
};

// The model, created on first use at the terminal's size.
Screen &TheScreen();
extern Screen *gScreen; // the model once made, for quick handle checks
// Builds a blank model (attribute 0x07) of the given size.
void Build(Screen &screen, int width, int windowRows, int bufferRows);

} // namespace plat::con::detail
