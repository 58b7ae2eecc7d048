// The whole emulator over the POSIX screen model, drawing nothing: a fresh
// 80 x 25 window on a 300-row buffer for every test.
#pragma once

#include "CONSOLE.h"
#include "VT100.h"

#include <platform/Console.h>

#include <gtest/gtest.h>

#include <string>

class Screen : public ::testing::Test {
protected:
    static constexpr int kWidth = 80;
    static constexpr int kRows = 25;
    static constexpr int kBufferRows = 300;

    void SetUp() override {
        plat::con::SetRenderTarget(-1);
        plat::con::model::Reset(kWidth, kRows, kBufferRows);
        vtInitVT100();
    }
    static int Feed(const std::string &bytes) {
        return vtProcessedTextOut(bytes.data(), int(bytes.size()));
    }
    static plat::con::ScreenBufferInfo Info() {
        plat::con::ScreenBufferInfo info{};
        plat::con::GetScreenBufferInfo(plat::con::GetStdOutput(), &info);
        return info;
    }
    // Cursor as "column,row" of the buffer, 0-based.
    static std::string Cursor() {
        auto info = Info();
        return std::to_string(info.dwCursorPosition.X) + "," +
               std::to_string(info.dwCursorPosition.Y);
    }
    static void Place(int column, int row) {
        plat::con::SetCursorPosition(plat::con::GetStdOutput(),
                                     plat::con::Coord{int16_t(column), int16_t(row)});
    }
    // Buffer row y without trailing blanks.
    static std::string Row(int y) {
        std::string text = plat::con::model::RowText(y);
        text.erase(text.find_last_not_of(' ') + 1);
        return text;
    }
    static uint16_t AttrAt(int x, int y) { return plat::con::model::At(x, y).Attributes; }
    // Fills the window's rows with "r<row>" followed by dots to the edge.
    static void Number(int rows = kRows) {
        for (int y = 0; y < rows; ++y) {
            std::string line = "r" + std::to_string(y);
            line.resize(kWidth, '.');
            Place(0, y);
            plat::con::Write(plat::con::GetStdOutput(), line.data(), uint32_t(kWidth - 1),
                             nullptr);
        }
        Place(0, 0);
    }
};
