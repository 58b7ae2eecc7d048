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

#include "falcrest/Falcrest.h"

namespace {

TEST(DiskFull, VoiceConversionFailsAndKeepsTheSource) {
    char dir[] = "/tmp/faults-disk-XXXXXX";
    const std::string base = mkdtemp(dir), src = base + "/in.vce", dst = base + "/out.zyx";
    std::string source(300 * 1024, '\0');
    for (size_t i = 0; i < source.size(); ++i)
        source[i] = char((i * 37 + i / 251) & 0xFF);
    std::ofstream(src, std::ios::binary) << source;
    std::filesystem::create_symlink(src, base + "/alias.vce");
    struct {
        std::string target;
        uint32_t targetType, sourceType;
        rlim_t limit;
    } cases[] = {
        {dst, 1, 0x8001, 8},                             // the disk fills in the ZyXEL header block
        {dst, 4, 0x8004, 200 * 1024},                    // ... in the data of a USR file
        {dst, 7, 7, 300 * 1024 - 1},                     // the very last byte does not fit
        {src, 1, 0x8001, RLIM_INFINITY},                 // onto the source itself
        {base + "/alias.vce", 1, 0x8001, RLIM_INFINITY}, // ... or a link to it
    };
    std::signal(SIGXFSZ, SIG_IGN); // past the limit a write fails instead of ending the program
    rlimit before{};
    getrlimit(RLIMIT_FSIZE, &before);
    for (const auto &c : cases) {
        rlimit limited = {std::min(c.limit, before.rlim_max), before.rlim_max};
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
        const int got = ConvertFile(c.target.c_str(), c.targetType, src.c_str(), c.sourceType);
        setrlimit(RLIMIT_FSIZE, &before);
        std::ifstream kept(src, std::ios::binary);
        EXPECT_TRUE(got == 0 && std::string(std::istreambuf_iterator<char>(kept), {}) == source)
            << c.target << " at " << c.limit;
    }
    // With room on the disk the same conversion succeeds.
    EXPECT_EQ(ConvertFile(dst.c_str(), 1, src.c_str(), 1), int(source.size()));
    std::filesystem::remove_all(base);
}

} // namespace
