// What one pass of the feedback's DLE scan over a whole stream gives, for
// checking that chunked delivery adds, loses and reorders nothing.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace testing_support {

// raw: the bytes that stay in the text; codes: the tokens; heldBack: the
// stream ends with an unpaired DLE, which waits for its partner.
inline void ExpectedDleScan(const std::string &in, uint32_t format, std::string &raw,
                            std::string &codes, bool &heldBack) {
    static const std::map<char, std::string> kNamed = {{0x00, "NUL"}, {0x03, "ETX"}, {0x12, "DC2"},
                                                       {0x14, "DC4"}, {0x18, "CAN"}, {0x1C, "FS"}};
    heldBack = false;
    for (size_t i = 0; i < in.size(); ++i) {
        if (format == 0 || in[i] != '\x10') {
            raw += in[i];
        } else if (i + 1 == in.size()) {
            heldBack = true;
        } else if (in[i + 1] == 0x10 || (format == 1 && in[i + 1] == 0x12)) {
            raw += in.substr(i++, 2);
        } else {
            auto named = kNamed.find(in[++i]);
            codes += "<" + (named != kNamed.end() ? named->second : std::string(1, in[i])) + ">";
        }
    }
}

} // namespace testing_support
