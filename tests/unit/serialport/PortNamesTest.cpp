// Port names and the port list.
#include "platform/Serial.h"

#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>

namespace {

TEST(PortNames, MapToDevicesAndTheListHoldsOnlyDevices) {
    // "name=device" pairs; an empty device: no port.
    std::istringstream rows(
        R"(COM1:=/dev/ttyS0 \\.\com10=/dev/ttyS9 COM255=/dev/ttyS254 ./port=./port
        ttyUSB0=/dev/ttyUSB0 COM0= COM1x= COM1::= \\.\ttyS0= COM99999999999= =)");
    for (std::string row; rows >> row;) {
        const size_t eq = row.rfind('=');
        EXPECT_EQ(plat::PortDevicePath(row.substr(0, eq).c_str()), row.substr(eq + 1)) << row;
    }
    EXPECT_EQ(plat::PortDevicePath(nullptr), "");
    for (const std::string &path : plat::EnumPorts()) {
        struct stat st {};
        EXPECT_TRUE(stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode)) << path;
        EXPECT_TRUE(path.rfind("/dev/", 0) == 0 && path.find("/dev/pts/") == std::string::npos &&
                    path != "/dev/tty0")
            << path;
    }
}

} // namespace
