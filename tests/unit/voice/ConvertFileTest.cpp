// Voice file conversion: the header block and data by format, and
// conversions that cannot be made, which report nothing converted.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>
#include <string>
#include <vector>

#include "falcrest/Falcrest.h"

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

namespace {

struct ConvertFileTest : testing::Test {
    const fs::path dir = fs::temp_directory_path() / ("voice-convert-" + std::to_string(getpid()));
    void SetUp() override { fs::create_directories(dir); }
    void TearDown() override { fs::remove_all(dir); }

    std::string Path(const std::string &name) const { return (dir / name).string(); }
    void Write(const std::string &name, const Bytes &data) const {
        std::ofstream(Path(name), std::ios::binary)
            .write(reinterpret_cast<const char *>(data.data()), std::streamsize(data.size()));
    }
    Bytes Read(const std::string &name) const {
        std::ifstream f(Path(name), std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(f), {});
    }
    int Convert(const std::string &target, uint32_t targetType, const std::string &source,
                uint32_t sourceType) const {
        return ConvertFile(Path(target).c_str(), targetType, Path(source).c_str(), sourceType);
    }
};

} // namespace

// The target gets the header block of its family (16 zero bytes for formats
// 1 to 3, 58 for 4 to 6, none for the others), then the source without the
// leading 19 bytes when the source type's drop flag asks for that. Only the
// low 15 bits name a format.
TEST_F(ConvertFileTest, HeaderThenDataByFormat) {
    const struct {
        uint32_t target, source;
        size_t length, header, dropped;
    } rows[] = {
        {1, 0x8001, 1019, 16, 19}, {0x18003, 0x20003, 100, 16, 0},
        {4, 4, 5000, 58, 0},       {6, 6, 5000, 58, 0},
        {7, 7, 70000, 0, 0}, // longer than a piece
        {0, 0, 100, 0, 0},         {5, 0x8005, 20, 58, 19},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(testing::Message() << row.target << " " << row.source << " " << row.length);
        Bytes src(row.length);
        for (size_t i = 0; i < src.size(); ++i)
            src[i] = uint8_t(i * 7 + row.target);
        Write("src", src);
        ASSERT_EQ(Convert("dst", row.target, "src", row.source), int(row.length - row.dropped));
        Bytes expected(row.header, 0);
        expected.insert(expected.end(), src.begin() + long(row.dropped), src.end());
        EXPECT_EQ(Read("dst"), expected);
    }
}

TEST_F(ConvertFileTest, WhatCannotBeConvertedGivesNothing) {
    const Bytes data(1000, 0x41), kept(33, 0x42);
    Write("src", data);
    Write("short", Bytes(19, 0x41));
    Write("empty", {});
    fs::create_directory(Path("folder"));
    EXPECT_EQ(Convert("dst", 5, "short", 0x8005), 0); // nothing behind the dropped block
    EXPECT_EQ(Convert("dst", 1, "empty", 1), 0);
    EXPECT_EQ(Convert("no/such/dir", 7, "src", 7), 0);
    EXPECT_EQ(Convert("dst", 7, "folder", 7), 0); // opens, but cannot be read
    EXPECT_EQ(ConvertFile(nullptr, 7, Path("src").c_str(), 7), 0);
    EXPECT_EQ(ConvertFile(Path("dst").c_str(), 7, nullptr, 7), 0);
    // A full disk, with and without a header block.
    EXPECT_EQ(ConvertFile("/dev/full", 1, Path("src").c_str(), 1), 0);
    EXPECT_EQ(ConvertFile("/dev/full", 7, Path("src").c_str(), 7), 0);
    // Different formats: the target is opened for writing, then left empty.
    Write("kept", kept);
    EXPECT_EQ(Convert("kept", 3, "src", 2), 0);
    EXPECT_EQ(Read("kept"), Bytes());
    // A missing source leaves the target untouched or uncreated; a target
    // that is the source would lose its data.
    Write("kept", kept);
    EXPECT_EQ(Convert("kept", 1, "missing", 1), 0);
    EXPECT_EQ(Convert("new", 1, "missing", 1), 0);
    EXPECT_EQ(Convert("src", 7, "src", 7), 0);
    EXPECT_EQ(Read("kept"), kept);
    EXPECT_FALSE(fs::exists(Path("new")));
    EXPECT_EQ(Read("src"), data);
}
