// The modem's states and the bytes that move between them: command line
// assembly, the data state with its escape sequence, and the fax and voice
// transfers that end with DLE ETX.
#include "Modem.h"

#include "MhDecoder.h"

#include <algorithm>
#include <cctype>

namespace vmodem {

namespace {

constexpr size_t kMaxLine = 255;

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
    static const char *const names[] = {"command", "online", "fax", "voice"};
    return names[state];
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

CModem::CModem(IModemHost &host, const Registers &profile)
    : host_(host), profile_(profile), s_(profile) {}

void CModem::ResetProfile() {
    s_ = profile_;
    echo_ = verbose_ = true;
    quiet_ = false;
    fclass_ = 0;
    fclassText_ = "0";
    vsm_ = 1;
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
    if (verbose_)
        host_.SendToDte(Crlf() + text + Crlf());
    else
        host_.SendToDte(std::to_string(r->number) + char(s_[3]));
}

void CModem::Info(const std::string &text) {
    host_.SendToDte(verbose_ ? Crlf() + text + Crlf() : text + Crlf());
}

void CModem::Echo(const uint8_t *data, size_t count) {
    if (echo_ && count)
        host_.SendToDte(std::string_view(reinterpret_cast<const char *>(data), count));
}

void CModem::Receive(const uint8_t *data, size_t count, Clock::time_point now) {
    while (count > 0) {
        size_t used = 0;
        switch (state_) {
        case EState::Command:
            used = ReceiveCommand(data, count);
            break;
        case EState::Online:
            used = ReceiveOnline(data, count, now);
            break;
        case EState::FaxRx:
        case EState::VoiceRx:
            used = ReceiveTransfer(data, count);
            break;
        }
        data += used;
        count -= used;
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
    while (i < count) {
        uint8_t b = data[i];
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
            if (b == 'A' || b == 'a') {
                sawA_ = true;
            } else if (sawA_ && (b == 'T' || b == 't')) {
                inLine_ = true;
                sawA_ = false;
                overflow_ = false;
                line_.clear();
            } else if (sawA_ && b == '/') {
                sawA_ = false;
                flushEcho(i);
                ExecuteLine(lastLine_);
                return i;
            } else {
                sawA_ = false;
            }
            continue;
        }
        // Only S3 ends a command line, as on a V.250 modem; S5 edits it and
        // every other control character is ignored.
        if (b == uint8_t(s_[3])) {
            flushEcho(i);
            inLine_ = false;
            if (overflow_) {
                host_.Event("cmd AT" + line_ + "...");
                Result(EResult::Error);
            } else {
                lastLine_ = line_;
                ExecuteLine(line_);
            }
            return i;
        }
        if (b == uint8_t(s_[5]) || b == 0x7F) {
            if (!line_.empty())
                line_.pop_back();
        } else if (b >= 0x20) {
            if (line_.size() < kMaxLine)
                line_ += char(b);
            else
                overflow_ = true;
        }
    }
    flushEcho(i);
    return i;
}

void CModem::GoOnline(Clock::time_point now) {
    state_ = EState::Online;
    connected_ = offHook_ = true;
    escapeCount_ = 0;
    lastData_ = now;
    if (dataMode_ == EDataMode::Stream && !stream_.empty())
        host_.SendToDte(stream_);
}

size_t CModem::ReceiveOnline(const uint8_t *data, size_t count, Clock::time_point now) {
    const auto guard = std::chrono::milliseconds(20 * s_[12]);
    const int escape = s_[2];
    for (size_t i = 0; i < count; ++i) {
        if (data[i] == escape && escape < 128) {
            if (escapeCount_ == 0 ||
                (escapeCount_ < 3 && now - lastEscape_ >= guard && guard.count() > 0)) {
                // A first escape character needs the guard time of silence before it.
                escapeCount_ = (now - lastData_ >= guard) ? 1 : 0;
            } else if (escapeCount_ < 3) {
                ++escapeCount_;
            } else {
                escapeCount_ = 0;
            }
            lastEscape_ = now;
        } else {
            escapeCount_ = 0;
        }
        lastData_ = now;
    }
    if (dataMode_ == EDataMode::Echo)
        host_.SendToDte(std::string_view(reinterpret_cast<const char *>(data), count));
    return count;
}

void CModem::Tick(Clock::time_point now) {
    if (state_ == EState::Online && escapeCount_ == 3 &&
        now - lastEscape_ >= std::chrono::milliseconds(20 * s_[12])) {
        escapeCount_ = 0;
        state_ = EState::Command;
        sawA_ = inLine_ = false;
        host_.Event("escape");
        Result(EResult::Ok);
    }
}

std::optional<Clock::time_point> CModem::Deadline() const {
    if (state_ == EState::Online && escapeCount_ == 3)
        return lastEscape_ + std::chrono::milliseconds(20 * s_[12]);
    return std::nullopt;
}

void CModem::StartTransfer(EState state) {
    state_ = state;
    offHook_ = true;
    unshielder_.emplace(state == EState::VoiceRx ? ShieldForVoiceFormat(vsm_) : faxShield_);
    transfer_.clear();
    dropped_ = 0;
    Result(EResult::Connect);
}

size_t CModem::ReceiveTransfer(const uint8_t *data, size_t count) {
    size_t before = transfer_.size();
    size_t used = unshielder_->Feed(data, count, transfer_);
    if (transfer_.size() > kMaxTransfer) {
        size_t keep = std::max(before, kMaxTransfer);
        dropped_ += transfer_.size() - keep;
        transfer_.resize(keep);
    }
    if (unshielder_->Ended())
        FinishTransfer();
    return used;
}

void CModem::FinishTransfer() {
    std::string_view bytes(reinterpret_cast<const char *>(transfer_.data()), transfer_.size());
    std::string tail = " bytes=" + std::to_string(transfer_.size()) +
                       " dropped=" + std::to_string(dropped_) +
                       " stray=" + std::to_string(unshielder_->Stray());
    if (state_ == EState::FaxRx) {
        ++faxPages_;
        SFaxPage page = DecodeMhPage(transfer_.data(), transfer_.size());
        std::string g3 = host_.Keep("fax", "g3", bytes);
        std::string pbm = host_.Keep("fax", "pbm", PageToPbm(page));
        host_.Event("fax file=" + pbm + " g3=" + g3 + " rows=" + std::to_string(page.rows.size()) +
                    " bad=" + std::to_string(page.bad.size()) + " rtc=" + (page.rtc ? "1" : "0") +
                    tail);
        for (const SBadLine &bad : page.bad)
            host_.Event("fax-bad line=" + std::to_string(bad.line) + " " + bad.reason);
    } else {
        ++voiceFiles_;
        std::string file = host_.Keep("voice", "raw", bytes);
        host_.Event("voice file=" + file + " format=" + std::to_string(vsm_) +
                    " codes=" + std::to_string(unshielder_->Codes()) + tail);
    }
    unshielder_.reset();
    transfer_.clear();
    transfer_.shrink_to_fit();
    state_ = EState::Command;
    sawA_ = inLine_ = false;
    Result(EResult::Ok);
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

bool CModem::DropCarrier() {
    if (!connected_ && state_ == EState::Command)
        return false;
    if (state_ == EState::FaxRx || state_ == EState::VoiceRx) {
        unshielder_.reset();
        transfer_.clear();
    }
    state_ = EState::Command;
    connected_ = offHook_ = false;
    sawA_ = inLine_ = false;
    host_.Event("hangup");
    Result(EResult::NoCarrier);
    return true;
}

void CModem::SetDataMode(EDataMode mode, std::string stream) {
    dataMode_ = mode;
    stream_ = std::move(stream);
}

std::string CModem::Report() const {
    static const char *const modes[] = {"echo", "sink", "stream"};
    return std::string("state=") + StateName(int(state_)) +
           " connected=" + (connected_ ? "1" : "0") + " offhook=" + (offHook_ ? "1" : "0") +
           " echo=" + (echo_ ? "1" : "0") + " verbose=" + (verbose_ ? "1" : "0") +
           " quiet=" + (quiet_ ? "1" : "0") + " fclass=" + fclassText_ +
           " vsm=" + std::to_string(vsm_) + " speed=" + std::to_string(speed_) +
           " rings=" + std::to_string(s_[1]) + " mode=" + modes[int(dataMode_)] +
           " faxdle=" + (faxShield_ == EShield::Raw ? "raw" : "double") +
           " faxpages=" + std::to_string(faxPages_) + " voicefiles=" + std::to_string(voiceFiles_);
}

} // namespace vmodem
