// The disk fills while a voice file is converted: the call reports failure
// and the source is left byte for byte as it was. The full disk is played by
// a file size limit, under which a write past the limit fails with EFBIG. A
// conversion onto the source itself, or a link to it, must not destroy it.
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

TEST(DiskFull, VoiceConversionFailsAndKeepsTheSource) {
    char dir[] = "/tmp/faults-disk-XXXXXX";
    const std::string base = mkdtemp(dir), src = base + "/in.vce", dst = base + "/out.zyx";
    std::string source(300 * 1024, '\0');
    for (size_t i = 0; i < source.size(); ++i)
        source[i] = char((i * 37 + i / 251) & 0xFF);
    std::ofstream(src, std::ios::binary).write(source.data(), std::streamsize(source.size()));
    struct {
        uint32_t targetType, sourceType;
        rlim_t limit;
    } cases[] = {
        {1, 0x8001, 8},          // the disk fills in the ZyXEL header block
        {4, 0x8004, 200 * 1024}, // ... in the data of a USR file
        {7, 7, 300 * 1024 - 1},  // the very last byte does not fit
    };
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.limit);
        rlimit before{}, limited{};
        getrlimit(RLIMIT_FSIZE, &before);
        limited = before;
        limited.rlim_cur = std::min(c.limit, before.rlim_max);
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
        int result = ConvertFile(dst.c_str(), c.targetType, src.c_str(), c.sourceType);
        setrlimit(RLIMIT_FSIZE, &before);
        EXPECT_EQ(result, 0);
        EXPECT_TRUE(Slurp(src) == source) << "the source changed";
    }
    std::signal(SIGXFSZ, oldHandler);
    fs::create_symlink(src, base + "/alias.vce");
    for (const std::string &to : {src, base + "/alias.vce"}) {
        EXPECT_EQ(ConvertFile(to.c_str(), 1, src.c_str(), 0x8001), 0);
        EXPECT_TRUE(Slurp(src) == source) << "converted onto itself as " << to;
    }
    // With room on the disk the same conversion succeeds.
    EXPECT_EQ(ConvertFile(dst.c_str(), 1, src.c_str(), 1), int(source.size()));
    fs::remove_all(base);
}

} // namespace
