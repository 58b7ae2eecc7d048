// Voice file conversion: the header block and data by format, and
// conversions that cannot be made, which report nothing converted.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

#include "falcrest/Falcrest.h"

namespace {

const struct Scratch {
    std::string dir = "/tmp/voice-convert-" + std::to_string(getpid()) + "/";
    Scratch() { std::filesystem::create_directories(dir + "folder"); }
    ~Scratch() { std::filesystem::remove_all(dir); }
} scratch;
const std::string &dir = scratch.dir;

std::string Read(const std::string &name) {
    std::ifstream in(dir + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void Write(const std::string &name, const std::string &data) {
    std::ofstream(dir + name, std::ios::binary) << data;
}

int Convert(const std::string &target, uint32_t targetType, const std::string &source,
            uint32_t sourceType) {
    return ConvertFile((dir + target).c_str(), targetType, (dir + source).c_str(), sourceType);
}

// The target gets the header block of its family (16 zero bytes for formats
// 1 to 3, 58 for 4 to 6, none for the others), then the source without the
// leading 19 bytes when the source type's drop flag asks for that. Only the
// low 15 bits name a format. What cannot be converted reports 0.
TEST(ConvertFile, HeaderThenDataByFormatOrNothing) {
    const struct {
        uint32_t target, source;
        size_t length, header, dropped;
    } rows[] = {
        {1, 0x8001, 1019, 16, 19}, {0x18003, 0x20003, 100, 16, 0},
        {6, 6, 5000, 58, 0},       {7, 7, 70000, 0, 0}, // longer than a piece
        {0, 0, 100, 0, 0},         {5, 0x8005, 20, 58, 19},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(testing::Message() << row.target << " " << row.source << " " << row.length);
        std::string src(row.length, '\0');
        for (size_t i = 0; i < src.size(); ++i)
            src[i] = char(i * 7 + row.target);
        Write("src", src);
        ASSERT_EQ(Convert("dst", row.target, "src", row.source), int(row.length - row.dropped));
        EXPECT_EQ(Read("dst"), std::string(row.header, '\0') + src.substr(row.dropped));
    }
    const std::string data(1000, 'A'), kept(33, 'B');
    Write("src", data);
    Write("short", std::string(19, 'A'));
    Write("empty", "");
    EXPECT_EQ(Convert("dst", 5, "short", 0x8005), 0); // nothing behind the dropped block
    EXPECT_EQ(Convert("dst", 1, "empty", 1), 0);
    EXPECT_EQ(Convert("no/such/dir", 7, "src", 7), 0);
    EXPECT_EQ(Convert("dst", 7, "folder", 7), 0); // opens, but cannot be read
    EXPECT_EQ(ConvertFile(nullptr, 7, (dir + "src").c_str(), 7), 0);
    EXPECT_EQ(ConvertFile((dir + "dst").c_str(), 7, nullptr, 7), 0);
    // Different formats: the target is opened for writing, then left empty.
    Write("kept", kept);
    EXPECT_EQ(Convert("kept", 3, "src", 2), 0);
    EXPECT_EQ(Read("kept"), "");
    // A missing source leaves the target untouched or uncreated.
    Write("kept", kept);
    EXPECT_EQ(Convert("kept", 1, "missing", 1) + Convert("new", 1, "missing", 1), 0);
    EXPECT_EQ(Read("kept"), kept);
    EXPECT_FALSE(std::filesystem::exists(dir + "new"));
}

} // namespace
