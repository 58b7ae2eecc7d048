// Test pages for the fax coder: bitmaps (bit 1 white, rows of ceil(W/8)
// bytes), page files with the header PrepareFaxPage reads, and decoding of
// coded pages with netpbm's g3topbm as the outside reference.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace faxtest {

struct Bitmap {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> bits; // rows of RowBytes() bytes, bit 1 white, MSB leftmost

    Bitmap() = default;
    Bitmap(int w, int h, bool white = true);
    int RowBytes() const { return (width + 7) / 8; }
    bool White(int x, int y) const;
    void Set(int x, int y, bool white);
};

// Pages the coder must get right, by name.
Bitmap AllWhite(int w, int h);
Bitmap AllBlack(int w, int h);
Bitmap FirstPixelBlack(int w, int h);
Bitmap Noise(int w, int h, double blackShare, uint32_t seed);
Bitmap EveryStripe(int w, int h); // row y: stripes y % 64 + 1 wide, black first
Bitmap EveryRun(int w);           // row r: r white pixels, then black; w + 1 rows
Bitmap Alternating(int w, int h); // the worst case: every other pixel black
// Text rendered with netpbm's pbmtext, placed on a page of width w.
Bitmap Text(const std::string &text, int w);

// A page file: magic "BM", file size, data offset, width, height, the rest of
// a 40-byte information header and a two-colour palette, then the rows.
std::vector<uint8_t> PageFile(const Bitmap &bitmap, uint32_t offset = 62);

// The coded page, followed by RTC, as g3topbm decodes it (least significant
// bit first); error holds what it printed on its standard error.
struct Decoded {
    bool ok = false;
    int width = 0;
    int height = 0;
    std::vector<uint8_t> black; // one byte per pel, 1 black
    std::string error;
};
Decoded DecodeG3(const std::vector<uint8_t> &coded);

// Compares a decoded page with what the bitmap must give: every pixel as two
// pels, rows narrower than 864 pixels completed with white, 1728 pels a
// line. Returns an empty string when they agree, else the first difference.
std::string CompareWithBitmap(const Decoded &page, const Bitmap &bitmap);

// A directory of its own for the files of one test, removed at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    std::string Path(const std::string &name) const { return dir_ + "/" + name; }

private:
    std::string dir_;
};

std::vector<uint8_t> ReadFile(const std::string &path);
void WriteFile(const std::string &path, const std::vector<uint8_t> &bytes);

} // namespace faxtest
