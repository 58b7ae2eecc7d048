// The disk fills while a voice file is converted: the call reports failure
// and the source is left byte for byte as it was. The full disk is played by
// a file size limit, under which a write past the limit fails with EFBIG.
// (A fax page that cannot grow is covered with the fax page tests.) A
// conversion onto the source itself must not destroy it either.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/resource.h>
#include <unistd.h>

#include "falcrest/Falcrest.h"

namespace fs = std::filesystem;

namespace {

std::string Slurp(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

class DiskFull : public testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/faults-disk-XXXXXX";
        dir_ = mkdtemp(dir);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string Path(const char *name) const { return dir_ + "/" + name; }

    void WriteSource(const std::string &path, size_t n) {
        source_.resize(n);
        for (size_t i = 0; i < n; ++i)
            source_[i] = char((i * 37 + i / 251) & 0xFF);
        std::ofstream(path, std::ios::binary).write(source_.data(), std::streamsize(n));
    }
    // Runs call with files limited to limit bytes, as on a disk that fills.
    int WithFilesLimitedTo(rlim_t limit, const std::function<int()> &call) {
        rlimit before{};
        EXPECT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
        rlimit limited = before;
        limited.rlim_cur = limit;
        auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
        int result = call();
        setrlimit(RLIMIT_FSIZE, &before);
        std::signal(SIGXFSZ, oldHandler);
        return result;
    }

    std::string dir_, source_;
};

TEST_F(DiskFull, VoiceConversionFailsAndKeepsTheSource) {
    const std::string src = Path("greeting.vce"), dst = Path("greeting.zyx");
    WriteSource(src, 300 * 1024);
    struct Case {
        uint32_t targetType, sourceType;
        rlim_t limit;
    } cases[] = {
        {1, 1, 100 * 1024},      // the disk fills in the middle of the data
        {1, 0x8001, 8},          // ... already in the ZyXEL header block
        {4, 0x8004, 200 * 1024}, // a USR file, leading block dropped
        {7, 7, 300 * 1024 - 1},  // the very last byte does not fit
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.targetType << " limit " << c.limit);
        int result = WithFilesLimitedTo(c.limit, [&] {
            return ConvertFile(dst.c_str(), c.targetType, src.c_str(), c.sourceType);
        });
        EXPECT_EQ(result, 0);
        EXPECT_TRUE(Slurp(src) == source_) << "the source changed";
        EXPECT_LE(fs::file_size(dst), c.limit);
    }
    // With room on the disk the same conversion succeeds.
    EXPECT_EQ(ConvertFile(dst.c_str(), 1, src.c_str(), 1), int(source_.size()));
}

TEST_F(DiskFull, ConversionOntoItsOwnSourceKeepsIt) {
    const std::string src = Path("greeting.vce"), alias = Path("alias.vce");
    WriteSource(src, 4096);
    fs::create_symlink(src, alias);
    EXPECT_EQ(ConvertFile(src.c_str(), 1, src.c_str(), 0x8001), 0);
    EXPECT_TRUE(Slurp(src) == source_) << "converted onto itself";
    EXPECT_EQ(ConvertFile(alias.c_str(), 1, src.c_str(), 0x8001), 0);
    EXPECT_TRUE(Slurp(src) == source_) << "converted onto a link to itself";
}

} // namespace
