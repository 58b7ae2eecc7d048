// Test pages for the fax coder: bitmaps, the page files PrepareFaxPage reads,
// and coded pages decoded by netpbm's g3topbm, the outside reference.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace faxtest {

constexpr uint32_t kOffset = 62; // where PageFile puts the pixel data unless told

// Rows of ceil(width / 8) bytes, the leftmost pixel in the top bit, 1 white.
struct Bitmap {
    int width = 0, height = 0;
    std::vector<uint8_t> bits;
    int RowBytes() const { return (width + 7) / 8; }
    bool Black(int x, int y) const { return !(bits[y * RowBytes() + x / 8] >> (7 - x % 8) & 1); }
};

Bitmap Draw(int width, int height, const std::function<bool(int, int)> &black);
Bitmap Noise(int width, int height, double blackShare, uint32_t seed = 1);

// length bytes holding the header fields a page file is read by: magic "BM",
// stored size, data offset, width and height.
std::vector<uint8_t> Header(size_t length, uint32_t storedSize, uint32_t offset, int32_t width,
                            int32_t height);
std::vector<uint8_t> PageFile(const Bitmap &bitmap, uint32_t offset = kOffset);

// What g3topbm made of a coded page followed by RTC; error holds what it
// printed on its standard error, or why its image is not whole. Pel is 1
// for black.
struct Decoded {
    int width = 0, height = 0;
    std::string raster, error;
    int Pel(int x, int y) const { return raster[y * ((width + 7) / 8) + x / 8] >> (7 - x % 8) & 1; }
};
Decoded DecodeG3(std::vector<uint8_t> coded);

// Empty when the decoded page is the bitmap, every pixel two pels, missing
// pixels white, 1728 pels a line; else the first difference.
std::string CompareWithBitmap(const Decoded &page, const Bitmap &bitmap);

// A file in a scratch directory of this process, removed at its end.
std::string Scratch(const std::string &name);
std::vector<uint8_t> Read(const std::string &path);
void Write(const std::string &path, const std::vector<uint8_t> &bytes);

} // namespace faxtest
