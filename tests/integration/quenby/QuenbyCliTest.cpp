// Quenby's command line, messages and exit codes, and keys reaching the port.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include "PtyPair.h"

using testing_support::PtyPair;
using testing_support::RunCommand;

namespace {

struct Outcome {
    int status;
    std::string out, err;
};

std::string Slurp(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs Quenby with the arguments and the given standard input.
Outcome Quenby(const std::string &args, const std::string &input) {
    char dir[] = "/tmp/quenby-test-XXXXXX";
    std::string base = mkdtemp(dir);
    std::ofstream(base + "/in") << input;
    std::string command = std::string(QUENBY_PATH) + " " + args + " <" + base + "/in >" + base +
                          "/out 2>" + base + "/err";
    int raw = std::system(command.c_str());
    Outcome r{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1000, Slurp(base + "/out"),
              Slurp(base + "/err")};
    RunCommand("rm -rf " + base);
    return r;
}

TEST(QuenbyCli, WithoutArgumentsPrintsUsageAndWaitsForEnter) {
    Outcome r = Quenby("", "\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Usage: Quenby [options] <comport_number|comport_name>\n"
                     "\tOptions are:\n"
                     "\t-c\"port DCB string\"\n"
                     "\t port DCB defaults to \"baud=115200 dtr=on rts=on octs=off odsr=off "
                     "idsr=off xon=off\"\n"
                     "\t-v - turn on vt100 terminal emulation\n"
                     "Press Enter..\n");
}

TEST(QuenbyCli, OptionsWithoutAPortAreRefused) {
    Outcome r = Quenby("-v", "");
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, "Mandatory argument missing: COM device name or number\n");
    r = Quenby("-c", "");
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err,
              "Unknown option: 'c'!\nMandatory argument missing: COM device name or number\n");
}

TEST(QuenbyCli, FailedOpenPrintsTheCodeAndReturnsIt) {
    Outcome r = Quenby("-x /dev/nonexistent-quenby-port", "");
    EXPECT_EQ(r.err, "Unknown option: 'x'!\n");
    EXPECT_EQ(r.out, "Connection failed: -100(ffffff9c)\n");
    EXPECT_EQ(r.status, 156);
}

TEST(QuenbyCli, KeysReachThePortAsTyped) {
    PtyPair pty;
    std::string command = std::string(QUENBY_PATH) + " -c \"baud=9600 xon=on\" " + pty.PortPath() +
                          " >/dev/null 2>&1";
    FILE *keys = popen(command.c_str(), "w");
    ASSERT_NE(keys, nullptr);
    std::fputs("ATI\r\n\x1a", keys); // Enter, Ctrl+J and Ctrl+Z go as they are
    std::fflush(keys);
    EXPECT_EQ(pty.ReadAtLeast(6, 10000), "ATI\r\n\x1a");
    std::string settings = RunCommand("stty -a -F " + pty.PortPath());
    EXPECT_NE(settings.find("speed 9600 baud"), std::string::npos) << settings;
    EXPECT_NE(settings.find(" ixoff"), std::string::npos) << settings;
    int status = pclose(keys); // end of input ends the key loop
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

} // namespace
