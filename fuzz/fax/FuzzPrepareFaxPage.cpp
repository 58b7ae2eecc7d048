// PrepareFaxPage over page files from outside: random files and mutated
// valid pages. No crash and no access outside the file; a refused page stays
// as it was, and a prepared one decodes to the bitmap it was made from.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "MhDecoder.h"
#include "falcrest/Falcrest.h"
#include "fax/FaxCodes.h"
#include "fax/FaxPage.h"

namespace {

using Bytes = std::vector<uint8_t>;

[[noreturn]] void Fail(const std::string &why) {
    std::fprintf(stderr, "fuzz_prepare_fax_page: %s\n", why.c_str());
    std::abort();
}

uint32_t Get32(const Bytes &b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
}

void Put32(Bytes &b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// Mode 1: a valid page made from the input, then a few bytes changed, most
// of them in the header.
Bytes MutatedPage(const uint8_t *data, size_t size) {
    if (size < 4)
        return Bytes(data, data + size);
    const uint32_t width = 1 + (uint32_t(data[0]) | uint32_t(data[1]) << 8) % 1100;
    const uint32_t height = data[2] % 12;
    const uint32_t offset = 26 + data[3] % 64;
    const uint32_t rowBytes = (width + 7) / 8;
    Bytes file(offset + rowBytes * height, 0);
    const size_t mutations = size > 4 ? data[4] % 4 : 0;
    const size_t pixelsFrom = 5 + 3 * mutations;
    for (size_t i = offset; i < file.size(); ++i)
        file[i] = pixelsFrom < size ? data[pixelsFrom + (i - offset) % (size - pixelsFrom)] : 0xFF;
    file[0] = 'B';
    file[1] = 'M';
    Put32(file, 2, static_cast<uint32_t>(file.size()));
    Put32(file, 10, offset);
    Put32(file, 18, width);
    Put32(file, 22, height);
    if (file.size() < 28)
        file.resize(28, 0);
    for (size_t m = 0; m < mutations && 5 + 3 * m + 2 < size; ++m) {
        const uint8_t *p = data + 5 + 3 * m;
        const size_t at = p[0] & 1 ? p[1] % 26 : (size_t(p[1]) << 8 | p[0]) % file.size();
        file[at] = p[2];
    }
    return file;
}

// What a prepared page must decode to: each pixel two pels, missing pixels
// white, 1 black.
std::vector<uint8_t> ExpectedRow(const Bytes &file, uint32_t offset, int32_t width, int32_t y) {
    const size_t rowBytes = (size_t(width) + 7) / 8;
    std::vector<uint8_t> pels(vmodem::kFaxRowBytes, 0); // 1 black, leftmost pel first
    for (int x = 0; x < 864 && x < width; ++x) {
        const uint8_t byte = file[offset + size_t(y) * rowBytes + x / 8];
        if (((byte >> (7 - x % 8)) & 1) == 0)
            pels[x / 4] |= uint8_t(0xC0 >> (2 * (x % 4)));
    }
    return pels;
}

std::string TempPath() {
    static const std::string path = [] {
        const char *dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        return std::string(dir) + "/fuzz-fax-page-" + std::to_string(getpid());
    }();
    return path;
}

void WriteAll(const std::string &path, const Bytes &bytes) {
    FILE *f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        Fail("cannot write " + path);
    if (!bytes.empty())
        std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

Bytes ReadAll(const std::string &path) {
    Bytes bytes;
    FILE *f = std::fopen(path.c_str(), "rb");
    if (f == nullptr)
        Fail("cannot read " + path);
    uint8_t chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + n);
    std::fclose(f);
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0)
        return 0;
    const Bytes file = data[0] & 1 ? MutatedPage(data + 1, size - 1) : Bytes(data + 1, data + size);
    const bool g3 = file.size() >= 28 && file[0] == 'G' && file[1] == '3';

    // The header check and the coder over an exact copy of the file, where
    // the sanitizer sees any read past its end.
    bool accepted = false;
    PageHeader header{};
    Bytes coding;
    if (file.size() >= 28 && !g3) {
        char *copy = new char[file.size()];
        std::memcpy(copy, file.data(), file.size());
        accepted = ReadPageHeader(copy, static_cast<uint32_t>(file.size()), header);
        if (accepted) {
            char *coded = nullptr;
            uint32_t n = 0;
            if (!CodeFaxPage(copy + header.offset, header.width, header.height,
                             kMaxMapSize - header.offset, coded, n))
                Fail("an accepted page did not code");
            coding.assign(coded, coded + n);
            Realloc(coded, 0);
        }
        delete[] copy;
    }
    if (accepted) {
        const vmodem::SFaxPage page = vmodem::DecodeMhPage(coding.data(), coding.size());
        if (!page.bad.empty())
            Fail("line " + std::to_string(page.bad[0].line) + ": " + page.bad[0].reason);
        const size_t rows = header.width > 0 && header.height > 0 ? size_t(header.height) : 0;
        if (page.rows.size() != rows)
            Fail("decoded " + std::to_string(page.rows.size()) + " rows of " +
                 std::to_string(rows));
        for (size_t y = 0; y < rows; ++y)
            if (page.rows[y] != ExpectedRow(file, header.offset, header.width, int32_t(y)))
                Fail("row " + std::to_string(y) + " decodes to other pels");
    }

    // The file itself.
    const std::string path = TempPath();
    WriteAll(path, file);
    const int result = PrepareFaxPage(path.c_str());
    const Bytes after = ReadAll(path);
    if (result == 0) {
        if (after != file)
            Fail("a refused page was changed");
        if (accepted)
            Fail("an acceptable page was refused");
    } else if (result == 1) {
        if (g3) {
            if (after != file)
                Fail("a prepared page was changed");
        } else {
            if (!accepted)
                Fail("a page the header check refuses was prepared");
            const uint32_t offset = header.offset;
            if (after.size() != offset + coding.size())
                Fail("the file's length is not the coding's end");
            if (after[0] != 'G' || after[1] != '3' ||
                !std::equal(file.begin() + 2, file.begin() + offset, after.begin() + 2))
                Fail("the header was not kept");
            if (!std::equal(coding.begin(), coding.end(), after.begin() + offset))
                Fail("the file holds another coding");
            if (Get32(after, 10) != offset)
                Fail("the data offset moved");
        }
    } else {
        Fail("result " + std::to_string(result));
    }
    unlink(path.c_str());
    return 0;
}
