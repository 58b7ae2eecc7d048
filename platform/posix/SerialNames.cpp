// Port names on POSIX: the COMn names mapped to devices, and the list of the
// serial devices that really exist.
#include "SerialPosix.h"

#include <algorithm>
#include <cctype>
#include <dirent.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace plat {

namespace {

bool StartsWithNoCase(const std::string &s, const char *prefix) {
    size_t i = 0;
    for (; prefix[i]; ++i)
        if (i >= s.size() || std::tolower(static_cast<unsigned char>(s[i])) != prefix[i])
            return false;
    return true;
}

// Orders ttyS2 before ttyS10: the name without its trailing number first.
bool NaturalLess(const std::string &a, const std::string &b) {
    auto split = [](const std::string &s) {
        size_t i = s.size();
        while (i > 0 && std::isdigit(static_cast<unsigned char>(s[i - 1])))
            --i;
        unsigned long n = i < s.size() ? std::stoul(s.substr(i, 9)) : 0;
        return std::make_pair(s.substr(0, i), n);
    };
    auto x = split(a), y = split(b);
    return x != y ? x < y : a < b;
}

} // namespace

std::string PortDevicePath(const char *name) {
    if (!name || !*name)
        return {};
    std::string s = name;
    if (s.find('/') != std::string::npos)
        return s;
    std::string rest = s.compare(0, 4, "\\\\.\\") == 0 ? s.substr(4) : s;
    bool prefixed = rest.size() != s.size();
    if (StartsWithNoCase(rest, "com") &&
        (prefixed || (rest.size() > 3 && std::isdigit(static_cast<unsigned char>(rest[3]))))) {
        size_t i = 3;
        unsigned long number = 0;
        while (i < rest.size() && std::isdigit(static_cast<unsigned char>(rest[i])) && number < 100000)
            number = number * 10 + unsigned(rest[i++] - '0');
        if (i < rest.size() && rest[i] == ':' && !prefixed)
            ++i;
        if (i == 3 || i != rest.size() || number == 0 || number >= 100000)
            return {};
        return "/dev/ttyS" + std::to_string(number - 1);
    }
    if (prefixed)
        return {};
    return "/dev/" + s;
}

std::vector<std::string> EnumPorts() {
    std::vector<std::string> ports;
    const std::string base = "/sys/class/tty/";
    DIR *dir = opendir(base.c_str());
    if (!dir)
        return ports;
    while (dirent *entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name.empty() || name[0] == '.')
            continue;
        // Virtual consoles and pseudo-terminals have no device driver behind
        // them; serial ports do.
        if (access((base + name + "/device/driver").c_str(), F_OK) != 0)
            continue;
        // The serial core registers every possible UART; those whose probe
        // found no chip report type 0 (unknown).
        std::ifstream typeFile(base + name + "/type");
        int type = -1;
        if (typeFile >> type && type == 0)
            continue;
        std::string path = "/dev/" + name;
        struct stat st {};
        if (stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode))
            ports.push_back(path);
    }
    closedir(dir);
    std::sort(ports.begin(), ports.end(), NaturalLess);
    return ports;
}

} // namespace plat
