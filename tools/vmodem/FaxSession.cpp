// Class 2 session parameters.
#include "FaxSession.h"

#include <algorithm>

namespace vmodem {

namespace {

constexpr FaxParams kHighest = {1, 5, 4, 2, 3, 2, 1, 7};

} // namespace

FaxParams DefaultFaxParams() {
    return {1, 5, 0, 2, 0, 0, 0, 0};
}

FaxParams FarMachineParams() {
    return {1, 5, 0, 2, 0, 0, 0, 0};
}

bool ParseFaxParams(const std::string &text, FaxParams &params) {
    FaxParams next = params;
    size_t field = 0, i = 0;
    while (true) {
        if (field >= next.size())
            return false;
        size_t start = i;
        int value = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9' && i - start < 3)
            value = value * 10 + (text[i++] - '0');
        if (i > start) {
            if (value > kHighest[field])
                return false;
            next[field] = value;
        }
        if (i == text.size())
            break;
        if (text[i++] != ',')
            return false;
        ++field;
    }
    params = next;
    return true;
}

std::string FormatFaxParams(const FaxParams &params) {
    std::string out;
    for (int v : params)
        out += (out.empty() ? "" : ",") + std::to_string(v);
    return out;
}

FaxParams Negotiate(const FaxParams &allowed, const FaxParams &offered) {
    FaxParams agreed{};
    for (size_t i = 0; i < agreed.size(); ++i)
        agreed[i] = std::min(allowed[i], offered[i]);
    return agreed;
}

int FaxBitRate(const FaxParams &params) {
    return 2400 * (params[1] + 1);
}

} // namespace vmodem
