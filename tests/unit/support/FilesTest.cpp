// File calls and clFileMap against real files in a scratch directory.
#include "Tamsel.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class Files : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/tamsel-files-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

    std::string Path(const char *name) { return dir_ + "/" + name; }
    static std::string Read(const std::string &path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static void Write(const std::string &path, const std::string &data) {
        std::ofstream(path, std::ios::binary) << data;
    }
    static long Size(const std::string &path) {
        struct stat st;
        return stat(path.c_str(), &st) == 0 ? long(st.st_size) : -1;
    }

    std::string dir_;
};

TEST_F(Files, OpenFileWModes) {
    std::string path = Path("out.txt");
    TamselFile h = 1234;
    EXPECT_EQ(OpenFileW(path.c_str(), &h, "r"), 0); // missing
    EXPECT_EQ(h, kTamselNoFile);
    EXPECT_EQ(OpenFileW(path.c_str(), &h, "x"), 0);
    EXPECT_EQ(OpenFileW(path.c_str(), &h, nullptr), 0);
    EXPECT_EQ(OpenFileW(path.c_str(), &h, "a+++"), 0); // longer than any mode
    EXPECT_EQ(OpenFileW(nullptr, &h, "w"), 0);
    EXPECT_EQ(OpenFileW(path.c_str(), nullptr, "w"), 0);

    ASSERT_NE(OpenFileW(path.c_str(), &h, "w"), 0);
    EXPECT_EQ(Fwrite("hello", 5, h), 5u);
    CloseFileW(&h);
    EXPECT_EQ(h, kTamselNoFile);
    CloseFileW(&h); // closing twice is harmless
    EXPECT_EQ(Read(path), "hello");

    ASSERT_NE(OpenFileW(path.c_str(), &h, "a+"), 0);
    EXPECT_EQ(Fwrite(" world", 6, h), 6u);
    CloseFileW(&h);
    EXPECT_EQ(Read(path), "hello world");

    ASSERT_NE(OpenFileW(path.c_str(), &h, "r+b"), 0); // 'b' is ignored: read and write
    EXPECT_EQ(Fwrite("J", 1, h), 1u);
    CloseFileW(&h);
    EXPECT_EQ(Read(path), "Jello world");
    CloseFileW(nullptr);

    ASSERT_NE(OpenFileW(path.c_str(), &h, "w"), 0); // truncates
    EXPECT_EQ(Fwrite("x", 1, h), 1u);
    CloseFileW(&h);
    EXPECT_EQ(Read(path), "x");

    ASSERT_NE(OpenFileW(path.c_str(), &h, "r"), 0);
    EXPECT_EQ(Fwrite("y", 1, h), 0u); // read-only
    CloseFileW(&h);

    std::string created = Path("new.txt");
    ASSERT_NE(OpenFileW(created.c_str(), &h, "a+"), 0); // created when missing
    EXPECT_EQ(Fwrite(nullptr, 3, h), 0u);
    CloseFileW(&h);
    EXPECT_EQ(Size(created), 0);
}

TEST_F(Files, MapReadsAndWritesThrough) {
    std::string path = Path("page.bin");
    Write(path, "0123456789");
    {
        clFileMap map(path.c_str(), "r+", 0x8000000);
        ASSERT_NE(map.bOpen, 0);
        EXPECT_EQ(map.dwSize, 10u);
        ASSERT_NE(map.pView, nullptr);
        EXPECT_EQ(std::string(map.pView, 10), "0123456789");
        map.pView[0] = 'G';
        map.pView[1] = '3';
    } // the destructor closes
    EXPECT_EQ(Read(path), "G323456789");

    clFileMap ro(path.c_str(), "r", 100);
    ASSERT_NE(ro.bOpen, 0);
    EXPECT_EQ(std::string(ro.pView, ro.dwSize), "G323456789");
    ro.Close();
    EXPECT_EQ(ro.bOpen, 0);
    EXPECT_EQ(ro.pView, nullptr);

    clFileMap tooBig(path.c_str(), "r+", 9);
    EXPECT_EQ(tooBig.bOpen, 0);
    clFileMap justFits(path.c_str(), "r+", 10);
    EXPECT_NE(justFits.bOpen, 0);
    justFits.Close();
    clFileMap missing(Path("none").c_str(), "r+", 100);
    EXPECT_EQ(missing.bOpen, 0);
    clFileMap badMode(path.c_str(), "w", 100);
    EXPECT_EQ(badMode.bOpen, 0);
    clFileMap noMode(path.c_str(), nullptr, 100);
    EXPECT_EQ(noMode.bOpen, 0);
    EXPECT_EQ(Read(path), "G323456789"); // failed opens leave the file alone
}

TEST_F(Files, EmptyFileOpensWithoutAView) {
    std::string path = Path("empty");
    Write(path, "");
    clFileMap map(path.c_str(), "r+", 100);
    EXPECT_NE(map.bOpen, 0);
    EXPECT_EQ(map.dwSize, 0u);
    EXPECT_EQ(map.pView, nullptr);
}

TEST_F(Files, OpenWithSizeLeavesExactlyThatLength) {
    std::string path = Path("fax.g3");
    Write(path, std::string(100, 'a'));
    clFileMap map;
    // Shrink, the way a coded page is cut to the bytes written.
    ASSERT_NE(map.Open(path.c_str(), "r+", 40), 0);
    EXPECT_EQ(map.dwSize, 40u);
    map.Close();
    EXPECT_EQ(Size(path), 40);
    EXPECT_EQ(Read(path), std::string(40, 'a'));

    // Grow: the new bytes are zeros and writable through the view.
    ASSERT_NE(map.Open(path.c_str(), "r+", 5000), 0);
    EXPECT_EQ(map.dwSize, 5000u);
    EXPECT_EQ(map.pView[39], 'a');
    EXPECT_EQ(map.pView[40], '\0');
    EXPECT_EQ(map.pView[4999], '\0');
    map.pView[4999] = 'z';
    map.Close();
    EXPECT_EQ(Size(path), 5000);
    std::string back = Read(path);
    EXPECT_EQ(back.substr(0, 40), std::string(40, 'a'));
    EXPECT_EQ(back.substr(40, 4959), std::string(4959, '\0'));
    EXPECT_EQ(back[4999], 'z');

    // Size 0 maps the file as it is; a read-only map cannot change its length.
    ASSERT_NE(map.Open(path.c_str(), "r+", 0), 0);
    EXPECT_EQ(map.dwSize, 5000u);
    EXPECT_EQ(map.Open(path.c_str(), "r", 10), 0);
    EXPECT_EQ(map.bOpen, 0);
    EXPECT_EQ(Size(path), 5000);
}

} // namespace
