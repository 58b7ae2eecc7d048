// File calls and clFileMap against real files in a scratch directory.
#include "Tamsel.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

// A scratch directory for this process, removed at its end.
const struct Scratch {
    std::string dir = "/tmp/tamsel-files-" + std::to_string(getpid()) + "/";
    Scratch() { std::filesystem::create_directories(dir); }
    ~Scratch() { std::filesystem::remove_all(dir); }
} scratch;
const std::string &dir = scratch.dir;

std::string Read(const std::string &path) {
    std::stringstream s;
    s << std::ifstream(path, std::ios::binary).rdbuf();
    return s.str();
}

void Write(const std::string &path, const std::string &data) {
    std::ofstream(path, std::ios::binary) << data;
}

// Each row opens the file in a mode, writes and closes; the file then holds
// "after". A mode that is none opens nothing.
TEST(Files, OpenFileWModes) {
    const std::string path = dir + "out.txt";
    TamselFile h = 1234;
    for (const char *mode : {"r", "x", "a+++", static_cast<const char *>(nullptr)})
        EXPECT_EQ(OpenFileW(path.c_str(), &h, mode), 0) << (mode ? mode : "null"); // "r": missing
    EXPECT_EQ(h, kTamselNoFile);
    EXPECT_EQ(OpenFileW(nullptr, &h, "w") + OpenFileW(path.c_str(), nullptr, "w"), 0);
    const struct {
        const char *mode, *write, *after;
    } rows[] = {{"a+", "", ""}, // created when missing
                {"w", "hello", "hello"},
                {"a+", " world", "hello world"},
                {"r+b", "J", "Jello world"}, // 'b' is ignored: read and write
                {"w", "x", "x"},
                {"r", "y", "x"}};
    for (const auto &row : rows) {
        ASSERT_NE(OpenFileW(path.c_str(), &h, row.mode), 0) << row.mode;
        Fwrite(row.write, std::strlen(row.write), h);
        CloseFileW(&h);
        EXPECT_EQ(h, kTamselNoFile);
        EXPECT_EQ(Read(path), row.after) << row.mode;
    }
    CloseFileW(&h); // closing twice is harmless
    CloseFileW(nullptr);
}

TEST(Files, MapReadsAndWritesThroughWithinItsLimit) {
    const std::string path = dir + "page.bin";
    Write(path, "0123456789");
    {
        clFileMap map(path.c_str(), "r+", 10); // the limit is inclusive
        ASSERT_NE(map.bOpen, 0);
        EXPECT_EQ(std::string(map.pView, map.dwSize), "0123456789");
        map.pView[0] = 'G';
    } // the destructor closes
    EXPECT_EQ(Read(path), "G123456789");
    clFileMap ro(path.c_str(), "r", 100);
    EXPECT_EQ(std::string(ro.pView, ro.dwSize), "G123456789");
    for (const char *mode : {"r+", "w", static_cast<const char *>(nullptr)})
        EXPECT_EQ(clFileMap(path.c_str(), mode, mode && *mode == 'r' ? 9 : 100).bOpen, 0);
    EXPECT_EQ(clFileMap((dir + "none").c_str(), "r+", 100).bOpen, 0);
    EXPECT_EQ(Read(path), "G123456789"); // failed opens leave the file alone

    Write(path, "");
    clFileMap empty(path.c_str(), "r+", 100);
    EXPECT_NE(empty.bOpen, 0);
    EXPECT_EQ(empty.pView, nullptr);
}

TEST(Files, OpenWithSizeLeavesExactlyThatLength) {
    const std::string path = dir + "fax.g3";
    Write(path, std::string(100, 'a'));
    clFileMap map;
    // Shrink, the way a coded page is cut to the bytes written.
    ASSERT_NE(map.Open(path.c_str(), "r+", 40), 0);
    map.Close();
    EXPECT_EQ(Read(path), std::string(40, 'a'));
    // Grow: the new bytes are zeros and writable through the view.
    ASSERT_NE(map.Open(path.c_str(), "r+", 5000), 0);
    ASSERT_EQ(map.dwSize, 5000u);
    map.pView[4999] = 'z';
    map.Close();
    EXPECT_EQ(Read(path), std::string(40, 'a') + std::string(4959, '\0') + "z");
    // Size 0 maps the file as it is; a read-only map cannot change its length.
    ASSERT_NE(map.Open(path.c_str(), "r+", 0), 0);
    EXPECT_EQ(map.dwSize, 5000u);
    EXPECT_EQ(map.Open(path.c_str(), "r", 10), 0);
    EXPECT_EQ(Read(path).size(), 5000u);
}

} // namespace
