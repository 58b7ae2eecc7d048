// Port names and the port list.
#include "platform/Serial.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

TEST(PortNames, MapToDevices) {
    struct {
        const char *name;
        const char *path;
    } rows[] = {
        {"COM1", "/dev/ttyS0"},
        {"COM1:", "/dev/ttyS0"},
        {"com2", "/dev/ttyS1"},
        {"\\\\.\\COM10", "/dev/ttyS9"},
        {"\\\\.\\com3", "/dev/ttyS2"},
        {"COM255", "/dev/ttyS254"},
        {"/dev/pts/12", "/dev/pts/12"},
        {"/tmp/COM1", "/tmp/COM1"},
        {"./port", "./port"},
        {"ttyUSB0", "/dev/ttyUSB0"},
        {"COM0", ""},
        {"COM1x", ""},
        {"COM1::", ""},
        {"\\\\.\\COM1:", ""},
        {"\\\\.\\ttyS0", ""},
        {"COM99999999999", ""},
        {"", ""},
    };
    for (const auto &row : rows)
        EXPECT_EQ(plat::PortDevicePath(row.name), row.path) << row.name;
    EXPECT_EQ(plat::PortDevicePath(nullptr), "");
}

TEST(PortNames, ListOnlyDevicesThatExist) {
    for (const std::string &path : plat::EnumPorts()) {
        struct stat st {};
        EXPECT_EQ(path.rfind("/dev/", 0), 0u) << path;
        EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
        EXPECT_TRUE(S_ISCHR(st.st_mode)) << path;
        EXPECT_EQ(path.find("/dev/pts/"), std::string::npos) << path;
        EXPECT_NE(path, "/dev/tty0");
    }
}

} // namespace
