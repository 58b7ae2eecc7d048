// The mode-string grammar of Win32's DCB builder, parsed by our own code so
// that a DCB string means the same on every platform.
#include "platform/Serial.h"

#include <cctype>
#include <string_view>

namespace plat {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

char Lower(char c) { return char(std::tolower(static_cast<unsigned char>(c))); }

bool Same(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    return true;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool Digits(std::string_view s) {
    if (s.empty())
        return false;
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// Positive decimal number that fits in 32 bits.
bool Number(std::string_view s, uint32_t &out) {
    if (!Digits(s))
        return false;
    uint64_t v = 0;
    for (char c : s) {
        v = v * 10 + uint64_t(c - '0');
        if (v > 0xFFFFFFFFull)
            return false;
    }
    out = uint32_t(v);
    return true;
}

bool Baud(std::string_view s, uint32_t &out) {
    uint32_t v;
    if (!Number(s, v) || v == 0)
        return false;
    // The mode command's two-digit abbreviations: the rate's first two digits.
    switch (v) {
    case 11: v = 110; break;
    case 15: v = 150; break;
    case 30: v = 300; break;
    case 60: v = 600; break;
    case 12: v = 1200; break;
    case 24: v = 2400; break;
    case 48: v = 4800; break;
    case 96: v = 9600; break;
    case 19: v = 19200; break;
    default: break;
    }
    out = v;
    return true;
}

bool ParityValue(std::string_view s, uint8_t &out) {
    if (s.size() != 1)
        return false;
    switch (Lower(s[0])) {
    case 'n': out = kNoParity; return true;
    case 'e': out = kEvenParity; return true;
    case 'o': out = kOddParity; return true;
    case 'm': out = kMarkParity; return true;
    case 's': out = kSpaceParity; return true;
    default: return false;
    }
}

bool DataBits(std::string_view s, uint8_t &out) {
    if (s.size() != 1 || s[0] < '5' || s[0] > '8')
        return false;
    out = uint8_t(s[0] - '0');
    return true;
}

bool StopValue(std::string_view s, uint8_t &out) {
    if (s == "1")
        out = kOneStopBit;
    else if (s == "1.5")
        out = kOne5StopBits;
    else if (s == "2")
        out = kTwoStopBits;
    else
        return false;
    return true;
}

bool OnOff(std::string_view s, bool &out) {
    if (Same(s, "on"))
        out = true;
    else if (Same(s, "off"))
        out = false;
    else
        return false;
    return true;
}

// Skips an optional leading device name, COMn or COMn:, n from 1. False when
// the string starts like one but is not a valid one.
bool SkipDevice(std::string_view &s) {
    if (s.size() < 3 || !Same(s.substr(0, 3), "com"))
        return true; // no device name: the parameters start at once
    size_t i = 3;
    uint32_t number = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
        number = number * 10 + uint32_t(s[i] - '0');
        if (number > 255)
            return false;
        ++i;
    }
    if (i == 3 || number == 0)
        return false;
    if (i < s.size() && s[i] == ':')
        ++i;
    else if (i < s.size() && !IsBlank(s[i]))
        return false;
    s = Trim(s.substr(i));
    return true;
}

// "key=value key=value ..."
bool KeywordForm(std::string_view s, Dcb &dcb) {
    bool stopNamed = false;
    bool baudNamed = false;
    while (!s.empty()) {
        size_t end = 0;
        while (end < s.size() && !IsBlank(s[end]))
            ++end;
        std::string_view token = s.substr(0, end);
        s = Trim(s.substr(end));
        size_t eq = token.find('=');
        if (eq == std::string_view::npos)
            return false;
        std::string_view key = token.substr(0, eq);
        std::string_view value = token.substr(eq + 1);
        if (value.empty())
            return false;
        bool on = false;
        if (Same(key, "baud")) {
            uint32_t v;
            if (!Baud(value, v))
                return false;
            dcb.BaudRate = v;
            baudNamed = true;
        } else if (Same(key, "parity")) {
            uint8_t v;
            if (!ParityValue(value, v))
                return false;
            dcb.Parity = v;
            dcb.fParity = v != kNoParity;
        } else if (Same(key, "data")) {
            uint8_t v;
            if (!DataBits(value, v))
                return false;
            dcb.ByteSize = v;
        } else if (Same(key, "stop")) {
            uint8_t v;
            if (!StopValue(value, v))
                return false;
            dcb.StopBits = v;
            stopNamed = true;
        } else if (Same(key, "to")) {
            // Infinite time-out processing belongs to the time-outs, not to
            // the DCB: accepted, nothing to change here.
            if (!OnOff(value, on))
                return false;
        } else if (Same(key, "xon")) {
            if (!OnOff(value, on))
                return false;
            dcb.fInX = on;
            dcb.fOutX = on;
        } else if (Same(key, "odsr")) {
            if (!OnOff(value, on))
                return false;
            dcb.fOutxDsrFlow = on;
        } else if (Same(key, "octs")) {
            if (!OnOff(value, on))
                return false;
            dcb.fOutxCtsFlow = on;
        } else if (Same(key, "idsr")) {
            if (!OnOff(value, on))
                return false;
            dcb.fDsrSensitivity = on;
        } else if (Same(key, "dtr")) {
            if (Same(value, "hs"))
                dcb.fDtrControl = kDtrControlHandshake;
            else if (OnOff(value, on))
                dcb.fDtrControl = on ? kDtrControlEnable : kDtrControlDisable;
            else
                return false;
        } else if (Same(key, "rts")) {
            if (Same(value, "hs"))
                dcb.fRtsControl = kRtsControlHandshake;
            else if (Same(value, "tg"))
                dcb.fRtsControl = kRtsControlToggle;
            else if (OnOff(value, on))
                dcb.fRtsControl = on ? kRtsControlEnable : kRtsControlDisable;
            else
                return false;
        } else {
            return false;
        }
    }
    if (baudNamed && dcb.BaudRate == 110 && !stopNamed)
        dcb.StopBits = kTwoStopBits;
    return true;
}

// "baud[,parity[,data[,stop[,x|p]]]]", fields by position, empty ones kept.
bool PositionalForm(std::string_view s, Dcb &dcb) {
    std::string_view fields[5];
    size_t count = 0;
    while (true) {
        size_t comma = s.find(',');
        if (count == 5)
            return false;
        fields[count++] = Trim(s.substr(0, comma));
        if (comma == std::string_view::npos)
            break;
        s = s.substr(comma + 1);
    }
    for (size_t i = 0; i < count; ++i)
        for (char c : fields[i])
            if (IsBlank(c) || c == '=')
                return false;

    if (!fields[0].empty() && !Baud(fields[0], dcb.BaudRate))
        return false;
    if (count > 1 && !fields[1].empty()) {
        if (!ParityValue(fields[1], dcb.Parity))
            return false;
        dcb.fParity = dcb.Parity != kNoParity;
    }
    if (count > 2 && !fields[2].empty() && !DataBits(fields[2], dcb.ByteSize))
        return false;
    bool stopNamed = count > 3 && !fields[3].empty();
    if (stopNamed && !StopValue(fields[3], dcb.StopBits))
        return false;
    if (!fields[0].empty() && dcb.BaudRate == 110 && !stopNamed)
        dcb.StopBits = kTwoStopBits;

    // This form always sets the flow control: by its last field, or none.
    char handshake = count > 4 && !fields[4].empty() ? Lower(fields[4][0]) : 0;
    if (count > 4 && fields[4].size() > 1)
        return false;
    if (handshake != 0 && handshake != 'x' && handshake != 'p')
        return false;
    bool hardware = handshake == 'p';
    dcb.fInX = handshake == 'x';
    dcb.fOutX = handshake == 'x';
    dcb.fOutxCtsFlow = hardware;
    dcb.fOutxDsrFlow = hardware;
    dcb.fDtrControl = hardware ? kDtrControlHandshake : kDtrControlEnable;
    dcb.fRtsControl = hardware ? kRtsControlHandshake : kRtsControlEnable;
    return true;
}

} // namespace

bool ParseModeString(const char *mode, Dcb &dcb) {
    if (!mode)
        return false;
    std::string_view s = Trim(mode);
    if (!SkipDevice(s))
        return false;
    if (s.empty())
        return true; // a bare device name names nothing to change
    // Work on a copy: a rejected string must leave the caller's DCB as it was.
    Dcb work = dcb;
    bool ok = s.find('=') != std::string_view::npos ? KeywordForm(s, work)
                                                     : PositionalForm(s, work);
    if (ok)
        dcb = work;
    return ok;
}

} // namespace plat
