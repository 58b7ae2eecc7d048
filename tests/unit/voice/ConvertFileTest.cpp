// Voice file conversion: header blocks, the dropped leading block, format
// checks, and what is left on disk when a conversion fails.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "falcrest/Falcrest.h"

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

namespace {

class ConvertFileTest : public testing::Test {
protected:
    void SetUp() override {
        dir_ =
            fs::temp_directory_path() /
            ("voice-convert-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Path(const std::string &name) const { return (dir_ / name).string(); }

    static Bytes Pattern(size_t n, uint8_t seed = 1) {
        Bytes b(n);
        for (size_t i = 0; i < n; ++i)
            b[i] = uint8_t(i * 7 + seed);
        return b;
    }
    static void Write(const std::string &path, const Bytes &data) {
        std::ofstream f(path, std::ios::binary);
        f.write(reinterpret_cast<const char *>(data.data()), std::streamsize(data.size()));
    }
    static Bytes Read(const std::string &path) {
        std::ifstream f(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(f), {});
    }
    static Bytes Concat(Bytes a, const Bytes &b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    }

    fs::path dir_;
};

} // namespace

// What lands in the target: the header block of the target's family (16 zero
// bytes for ZyXEL, 58 for USR, none for the others), then the source without
// its dropped leading 19 bytes when the source type asks for that. Only the
// low 15 bits name a format; a source no longer than the dropped block gives
// nothing.
TEST_F(ConvertFileTest, HeaderThenDataByFormat) {
    const struct {
        uint32_t target, source;
        size_t length, header, dropped;
        int result;
    } rows[] = {
        {1, 0x8001, 1019, 16, 19, 1000},  {4, 4, 5000, 58, 0, 5000},
        {5, 5, 5000, 58, 0, 5000},        {6, 6, 5000, 58, 0, 5000},
        {7, 7, 70000, 0, 0, 70000},       {0, 0, 70000, 0, 0, 70000}, // longer than a piece
        {8, 8, 100, 0, 0, 100},           {9, 9, 100, 0, 0, 100},
        {0x7FFF, 0x7FFF, 100, 0, 0, 100}, {0x18002, 0x20002, 100, 16, 0, 100},
        {5, 0x8005, 20, 58, 19, 1},       {5, 0x8005, 19, 0, 0, 0},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(testing::Message() << row.target << " " << row.source << " " << row.length);
        const Bytes src = Pattern(row.length, uint8_t(row.target));
        Write(Path("src"), src);
        fs::remove(Path("dst"));
        ASSERT_EQ(ConvertFile(Path("dst").c_str(), row.target, Path("src").c_str(), row.source),
                  row.result);
        if (row.result > 0) {
            EXPECT_EQ(Read(Path("dst")), Concat(Bytes(row.header, 0),
                                                Bytes(src.begin() + long(row.dropped), src.end())));
        }
    }
}

TEST_F(ConvertFileTest, DifferentFormatsWriteNothing) {
    Write(Path("src"), Pattern(100));
    Write(Path("dst"), Pattern(10));
    EXPECT_EQ(ConvertFile(Path("dst").c_str(), 3, Path("src").c_str(), 2), 0);
    EXPECT_TRUE(fs::exists(Path("dst")));
    EXPECT_EQ(fs::file_size(Path("dst")), 0u); // opened for writing, then left empty
}

TEST_F(ConvertFileTest, EmptyOrMissingSourceGivesNothing) {
    Write(Path("empty"), {});
    EXPECT_EQ(ConvertFile(Path("dst").c_str(), 1, Path("empty").c_str(), 1), 0);

    Bytes before = Pattern(33);
    Write(Path("kept"), before);
    EXPECT_EQ(ConvertFile(Path("kept").c_str(), 1, Path("missing").c_str(), 1), 0);
    EXPECT_EQ(Read(Path("kept")), before); // the target is not touched
    EXPECT_EQ(ConvertFile(Path("new").c_str(), 1, Path("missing").c_str(), 1), 0);
    EXPECT_FALSE(fs::exists(Path("new")));
}

TEST_F(ConvertFileTest, UnwritableTargetOrNullPathsGiveNothing) {
    Write(Path("src"), Pattern(10));
    EXPECT_EQ(ConvertFile(Path("no/such/dir").c_str(), 7, Path("src").c_str(), 7), 0);
    EXPECT_EQ(ConvertFile(nullptr, 7, Path("src").c_str(), 7), 0);
    EXPECT_EQ(ConvertFile(Path("dst").c_str(), 7, nullptr, 7), 0);
}

// A conversion that could not write or read everything reports nothing
// converted, never a count: a full disk, with and without a header block,
// and a source that opens but cannot be read (a directory).
TEST_F(ConvertFileTest, FailedWritesAndReadsGiveNothing) {
    Write(Path("src"), Pattern(1000));
    EXPECT_EQ(ConvertFile("/dev/full", 1, Path("src").c_str(), 1), 0);
    EXPECT_EQ(ConvertFile("/dev/full", 7, Path("src").c_str(), 7), 0);
    fs::create_directory(Path("folder"));
    EXPECT_EQ(ConvertFile(Path("dst").c_str(), 7, Path("folder").c_str(), 7), 0);
}
