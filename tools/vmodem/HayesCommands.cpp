// Execution of one AT command line: basic commands (letters with an optional
// number), S-registers, and the extended +F/+V/+G commands of the fax and
// voice classes. Commands run left to right; the first failure ends the line
// with ERROR, and a command that changes the state ends it with its own result.
#include "Modem.h"

#include "Identity.h"

#include <cctype>
#include <cstdio>
#include <set>

namespace vmodem {

namespace {

char Upper(char c) {
    return char(std::toupper(static_cast<unsigned char>(c)));
}

// Reads an optional decimal number at i; returns def when none is there.
int Number(const std::string &s, size_t &i, int def) {
    if (i >= s.size() || !std::isdigit(static_cast<unsigned char>(s[i])))
        return def;
    long v = 0;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
        v = std::min(v * 10 + (s[i] - '0'), 100000L);
        ++i;
    }
    return int(v);
}

bool ParseInt(const std::string &s, int lo, int hi, int &out) {
    if (s.empty() || s.size() > 6)
        return false;
    for (char c : s)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
    out = std::stoi(s);
    return out >= lo && out <= hi;
}

// Extended commands accepted and otherwise ignored (settings that change
// nothing in a virtual line).
const std::set<std::string> kIgnoredExtended = {
    "VLS",  "VIT", "VGT",  "VGR", "VRA",  "VRN", "VSD",  "VDR", "VTD",  "VTS", "VNH", "VEM",
    "VCID", "VIP", "FTS",  "FRS", "FLID", "FLI", "FDCC", "FCC", "FDIS", "FIS", "FCR", "FBOR",
    "FBO",  "FAA", "FPTS", "FPS", "FET",  "FK",  "FKS",  "FIP", "FCQ",  "FNR", "FLO"};

const std::set<int> kFaxModulations = {3, 24, 48, 72, 73, 74, 96, 97, 98, 121, 122, 145, 146};

} // namespace

void CModem::ExecuteLine(const std::string &body) {
    host_.Event("cmd AT" + body);
    size_t i = 0;
    while (i < body.size()) {
        bool handled = false;
        if (!ExecuteBasic(body, i, handled)) {
            Result(EResult::Error);
            return;
        }
        if (handled)
            return; // the command gave its own result
    }
    Result(EResult::Ok);
}

// Runs the command at i and moves i past it. Returns false on an error; sets
// handled when the command produced the line's result itself.
bool CModem::ExecuteBasic(const std::string &body, size_t &i, bool &handled) {
    char c = Upper(body[i++]);
    switch (c) {
    case ' ':
        return true;
    case 'E':
        echo_ = Number(body, i, 0) != 0;
        return true;
    case 'V':
        verbose_ = Number(body, i, 0) != 0;
        return true;
    case 'Q':
        quiet_ = Number(body, i, 0) != 0;
        return true;
    case 'X':
    case 'L':
    case 'M':
    case 'B':
    case 'N':
    case 'W':
    case 'Y':
    case 'P':
    case 'T':
        Number(body, i, 0);
        return true;
    case 'Z':
        Number(body, i, 0);
        ResetProfile();
        return true;
    case '&': {
        if (i >= body.size() || !std::isalpha(static_cast<unsigned char>(body[i])))
            return false;
        char what = Upper(body[i++]);
        Number(body, i, 0);
        if (what == 'F')
            ResetProfile();
        return true;
    }
    case 'I': {
        int n = Number(body, i, 0);
        if (n == 0)
            Info(kProductName);
        else if (n == 1)
            Info(kProgramVersion);
        else if (n == 3)
            Info(kProductDescription);
        else
            return false;
        return true;
    }
    case 'S': {
        int reg = Number(body, i, -1);
        if (reg < 0 || reg >= kRegisterCount || i >= body.size())
            return false;
        if (body[i] == '?') {
            ++i;
            char text[8];
            std::snprintf(text, sizeof text, "%03d", s_[size_t(reg)]);
            Info(text);
            return true;
        }
        if (body[i] != '=')
            return false;
        ++i;
        int value = Number(body, i, -1);
        if (value < 0 || value > 255)
            return false;
        s_[size_t(reg)] = value;
        return true;
    }
    case 'H':
        if (Number(body, i, 0) == 0) {
            if (connected_)
                host_.Event("hangup");
            connected_ = offHook_ = ringing_ = false;
            s_[1] = 0;
        } else {
            offHook_ = true;
        }
        return true;
    case 'A':
        handled = true;
        Answer();
        return true;
    case 'D':
        handled = true;
        Dial(body.substr(i));
        i = body.size();
        return true;
    case 'O':
        Number(body, i, 0);
        handled = true;
        if (!connected_) {
            Result(EResult::NoCarrier);
        } else {
            Result(EResult::Connect, std::to_string(speed_));
            GoOnline(Clock::now());
        }
        return true;
    case '+': {
        size_t end = body.find(';', i);
        std::string command = body.substr(i, end == std::string::npos ? end : end - i);
        i = end == std::string::npos ? body.size() : end + 1;
        return ExecuteExtended(command, handled);
    }
    default:
        return false;
    }
}

bool CModem::ExecuteExtended(const std::string &command, bool &handled) {
    size_t n = 0;
    std::string name;
    while (n < command.size() && std::isalnum(static_cast<unsigned char>(command[n])))
        name += Upper(command[n++]);
    std::string rest = command.substr(n);
    bool query = rest == "?";
    bool range = rest == "=?";
    bool set = !rest.empty() && rest[0] == '=' && !range;
    std::string value = set ? rest.substr(1) : std::string();
    if (!rest.empty() && !query && !range && !set)
        return false;

    if (name == "FCLASS") {
        if (query)
            Info(fclassText_);
        else if (range)
            Info("0,1,2,2.0,8");
        else if (!set)
            return false;
        else if (value == "2.0")
            fclass_ = 2, fclassText_ = value;
        else if (value == "0" || value == "1" || value == "2" || value == "8")
            fclass_ = value[0] - '0', fclassText_ = value;
        else
            return false;
        return true;
    }
    if (name == "VSM") {
        if (query) {
            Info(std::to_string(vsm_));
            return true;
        }
        if (range) {
            Info("0-255");
            return true;
        }
        // Only the format number matters here; sample rate and the rest are ignored.
        int format = 0;
        if (!set || !ParseInt(value.substr(0, value.find(',')), 0, 255, format))
            return false;
        vsm_ = format;
        return true;
    }
    if (name == "VTX") {
        if (fclass_ != 8 || !rest.empty())
            return false;
        handled = true;
        StartTransfer(EState::VoiceRx);
        return true;
    }
    if (name == "FTM") {
        if (range) {
            Info("3,24,48,72,73,74,96,97,98,121,122,145,146");
            return true;
        }
        int modulation = 0;
        if (fclass_ != 1 || !set || !ParseInt(value, 0, 999, modulation) ||
            !kFaxModulations.count(modulation))
            return false;
        handled = true;
        StartTransfer(EState::FaxRx);
        return true;
    }
    if (name == "FDT") {
        if (fclass_ != 2)
            return false;
        handled = true;
        StartTransfer(EState::FaxRx);
        return true;
    }
    if (name == "GMI" || name == "FMI") {
        Info(kManufacturer);
        return true;
    }
    if (name == "GMM" || name == "FMM") {
        Info(kModel);
        return true;
    }
    if (name == "GMR" || name == "FMR") {
        Info(kRevision);
        return true;
    }
    return kIgnoredExtended.count(name) > 0;
}

void CModem::Dial(const std::string &dialString) {
    std::string number;
    bool stay = false;
    for (char c : dialString) {
        char u = Upper(c);
        if (std::isdigit(static_cast<unsigned char>(c)) || c == '*' || c == '#' ||
            (u >= 'A' && u <= 'D' && number.size() > 0))
            number += u;
        else if (c == ';')
            stay = true;
    }
    char last = number.empty() ? '0' : number.back();
    host_.Event("dial " + (number.empty() ? std::string("-") : number));
    switch (last) {
    case '6':
        Result(EResult::NoAnswer);
        return;
    case '7':
        Result(EResult::Busy);
        return;
    case '8':
        Result(EResult::NoCarrier);
        return;
    case '9':
        Result(EResult::NoDialtone);
        return;
    default:
        break;
    }
    offHook_ = true;
    if (stay || fclass_ != 0) {
        Result(EResult::Ok);
        return;
    }
    host_.Event("connect " + std::to_string(speed_));
    Result(EResult::Connect, std::to_string(speed_));
    GoOnline(Clock::now());
}

void CModem::Answer() {
    if (!ringing_) {
        Result(EResult::NoCarrier);
        return;
    }
    ringing_ = false;
    s_[1] = 0;
    offHook_ = true;
    if (fclass_ != 0) {
        Result(EResult::Ok);
        return;
    }
    host_.Event("connect " + std::to_string(speed_));
    Result(EResult::Connect, std::to_string(speed_));
    GoOnline(Clock::now());
}

} // namespace vmodem
