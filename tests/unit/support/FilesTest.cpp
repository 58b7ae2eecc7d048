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

const struct Scratch {
    std::string path = "/tmp/tamsel-files-" + std::to_string(getpid());
    Scratch() { std::filesystem::create_directories(path); }
    ~Scratch() { std::filesystem::remove_all(path); }
} scratch;
const std::string file = scratch.path + "/file";

std::string Read() {
    std::stringstream s;
    s << std::ifstream(file, std::ios::binary).rdbuf();
    return s.str();
}

// Each row opens the file in a mode, writes and closes; the file then holds
// "after". A mode that is none opens nothing.
TEST(Files, OpenFileWModes) {
    std::filesystem::remove(file);
    TamselFile h = 1234;
    for (const char *mode : {"r", "x", "a+++", static_cast<const char *>(nullptr)})
        EXPECT_EQ(OpenFileW(file.c_str(), &h, mode), 0) << (mode ? mode : "null"); // "r": missing
    EXPECT_EQ(h, kTamselNoFile);
    EXPECT_EQ(OpenFileW(nullptr, &h, "w") + OpenFileW(file.c_str(), nullptr, "w"), 0);
    const struct {
        const char *mode, *write, *after;
    } rows[] = {{"a+", "", ""}, // created when missing
                {"w", "hello", "hello"},
                {"a+", " world", "hello world"},
                {"r+b", "J", "Jello world"}, // 'b' is ignored: read and write
                {"w", "x", "x"},
                {"r", "y", "x"}};
    for (const auto &row : rows) {
        ASSERT_NE(OpenFileW(file.c_str(), &h, row.mode), 0) << row.mode;
        Fwrite(row.write, std::strlen(row.write), h);
        CloseFileW(&h);
        EXPECT_EQ(h, kTamselNoFile);
        EXPECT_EQ(Read(), row.after) << row.mode;
    }
    CloseFileW(&h); // closing twice is harmless
    CloseFileW(nullptr);
}

// A map reads and writes through, within its size limit (inclusive); opened
// with a size, it cuts or grows the file (with zeros) to exactly that.
TEST(Files, MapsWithinTheLimitOrToTheSizeAsked) {
    std::ofstream(file, std::ios::binary) << "0123456789";
    {
        clFileMap map(file.c_str(), "r+", 10);
        ASSERT_NE(map.bOpen, 0);
        EXPECT_EQ(std::string(map.pView, map.dwSize), "0123456789");
        map.pView[0] = 'G';
    } // the destructor closes
    EXPECT_EQ(std::string(clFileMap(file.c_str(), "r", 100).pView, 10), "G123456789");
    for (const char *mode : {"r+", "w", static_cast<const char *>(nullptr)})
        EXPECT_EQ(clFileMap(file.c_str(), mode, mode && *mode == 'r' ? 9 : 100).bOpen, 0);
    EXPECT_EQ(clFileMap((file + "none").c_str(), "r+", 100).bOpen, 0);
    EXPECT_EQ(Read(), "G123456789"); // failed opens leave the file alone

    clFileMap map;
    ASSERT_NE(map.Open(file.c_str(), "r+", 4), 0);
    map.Close();
    EXPECT_EQ(Read(), "G123");
    ASSERT_NE(map.Open(file.c_str(), "r+", 5000), 0);
    ASSERT_EQ(map.dwSize, 5000u);
    map.pView[4999] = 'z';
    map.Close();
    EXPECT_EQ(Read(), "G123" + std::string(4995, '\0') + "z");
    // Size 0 maps the file as it is; a read-only map cannot change its length.
    ASSERT_NE(map.Open(file.c_str(), "r+", 0), 0);
    EXPECT_EQ(map.dwSize, 5000u);
    EXPECT_EQ(map.Open(file.c_str(), "r", 10), 0);
    EXPECT_EQ(Read().size(), 5000u);
    std::ofstream(file, std::ios::trunc);
    EXPECT_NE(map.Open(file.c_str(), "r+", 0), 0); // an empty file maps to no view
    EXPECT_EQ(map.pView, nullptr);
}

} // namespace
