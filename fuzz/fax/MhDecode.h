// A plain Modified Huffman page decoder for the fuzz target: every line must
// be EOL, white and black runs from a white one on that add up to exactly
// 1728 pels, and zero fill to the next byte boundary.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fax/FaxCodes.h"

struct MhPage {
    std::vector<std::vector<uint8_t>> rows; // 1728 pels each, 1 black
    std::string error;                      // empty when the page decoded
};

inline MhPage DecodeMh(const uint8_t *data, size_t size) {
    // The run of every word by colour, length and pattern; -1 where no word is.
    static const auto words = [] {
        std::vector<int> table(2 * 14 * 8192, -1);
        for (const CodeTableRow &row : kCodeTable) {
            table[(kWhite * 14 + row.white.length) * 8192 + row.white.pattern] = row.run;
            table[(kBlack * 14 + row.black.length) * 8192 + row.black.pattern] = row.run;
        }
        return table;
    }();
    MhPage page;
    size_t bit = 0;
    const size_t bits = size * 8;
    auto next = [&]() -> int {
        if (bit >= bits)
            return -1;
        const int b = (data[bit / 8] >> (bit % 8)) & 1;
        ++bit;
        return b;
    };
    // One run: make-up words and then a terminating word.
    auto run = [&](int colour, int &pels) -> bool {
        for (;;) {
            int code = 0;
            int value = -1;
            for (int length = 1; length <= 13 && value < 0; ++length) {
                const int b = next();
                if (b < 0)
                    return false;
                code = code * 2 + b;
                value = words[(colour * 14 + length) * 8192 + code];
            }
            if (value < 0)
                return false;
            pels += value;
            if (value < 64)
                return true;
        }
    };
    while (bit < bits) {
        if (bit % 8 != 0) {
            page.error = "line not on a byte boundary";
            return page;
        }
        std::string eol;
        for (int i = 0; i < 12; ++i) {
            const int b = next();
            eol += static_cast<char>('0' + (b < 0 ? 9 : b));
        }
        if (eol != "000000000001") {
            page.error = "no EOL at line " + std::to_string(page.rows.size());
            return page;
        }
        std::vector<uint8_t> row;
        row.reserve(1728 + 2560);
        int colour = kWhite;
        while (row.size() < 1728) {
            int pels = 0;
            if (!run(colour, pels)) {
                page.error = "bad code word in line " + std::to_string(page.rows.size());
                return page;
            }
            row.insert(row.end(), static_cast<size_t>(pels), colour == kBlack ? 1 : 0);
            colour ^= 1;
        }
        if (row.size() != 1728) {
            page.error = "line " + std::to_string(page.rows.size()) + " has " +
                         std::to_string(row.size()) + " pels";
            return page;
        }
        while (bit % 8 != 0)
            if (next() != 0) {
                page.error = "fill is not zero";
                return page;
            }
        page.rows.push_back(std::move(row));
    }
    return page;
}
