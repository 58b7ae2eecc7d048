// What one pass of the feedback's DLE scan over a whole stream gives, for
// checking that chunked delivery adds, loses and reorders nothing.
#pragma once

#include <cstdint>
#include <string>

namespace testing_support {

// raw: the bytes that stay in the text; codes: the tokens; heldBack: the
// stream ends with an unpaired DLE, which waits for its partner.
inline void ExpectedDleScan(const std::string &in, uint32_t format, std::string &raw,
                            std::string &codes, bool &heldBack) {
    heldBack = false;
    for (size_t i = 0; i < in.size(); ++i) {
        if (format == 0 || in[i] != '\x10') {
            raw += in[i];
            continue;
        }
        if (i + 1 == in.size()) {
            heldBack = true;
            break;
        }
        unsigned char next = static_cast<unsigned char>(in[i + 1]);
        if (next == 0x10 || (format == 1 && next == 0x12)) {
            raw += in.substr(i, 2);
            ++i;
            continue;
        }
        switch (next) {
        case 0x00: codes += "<NUL>"; break;
        case 0x03: codes += "<ETX>"; break;
        case 0x12: codes += "<DC2>"; break;
        case 0x14: codes += "<DC4>"; break;
        case 0x18: codes += "<CAN>"; break;
        case 0x1C: codes += "<FS>"; break;
        default: codes += "<" + std::string(1, char(next)) + ">";
        }
        ++i;
    }
}

} // namespace testing_support
