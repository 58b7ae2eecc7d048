// Test pages for the fax coder and their decoding by g3topbm.
#include "FaxPages.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

#include "PtyPair.h"

namespace faxtest {

Bitmap::Bitmap(int w, int h, bool white)
    : width(w), height(h), bits(static_cast<size_t>((w + 7) / 8) * h, white ? 0xFF : 0x00) {}

bool Bitmap::White(int x, int y) const {
    return (bits[static_cast<size_t>(y) * RowBytes() + x / 8] >> (7 - x % 8)) & 1;
}

void Bitmap::Set(int x, int y, bool white) {
    uint8_t &byte = bits[static_cast<size_t>(y) * RowBytes() + x / 8];
    const uint8_t mask = static_cast<uint8_t>(0x80 >> (x % 8));
    byte = white ? (byte | mask) : (byte & ~mask);
}

Bitmap AllWhite(int w, int h) {
    return Bitmap(w, h, true);
}
Bitmap AllBlack(int w, int h) {
    return Bitmap(w, h, false);
}

Bitmap FirstPixelBlack(int w, int h) {
    Bitmap b(w, h, true);
    for (int y = 0; y < h; ++y)
        b.Set(0, y, false);
    return b;
}

Bitmap Noise(int w, int h, double blackShare, uint32_t seed) {
    Bitmap b(w, h, true);
    std::mt19937 rng(seed);
    std::bernoulli_distribution black(blackShare);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (black(rng))
                b.Set(x, y, false);
    return b;
}

Bitmap EveryStripe(int w, int h) {
    Bitmap b(w, h, true);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            b.Set(x, y, x / (y % 64 + 1) % 2 == 1);
    return b;
}

Bitmap EveryRun(int w) {
    Bitmap b(w, w + 1, false);
    for (int y = 0; y <= w; ++y)
        for (int x = 0; x < y; ++x)
            b.Set(x, y, true);
    return b;
}

Bitmap Alternating(int w, int h) {
    Bitmap b(w, h, true);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            b.Set(x, y, (x + y) % 2 == 1);
    return b;
}

namespace {

// Parses a raw PBM (P4) image: 1 is black.
bool ParsePbm(const std::string &data, int &w, int &h, std::vector<uint8_t> &black) {
    std::istringstream in(data);
    std::string magic;
    in >> magic >> w >> h;
    if (!in || magic != "P4" || w <= 0 || h < 0)
        return false;
    in.get(); // the single whitespace before the raster
    const size_t rowBytes = static_cast<size_t>((w + 7) / 8);
    const size_t at = static_cast<size_t>(in.tellg());
    if (data.size() < at + rowBytes * h)
        return false;
    black.assign(static_cast<size_t>(w) * h, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            black[static_cast<size_t>(y) * w + x] =
                (static_cast<uint8_t>(data[at + y * rowBytes + x / 8]) >> (7 - x % 8)) & 1;
    return true;
}

std::string Quote(const std::string &s) {
    return "'" + s + "'";
}

} // namespace

Bitmap Text(const std::string &text, int w) {
    const std::string pbm = testing_support::RunCommand("pbmtext " + Quote(text) + " 2>/dev/null");
    int tw = 0;
    int th = 0;
    std::vector<uint8_t> black;
    if (!ParsePbm(pbm, tw, th, black))
        throw std::runtime_error("pbmtext gave no image");
    Bitmap b(w, th, true);
    for (int y = 0; y < th; ++y)
        for (int x = 0; x < std::min(tw, w); ++x)
            b.Set(x, y, black[static_cast<size_t>(y) * tw + x] == 0);
    return b;
}

std::vector<uint8_t> PageFile(const Bitmap &bitmap, uint32_t offset) {
    std::vector<uint8_t> file(offset, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            file[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    file.insert(file.end(), bitmap.bits.begin(), bitmap.bits.end());
    file[0] = 'B';
    file[1] = 'M';
    put32(2, static_cast<uint32_t>(file.size()));
    put32(10, offset);
    if (offset >= 54) {
        put32(14, 40);
        file[26] = 1; // planes
        file[28] = 1; // bits per pixel
        put32(46, 2); // colours used
    }
    put32(18, static_cast<uint32_t>(bitmap.width));
    put32(22, static_cast<uint32_t>(bitmap.height));
    if (offset >= 62) {
        put32(58, 0x00FFFFFF); // palette entry 1: white
    }
    return file;
}

Decoded DecodeG3(const std::vector<uint8_t> &coded) {
    Decoded d;
    TempDir dir;
    const std::string g3 = dir.Path("page.g3");
    const std::string err = dir.Path("err.txt");
    // Followed by RTC, as the page goes on the line, so that the decoder
    // finds the end of the page instead of running into the end of the file.
    std::vector<uint8_t> stream = coded;
    for (int i = 0; i < 3; ++i)
        stream.insert(stream.end(), {0x00, 0x08, 0x80});
    WriteFile(g3, stream);
    const std::string pbm = testing_support::RunCommand("g3topbm -reversebits " + g3 + " 2>" + err);
    const std::vector<uint8_t> msg = ReadFile(err);
    d.error.assign(msg.begin(), msg.end());
    d.ok = ParsePbm(pbm, d.width, d.height, d.black);
    return d;
}

std::string CompareWithBitmap(const Decoded &page, const Bitmap &bitmap) {
    if (!page.ok)
        return "g3topbm decoded nothing: " + page.error;
    if (!page.error.empty())
        return "g3topbm complained: " + page.error;
    if (page.width != 1728)
        return "decoded width " + std::to_string(page.width);
    const int rows = bitmap.width > 0 ? bitmap.height : 0;
    if (page.height != rows)
        return "decoded height " + std::to_string(page.height) + ", expected " +
               std::to_string(rows) + " (" + page.error + ")";
    for (int y = 0; y < rows; ++y)
        for (int p = 0; p < 1728; ++p) {
            const int x = p / 2;
            const bool white = x >= bitmap.width || bitmap.White(x, y);
            if (page.black[static_cast<size_t>(y) * 1728 + p] != (white ? 0 : 1))
                return "row " + std::to_string(y) + " pel " + std::to_string(p) + " differs";
        }
    return {};
}

TempDir::TempDir() {
    char pattern[] = "/tmp/faxtest-XXXXXX";
    if (mkdtemp(pattern) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    dir_ = pattern;
}

TempDir::~TempDir() {
    testing_support::RunCommand("rm -rf " + Quote(dir_));
}

std::vector<uint8_t> ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string &path, const std::vector<uint8_t> &bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

} // namespace faxtest
