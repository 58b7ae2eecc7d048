// The modem's states and the bytes that move between them: command line
// assembly, call set-up, and the data state with its escape sequence.
#include "Modem.h"

#include <algorithm>

namespace vmodem {

namespace {

constexpr auto kDialTime = std::chrono::milliseconds(2000);
constexpr auto kAnswerTime = std::chrono::milliseconds(1000);
constexpr uint8_t kLf = '\n';

struct SResultText {
    EResult result;
    const char *text;
    int number;
};

constexpr SResultText kResults[] = {
    {EResult::Ok, "OK", 0},       {EResult::Connect, "CONNECT", 1},
    {EResult::Ring, "RING", 2},   {EResult::NoCarrier, "NO CARRIER", 3},
    {EResult::Error, "ERROR", 4}, {EResult::NoDialtone, "NO DIALTONE", 6},
    {EResult::Busy, "BUSY", 7},   {EResult::NoAnswer, "NO ANSWER", 8},
};

const char *StateName(int state) {
    static const char *const names[] = {"command", "setup", "online", "transfer", "draining"};
    return names[state];
}

const char *CallName(int call) {
    static const char *const names[] = {"none", "data", "fax", "voice"};
    return names[call];
}

} // namespace

Registers DefaultRegisters() {
    Registers s{};
    s[2] = '+'; // escape character
    s[3] = '\r';
    s[4] = '\n';
    s[5] = '\b';
    s[6] = 2;   // wait for dial tone, seconds
    s[7] = 50;  // wait for carrier, seconds
    s[8] = 2;   // comma pause, seconds
    s[9] = 6;   // carrier detect, 1/10 s
    s[10] = 14; // carrier loss, 1/10 s
    s[11] = 95; // DTMF duration, ms
    s[12] = 50; // escape guard time, 1/50 s
    return s;
}

CModem::CModem(IModemHost &host, const Registers &profile, double clockScale)
    : host_(host), profile_(profile), s_(profile), clockScale_(std::max(clockScale, 1.0)) {}

Clock::duration CModem::Scaled(std::chrono::milliseconds real) const {
    return std::chrono::duration_cast<Clock::duration>(real / clockScale_);
}

void CModem::ResetProfile() {
    s_ = profile_;
    echo_ = verbose_ = true;
    quiet_ = false;
    fclassText_ = "0";
    vsm_ = 1;
    sampleRate_ = 8000;
    allowed_ = current_ = agreed_ = DefaultFaxParams();
    localId_.clear();
}

std::string CModem::Crlf() const {
    std::string t;
    t += char(s_[3]);
    t += char(s_[4]);
    return t;
}

void CModem::Result(EResult result, const std::string &extra) {
    const SResultText *r = std::find_if(std::begin(kResults), std::end(kResults),
                                        [&](const SResultText &t) { return t.result == result; });
    std::string text = r->text;
    if (!extra.empty())
        text += " " + extra;
    host_.Event("result " + text);
    if (quiet_)
        return;
    if (result != EResult::Connect && result != EResult::Ring)
        resultGiven_ = true;
    if (verbose_)
        host_.SendToDte(Crlf() + text + Crlf());
    else
        host_.SendToDte(std::to_string(r->number) + char(s_[3]));
}

void CModem::Info(const std::string &text) {
    host_.Event("info " + text);
    host_.SendToDte(verbose_ ? Crlf() + text + Crlf() : text + Crlf());
}

void CModem::Echo(const uint8_t *data, size_t count) {
    if (echo_ && count)
        host_.SendToDte(std::string_view(reinterpret_cast<const char *>(data), count));
}

void CModem::Receive(const uint8_t *data, size_t count, Clock::time_point now) {
    now_ = now;
    resultGiven_ = false;
    if (state_ == EState::Transfer || state_ == EState::Draining)
        DrainLine(count > 0);
    while (count > 0) {
        size_t used = 0;
        switch (state_) {
        case EState::Command:
            used = ReceiveCommand(data, count);
            break;
        case EState::Setup:
            used = ReceiveSetup(data, count);
            break;
        case EState::Online:
            used = ReceiveOnline(data, count);
            break;
        case EState::Transfer:
            used = ReceiveTransfer(data, count);
            break;
        case EState::Draining:
            // The DTE did not wait for the result of its transfer.
            ignored_ += count;
            used = count;
            break;
        }
        data += used;
        count -= used;
    }
}

void CModem::EndCommandLine() {
    inLine_ = inQuotes_ = false;
    if (overflow_) {
        host_.Event("cmd AT" + line_ + "...");
        Result(EResult::Error);
    } else {
        lastLine_ = line_;
        ExecuteLine(line_);
    }
}

// Takes bytes until a command line is complete and executed (which may change
// the state); returns the count consumed.
size_t CModem::ReceiveCommand(const uint8_t *data, size_t count) {
    size_t i = 0;
    size_t echoFrom = 0;
    auto flushEcho = [&](size_t upTo) {
        Echo(data + echoFrom, upTo - echoFrom);
        echoFrom = upTo;
    };
    // What came in the same block as the line before it was sent without
    // waiting for the result: a modem ignores characters within its guard
    // time after a result.
    if (resultGiven_)
        return count;
    while (i < count) {
        uint8_t b = data[i] & 0x7F; // only seven bits of a command character count
        // DLE pairs arriving in command state are the tail of a transfer
        // (the DTE repeats its end marker): swallow them without an echo.
        if (swallowNext_ || b == kDle) {
            flushEcho(i);
            swallowNext_ = !swallowNext_ && b == kDle;
            echoFrom = ++i;
            continue;
        }
        if (b == 0) {
            flushEcho(i);
            echoFrom = ++i;
            continue;
        }
        ++i;
        if (!inLine_) {
            // "AT" or "at" starts a line; "A/" or "a/" repeats the last one.
            char expectT = sawA_ == 'A' ? 'T' : 't';
            if (b == 'A' || b == 'a') {
                sawA_ = char(b);
            } else if (sawA_ && b == uint8_t(expectT)) {
                inLine_ = true;
                sawA_ = 0;
                overflow_ = inQuotes_ = false;
                line_.clear();
            } else if (sawA_ && b == '/') {
                sawA_ = 0;
                flushEcho(i);
                ExecuteLine(lastLine_);
                return i;
            } else {
                sawA_ = 0;
            }
            continue;
        }
        // Only S3 ends a command line, as on a V.250 modem; S5 edits it and
        // every other control character is ignored.
        if (b == uint8_t(s_[3])) {
            flushEcho(i);
            EndCommandLine();
            return i;
        }
        if (b == uint8_t(s_[5]) || b == 0x7F) {
            if (!line_.empty()) {
                inQuotes_ ^= line_.back() == '"';
                line_.pop_back();
            }
        } else if (b == ' ' && !inQuotes_) {
            // spaces outside quoted strings are not part of the command
        } else if (b >= 0x20) {
            if (line_.size() < kMaxLine)
                line_ += char(b);
            else
                overflow_ = true;
            inQuotes_ ^= b == '"';
        }
    }
    flushEcho(i);
    return i;
}

void CModem::StartCall(bool dialled) {
    offHook_ = true;
    dialled_ = dialled;
    state_ = EState::Setup;
    setupDue_ = now_ + Scaled(dialled ? kDialTime : kAnswerTime);
    setupFresh_ = true;
}

// Any character aborts a call being set up, except the LF of a CR LF that
// ended the command line.
size_t CModem::ReceiveSetup(const uint8_t *data, size_t) {
    if (setupFresh_ && data[0] == kLf) {
        setupFresh_ = false;
        return 1;
    }
    host_.Event("aborted");
    OnHook();
    state_ = EState::Command;
    Result(EResult::NoCarrier);
    return 1;
}

void CModem::GoOnline() {
    state_ = EState::Online;
    call_ = ECall::Data;
    offHook_ = true;
    escapeCount_ = 0;
    lastData_ = now_;
    if (dataMode_ == EDataMode::Stream && !stream_.empty())
        host_.SendToDte(stream_);
}

void CModem::OnHook() {
    if (call_ != ECall::None)
        host_.Event("hangup");
    offHook_ = ringing_ = false;
    call_ = ECall::None;
    sessionPages_ = 0;
    s_[1] = 0;
}

size_t CModem::ReceiveOnline(const uint8_t *data, size_t count) {
    const auto guard = std::chrono::milliseconds(20 * s_[12]);
    const int escape = s_[2];
    for (size_t i = 0; i < count; ++i) {
        if (data[i] == escape && escape < 128) {
            if (escapeCount_ == 0 ||
                (escapeCount_ < 3 && now_ - lastEscape_ >= guard && guard.count() > 0)) {
                // A first escape character needs the guard time of silence before it.
                escapeCount_ = (now_ - lastData_ >= guard) ? 1 : 0;
            } else if (escapeCount_ < 3) {
                ++escapeCount_;
            } else {
                escapeCount_ = 0;
            }
            lastEscape_ = now_;
        } else {
            escapeCount_ = 0;
        }
        lastData_ = now_;
    }
    if (dataMode_ == EDataMode::Echo)
        host_.SendToDte(std::string_view(reinterpret_cast<const char *>(data), count));
    return count;
}

void CModem::Tick(Clock::time_point now) {
    now_ = std::max(now_, now);
    switch (state_) {
    case EState::Online:
        if (escapeCount_ == 3 && now_ - lastEscape_ >= std::chrono::milliseconds(20 * s_[12])) {
            escapeCount_ = 0;
            EnterCommandState();
            host_.Event("escape");
            Result(EResult::Ok);
        }
        break;
    case EState::Setup:
        if (now_ >= setupDue_)
            CompleteCall();
        break;
    case EState::Transfer:
    case EState::Draining:
        DrainLine();
        break;
    case EState::Command:
        break;
    }
}

std::optional<Clock::time_point> CModem::Deadline() const {
    switch (state_) {
    case EState::Online:
        if (escapeCount_ == 3)
            return lastEscape_ + std::chrono::milliseconds(20 * s_[12]);
        return std::nullopt;
    case EState::Setup:
        return setupDue_;
    case EState::Transfer:
    case EState::Draining: {
        std::optional<Clock::time_point> due;
        auto consider = [&](std::optional<Clock::time_point> t) {
            if (t && (!due || *t < *due))
                due = t;
        };
        if (xoffSent_)
            consider(buffer_.WhenFillIs(CLineBuffer::kLowWater));
        bool watchEmpty = state_ == EState::Draining || (kind_ == EKind::Class1Page && started_);
        if (watchEmpty && buffer_.Fill() > 0)
            consider(buffer_.WhenFillIs(0));
        if (nulFillSince_)
            consider(*nulFillSince_ + Scaled(std::chrono::milliseconds(5000)));
        return due;
    }
    case EState::Command:
        return std::nullopt;
    }
    return std::nullopt;
}

size_t CModem::Acceptable(bool dteObeysXoff) const {
    constexpr size_t kAny = 1u << 20;
    if (state_ != EState::Transfer)
        return kAny;
    if (xoffSent_)
        return dteObeysXoff ? 0 : kAny;
    return buffer_.Room();
}

bool CModem::Ring() {
    if (state_ != EState::Command || offHook_)
        return false;
    ringing_ = true;
    s_[1] = std::min(s_[1] + 1, 255);
    Result(EResult::Ring);
    if (s_[0] > 0 && s_[1] >= s_[0])
        Answer();
    return true;
}

void CModem::EnterCommandState() {
    state_ = EState::Command;
    sawA_ = 0;
    inLine_ = false;
}

bool CModem::DropCarrier() {
    if (state_ == EState::Command && call_ == ECall::None)
        return false;
    if (state_ == EState::Transfer || state_ == EState::Draining) {
        unshielder_.reset();
        buffer_.Clear();
        transfer_.clear();
    }
    EnterCommandState();
    OnHook();
    Result(EResult::NoCarrier);
    return true;
}

void CModem::SetDataMode(EDataMode mode, std::string stream) {
    dataMode_ = mode;
    stream_ = std::move(stream);
}

std::string CModem::Report() const {
    static const char *const modes[] = {"echo", "sink", "stream"};
    return std::string("state=") + StateName(int(state_)) + " call=" + CallName(int(call_)) +
           " connected=" + (call_ == ECall::Data ? "1" : "0") +
           " offhook=" + (offHook_ ? "1" : "0") + " echo=" + (echo_ ? "1" : "0") +
           " verbose=" + (verbose_ ? "1" : "0") + " quiet=" + (quiet_ ? "1" : "0") +
           " fclass=" + fclassText_ + " vsm=" + std::to_string(vsm_) +
           " speed=" + std::to_string(speed_) + " rings=" + std::to_string(s_[1]) +
           " mode=" + modes[int(dataMode_)] + " fill=" + std::to_string(buffer_.Fill()) +
           " xoff=" + (xoffSent_ ? "1" : "0") + " stray=" + std::to_string(strayTotal_) +
           " overrun=" + std::to_string(overrunTotal_) +
           " commands=" + std::to_string(commandsTotal_) + " volume=" + std::to_string(volume_) +
           " faxpages=" + std::to_string(faxPages_) + " voicefiles=" + std::to_string(voiceFiles_);
}

} // namespace vmodem
