// Test pages for the fax coder and their decoding by g3topbm.
#include "FaxPages.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <unistd.h>

#include "PtyPair.h"

namespace faxtest {

Bitmap Draw(int width, int height, const std::function<bool(int, int)> &black) {
    Bitmap b{width, height, std::vector<uint8_t>(size_t((width + 7) / 8) * height, 0xFF)};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (black(x, y))
                b.bits[y * b.RowBytes() + x / 8] &= uint8_t(~(0x80 >> x % 8));
    return b;
}

Bitmap Noise(int width, int height, double blackShare, uint32_t seed) {
    std::mt19937 rng(seed);
    std::bernoulli_distribution black(blackShare);
    return Draw(width, height, [&](int, int) { return black(rng); });
}

std::vector<uint8_t> Header(size_t length, uint32_t storedSize, uint32_t offset, int32_t width,
                            int32_t height) {
    std::vector<uint8_t> file(length, 0);
    const uint32_t at[] = {0, 2, 10, 18, 22}, value[] = {'B' | 'M' << 8, storedSize, offset,
                                                         uint32_t(width), uint32_t(height)};
    for (int f = 0; f < 5; ++f)
        for (size_t i = 0; i < 4 && at[f] + i < length; ++i)
            file[at[f] + i] = uint8_t(value[f] >> 8 * i);
    return file;
}

std::vector<uint8_t> PageFile(const Bitmap &b, uint32_t offset) {
    auto file = Header(offset, uint32_t(offset + b.bits.size()), offset, b.width, b.height);
    file.insert(file.end(), b.bits.begin(), b.bits.end());
    return file;
}

Decoded DecodeG3(std::vector<uint8_t> coded) {
    // RTC behind the page, as on the line, so that the decoder finds its end.
    for (int i = 0; i < 3; ++i)
        coded.insert(coded.end(), {0x00, 0x08, 0x80});
    Write(Scratch("page.g3"), coded);
    std::istringstream pbm(testing_support::RunCommand(
        "g3topbm -reversebits " + Scratch("page.g3") + " 2>" + Scratch("err")));
    const std::vector<uint8_t> err = Read(Scratch("err"));
    Decoded d;
    std::string magic;
    pbm >> magic >> d.width >> d.height;
    pbm.get();
    d.raster.assign(std::istreambuf_iterator<char>(pbm), {});
    d.error.assign(err.begin(), err.end());
    if (magic != "P4" || d.height < 0 || d.raster.size() < size_t((d.width + 7) / 8) * d.height)
        d.error += "no whole P4 image";
    return d;
}

std::string CompareWithBitmap(const Decoded &page, const Bitmap &b) {
    if (!page.error.empty())
        return "g3topbm: " + page.error;
    if (page.width != 1728 || page.height != b.height)
        return "decoded " + std::to_string(page.width) + "x" + std::to_string(page.height);
    for (int y = 0; y < b.height; ++y)
        for (int p = 0; p < 1728; ++p)
            if (page.Pel(p, y) != (p / 2 < b.width && b.Black(p / 2, y)))
                return "row " + std::to_string(y) + " pel " + std::to_string(p);
    return {};
}

std::string Scratch(const std::string &name) {
    static const struct Dir {
        std::string path = "/tmp/faxtest-" + std::to_string(getpid());
        Dir() { std::filesystem::create_directories(path); }
        ~Dir() { std::filesystem::remove_all(path); }
    } dir;
    return dir.path + "/" + name;
}

std::vector<uint8_t> Read(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void Write(const std::string &path, const std::vector<uint8_t> &bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

} // namespace faxtest
