// Voice file conversion: header blocks, the dropped leading block, format
// checks, and what is left on disk when a conversion fails.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
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

TEST_F(ConvertFileTest, DropsTheLeadingBlockAndWritesTheZyXHeader) {
    Bytes src = Pattern(1019);
    Write(Path("src"), src);
    EXPECT_EQ(ConvertFile(Path("dst").c_str(), 1, Path("src").c_str(), 0x8001), 1000);
    EXPECT_EQ(Read(Path("dst")), Concat(Bytes(16, 0), Bytes(src.begin() + 19, src.end())));
}

TEST_F(ConvertFileTest, USRFormatsGetTheirLongerHeader) {
    Bytes src = Pattern(5000);
    Write(Path("src"), src);
    for (uint32_t format : {4u, 5u, 6u}) {
        ASSERT_EQ(ConvertFile(Path("dst").c_str(), format, Path("src").c_str(), format), 5000);
        EXPECT_EQ(Read(Path("dst")), Concat(Bytes(58, 0), src)) << format;
    }
}

TEST_F(ConvertFileTest, FormatsWithoutAFamilyAreCopiedExactly) {
    Bytes src = Pattern(70000, 3); // longer than one copy piece
    Write(Path("src"), src);
    for (uint32_t format : {7u, 0u, 8u, 9u, 0x7FFFu}) {
        ASSERT_EQ(ConvertFile(Path("dst").c_str(), format, Path("src").c_str(), format), 70000);
        EXPECT_EQ(Read(Path("dst")), src) << format;
    }
}

TEST_F(ConvertFileTest, OnlyTheFormatNumbersAreCompared) {
    Bytes src = Pattern(100);
    Write(Path("src"), src);
    // Bit 15 of the target and every bit from 16 up play no part.
    EXPECT_EQ(ConvertFile(Path("dst").c_str(), 0x18002, Path("src").c_str(), 0x20002), 100);
    EXPECT_EQ(Read(Path("dst")), Concat(Bytes(16, 0), src));
}

TEST_F(ConvertFileTest, DifferentFormatsWriteNothing) {
    Write(Path("src"), Pattern(100));
    Write(Path("dst"), Pattern(10));
    EXPECT_EQ(ConvertFile(Path("dst").c_str(), 3, Path("src").c_str(), 2), 0);
    EXPECT_TRUE(fs::exists(Path("dst")));
    EXPECT_EQ(fs::file_size(Path("dst")), 0u); // opened for writing, then left empty
}

TEST_F(ConvertFileTest, SourceNoLongerThanTheDroppedBlockGivesNothing) {
    Write(Path("src19"), Pattern(19));
    EXPECT_EQ(ConvertFile(Path("dst").c_str(), 5, Path("src19").c_str(), 0x8005), 0);
    Write(Path("src20"), Pattern(20));
    EXPECT_EQ(ConvertFile(Path("dst").c_str(), 5, Path("src20").c_str(), 0x8005), 1);
    EXPECT_EQ(Read(Path("dst")).size(), 59u);
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

// Conversions on several threads at once keep to their own files.
TEST_F(ConvertFileTest, SimultaneousConversionsStayApart) {
    constexpr int kThreads = 4;
    for (int t = 0; t < kThreads; ++t)
        Write(Path("src" + std::to_string(t)), Pattern(200000 + t * 1000, uint8_t(t + 1)));
    std::vector<std::thread> threads;
    std::vector<int> results(kThreads);
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int round = 0; round < 5 && results[t] >= 0; ++round) {
                std::string dst = Path("dst" + std::to_string(t));
                int r = ConvertFile(dst.c_str(), 7, Path("src" + std::to_string(t)).c_str(), 7);
                results[t] = r == 200000 + t * 1000 ? r : -1;
            }
        });
    for (auto &th : threads)
        th.join();
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(results[t], 200000 + t * 1000);
        EXPECT_EQ(Read(Path("dst" + std::to_string(t))), Read(Path("src" + std::to_string(t))));
    }
}
