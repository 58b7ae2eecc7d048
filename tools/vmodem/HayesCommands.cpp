// Execution of one AT command line: basic commands (letters with an optional
// number), S-registers, and the extended +F/+V/+G commands of the fax and
// voice classes. Commands run left to right; the first failure ends the line
// with ERROR, and a command that changes the state ends it with its own result.
#include "Modem.h"

#include "Identity.h"

#include <algorithm>

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
    "VIT",  "VGT",   "VGR",    "VRA",   "VRN",  "VSD",  "VDR",  "VTD",     "VTS",  "VNH", "VEM",
    "VCID", "VIP",   "FTS",    "FRS",   "FCR",  "FBOR", "FBO",  "FAA",     "FPTS", "FIP", "FCQ",
    "FNR",  "FLO",   "FPHCTO", "FCT",   "FIE",  "FBU",  "FAP",  "FCTCRTY", "FPP",  "FMS", "FMINSP",
    "FRBC", "FVRFC", "FWDFC",  "FLNFC", "FREL", "FECM", "FSPL", "FPI",     "FLP",  "FLPL"};

const std::set<int> kFaxModulations = {24, 48, 72, 73, 74, 96, 97, 98, 121, 122, 145, 146};

const char kFaxParamRanges[] = "(0,1),(0-5),(0-4),(0-2),(0-3),(0-2),(0,1),(0-7)";

// The DIS frame of the far machine as a class 1 modem passes it on after a
// dial: address, control (final frame), DIS, its capabilities (receiver,
// V.27 ter and V.29, fine resolution, A4, any length, no scan time), FCS.
std::string FarMachineDisFrame() {
    const uint8_t frame[] = {0xFF, 0x13, 0x80, 0x00, 0x4E, 0x74};
    uint16_t crc = 0xFFFF;
    for (uint8_t b : frame) {
        crc ^= b;
        for (int k = 0; k < 8; ++k)
            crc = uint16_t(crc & 1 ? (crc >> 1) ^ 0x8408 : crc >> 1);
    }
    crc = uint16_t(~crc);
    std::string out(reinterpret_cast<const char *>(frame), sizeof frame);
    out += char(crc & 0xFF);
    out += char(crc >> 8);
    std::string shielded;
    for (char c : out) {
        shielded += c;
        if (uint8_t(c) == kDle)
            shielded += c;
    }
    return shielded + char(kDle) + char(kEtx);
}

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
        OnHook();
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
        int highest = reg >= 3 && reg <= 5 ? 127 : 255; // the line's own characters are 7-bit
        if (value < 0 || value > highest)
            return false;
        s_[size_t(reg)] = value;
        return true;
    }
    case 'H':
        if (Number(body, i, 0) == 0)
            OnHook();
        else
            offHook_ = true;
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
        if (call_ != ECall::Data) {
            Result(EResult::NoCarrier);
        } else {
            Result(EResult::Connect, std::to_string(speed_));
            GoOnline();
        }
        return true;
    case '+': {
        // A ';' inside a quoted string does not end the command.
        size_t end = i;
        bool quoted = false;
        while (end < body.size() && (quoted || body[end] != ';'))
            quoted ^= body[end++] == '"';
        if (end == body.size())
            end = std::string::npos;
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
        else if (value == "0" || value == "1" || value == "2" || value == "2.0" || value == "8")
            fclassText_ = value;
        else
            return false;
        return true;
    }
    if (name == "VSM") {
        if (query) {
            Info(std::to_string(vsm_) + "," + std::to_string(sampleRate_));
            return true;
        }
        if (range) {
            Info("0-255,4000-48000");
            return true;
        }
        // The format number decides nothing but the report; the sample rate
        // (one byte a sample) is the rate a playback drains at.
        size_t comma = value.find(',');
        int format = 0, rate = sampleRate_;
        if (!set || !ParseInt(value.substr(0, comma), 0, 255, format))
            return false;
        if (comma != std::string::npos) {
            std::string r = value.substr(comma + 1);
            r = r.substr(0, r.find(','));
            if (!r.empty() && !ParseInt(r, 4000, 48000, rate))
                return false;
        }
        vsm_ = format;
        sampleRate_ = rate;
        return true;
    }
    if (name == "VLS") {
        int line = 0;
        if (query) {
            Info(call_ == ECall::Voice ? "1" : "0");
            return true;
        }
        if (fclassText_ != "8" || !set || !ParseInt(value, 0, 9, line))
            return false;
        if (line == 0) {
            OnHook();
        } else {
            call_ = ECall::Voice;
            offHook_ = true;
        }
        return true;
    }
    if (name == "VTX") {
        if (fclassText_ != "8" || call_ != ECall::Voice || !rest.empty())
            return false;
        handled = true;
        Result(EResult::Connect);
        StartTransfer(EKind::Voice, sampleRate_ * 8.0);
        return true;
    }
    if (name == "FTM" || name == "FTH") {
        int modulation = 0;
        if (range) {
            Info(name == "FTH" ? "3" : "24,48,72,73,74,96,97,98,121,122,145,146");
            return true;
        }
        bool frames = name == "FTH";
        if (fclassText_ != "1" || call_ != ECall::Fax || !set ||
            !ParseInt(value, 0, 999, modulation) ||
            (frames ? modulation != 3 : !kFaxModulations.count(modulation)))
            return false;
        handled = true;
        Result(EResult::Connect);
        StartTransfer(frames ? EKind::Class1Frames : EKind::Class1Page, modulation * 100.0);
        return true;
    }
    if (name == "GMI" || name == "FMI" || name == "FMFR") {
        Info(kManufacturer);
        return true;
    }
    if (name == "GMM" || name == "FMM" || name == "FMDL") {
        Info(kModel);
        return true;
    }
    if (name == "GMR" || name == "FMR" || name == "FREV") {
        Info(kRevision);
        return true;
    }
    if (fclassText_[0] == '2')
        return ExecuteFaxSession(name, rest, handled);
    return kIgnoredExtended.count(name) > 0;
}

// The commands of a class 2 or 2.0 modem that runs the fax session itself.
// Class 2.0 names them shorter and reports with shorter names.
bool CModem::ExecuteFaxSession(const std::string &name, const std::string &rest, bool &handled) {
    const bool two0 = Class20();
    bool query = rest == "?";
    bool range = rest == "=?";
    bool set = !rest.empty() && rest[0] == '=' && !range;
    std::string value = set ? rest.substr(1) : std::string();

    if (name == (two0 ? "FCC" : "FDCC") || name == (two0 ? "FIS" : "FDIS")) {
        bool capabilities = name == "FCC" || name == "FDCC";
        FaxParams &params = capabilities ? allowed_ : current_;
        if (query)
            Info(FormatFaxParams(params));
        else if (range)
            Info(kFaxParamRanges);
        else if (!set || !ParseFaxParams(value, params))
            return false;
        else if (capabilities)
            current_ = allowed_;
        return true;
    }
    if (name == (two0 ? "FLI" : "FLID")) {
        if (query) {
            Info("\"" + localId_ + "\"");
            return true;
        }
        if (range) {
            Info("(20-7E),(20)");
            return true;
        }
        if (!set)
            return false;
        std::string id = value;
        if (id.size() >= 2 && id.front() == '"' && id.back() == '"')
            id = id.substr(1, id.size() - 2);
        if (id.size() > 20)
            return false;
        localId_ = id;
        return true;
    }
    if (name == "FDT") {
        if (call_ != ECall::Fax || !(rest.empty() || set))
            return false;
        handled = true;
        agreed_ = Negotiate(current_, FarMachineParams());
        Info((two0 ? "+FCS:" : "+FDCS:") + FormatFaxParams(agreed_));
        Result(EResult::Connect);
        host_.SendToDte(std::string(1, char(kXon)));
        StartTransfer(EKind::Class2Page, FaxBitRate(agreed_));
        return true;
    }
    if (name == "FET") {
        int message = 0;
        if (call_ != ECall::Fax || !set || !ParseInt(value, 0, 2, message))
            return false;
        ++sessionPages_;
        Info(two0 ? "+FPS:1" : "+FPTS:1");
        if (message == 2) {
            Info(two0 ? "+FHS:0" : "+FHNG:0");
            OnHook();
        }
        return true;
    }
    if (name == (two0 ? "FKS" : "FK")) {
        if (call_ == ECall::Fax) {
            Info(two0 ? "+FHS:2" : "+FHNG:2");
            OnHook();
        }
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
    if (stay) {
        offHook_ = true;
        Result(EResult::Ok);
        return;
    }
    StartCall(true);
}

void CModem::Answer() {
    if (!ringing_) {
        Result(EResult::NoCarrier);
        return;
    }
    ringing_ = false;
    s_[1] = 0;
    StartCall(false);
}

// The far end has answered (or the caller has been answered): each class
// reports the call its own way.
void CModem::CompleteCall() {
    state_ = EState::Command;
    const std::string &fclass = fclassText_;
    if (fclass == "0") {
        host_.Event("connect " + std::to_string(speed_));
        Result(EResult::Connect, std::to_string(speed_));
        GoOnline();
        return;
    }
    if (fclass == "8") {
        call_ = ECall::Voice;
        host_.Event("connect voice");
        Info("VCON");
        return;
    }
    call_ = ECall::Fax;
    host_.Event("connect fax");
    if (fclass == "1") {
        Result(EResult::Connect);
        if (dialled_) {
            // The implicit +FRH=3 of a dial: the far machine's DIS frame.
            host_.SendToDte(FarMachineDisFrame());
            Result(EResult::Ok);
        } else {
            // The implicit +FTH=3 of an answer: the DTE sends its frames.
            StartTransfer(EKind::Class1Frames, 300);
        }
        return;
    }
    Info(Class20() ? "+FCO" : "+FCON");
    if (dialled_)
        Info((Class20() ? "+FIS:" : "+FDIS:") + FormatFaxParams(FarMachineParams()));
    Result(EResult::Ok);
}

} // namespace vmodem
