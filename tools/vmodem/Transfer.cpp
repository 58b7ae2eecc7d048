// Fax pages, fax frames and voice playback coming from the DTE: unshielded,
// held in the transmit buffer, sent at the line rate, and reported once the
// line has taken the last byte.
#include "Modem.h"

#include "MhDecoder.h"

namespace vmodem {

namespace {

constexpr uint8_t kCan = 0x18;
constexpr uint8_t kDc4 = 0x14;
// How long a class 1 modem keeps sending NUL fill from an empty buffer.
constexpr auto kNulFillLimit = std::chrono::milliseconds(5000);

EDialect DialectFor(bool voice, bool postPage) {
    if (voice)
        return EDialect::Voice;
    return postPage ? EDialect::FaxPostPage : EDialect::Fax;
}

} // namespace

void CModem::StartTransfer(EKind kind, double bitsPerSecond) {
    state_ = EState::Transfer;
    kind_ = kind;
    unshielder_.emplace(DialectFor(kind == EKind::Voice, kind == EKind::Class2Page && Class20()));
    buffer_.Start(bitsPerSecond / 8 * clockScale_, now_);
    transfer_.clear();
    dropped_ = overrun_ = commands_ = ignored_ = holds_ = 0;
    started_ = xoffSent_ = false;
    lastSent_ = 0xFF;
    endCode_ = 0;
    nulFillSince_.reset();
}

size_t CModem::ReceiveTransfer(const uint8_t *data, size_t count) {
    size_t used = 0;
    while (used < count && state_ == EState::Transfer) {
        uint8_t control = 0;
        chunk_.clear();
        used += unshielder_->Feed(data + used, count - used, chunk_, control);
        if (!chunk_.empty()) {
            started_ = true;
            nulFillSince_.reset();
            overrun_ += buffer_.Push(chunk_.data(), chunk_.size());
        }
        if (control == kEtx || (kind_ == EKind::Class2Page && IsPostPageCode(control))) {
            endCode_ = control;
            state_ = EState::Draining;
        } else if (control != 0) {
            ActOnVoiceCommand(control);
        }
    }
    UpdateFlow();
    DrainLine();
    return used;
}

void CModem::ActOnVoiceCommand(uint8_t code) {
    ++commands_;
    switch (code) {
    case kCan:
        buffer_.Clear();
        break;
    case kDc4:
    case '!':
        buffer_.Clear();
        FinishTransfer(EResult::Ok, "stop");
        break;
    case 'p':
    case 'r':
        buffer_.Pause(code == 'p', now_);
        break;
    case 'u':
        ++volume_;
        break;
    case 'd':
        --volume_;
        break;
    default:
        break;
    }
}

void CModem::UpdateFlow() {
    if (!xoffSent_ && buffer_.Fill() >= CLineBuffer::kHighWater) {
        xoffSent_ = true;
        ++holds_;
        host_.SendToDte(std::string(1, char(kXoff)));
    } else if (xoffSent_ && buffer_.Fill() <= CLineBuffer::kLowWater) {
        xoffSent_ = false;
        host_.SendToDte(std::string(1, char(kXon)));
    }
}

void CModem::DrainLine(bool bytesInHand) {
    if (state_ != EState::Transfer && state_ != EState::Draining)
        return;
    size_t before = transfer_.size();
    buffer_.Drain(now_, transfer_);
    if (transfer_.size() > before)
        lastSent_ = transfer_.back();
    if (transfer_.size() > kMaxTransfer) {
        dropped_ += transfer_.size() - kMaxTransfer;
        transfer_.resize(kMaxTransfer);
    }
    UpdateFlow();
    if (buffer_.Fill() > 0 || buffer_.Paused())
        return;
    if (state_ == EState::Draining) {
        FinishTransfer();
    } else if (kind_ == EKind::Class1Page && started_ && !bytesInHand) {
        // The DTE let the buffer run dry: a class 1 modem ends the page at
        // once, unless the last byte was NUL fill, which it repeats a while.
        if (lastSent_ != 0)
            FinishTransfer(EResult::Ok, "underrun");
        else if (!nulFillSince_)
            nulFillSince_ = now_;
        else if (now_ - *nulFillSince_ >= Scaled(kNulFillLimit))
            FinishTransfer(EResult::Error, "underrun");
    }
}

void CModem::FinishTransfer(EResult result, const char *why) {
    if (xoffSent_)
        host_.SendToDte(std::string(1, char(kXon)));
    xoffSent_ = false;
    size_t stray = unshielder_->Stray();
    strayTotal_ += stray;
    overrunTotal_ += overrun_;
    commandsTotal_ += commands_;
    std::string_view bytes(reinterpret_cast<const char *>(transfer_.data()), transfer_.size());
    std::string tail = " bytes=" + std::to_string(transfer_.size()) +
                       " dropped=" + std::to_string(dropped_) + " stray=" + std::to_string(stray) +
                       " overrun=" + std::to_string(overrun_) + " holds=" + std::to_string(holds_) +
                       " ignored=" + std::to_string(ignored_) + (why ? std::string(" ") + why : "");
    switch (kind_) {
    case EKind::Class1Page:
    case EKind::Class2Page: {
        ++faxPages_;
        SFaxPage page = DecodeMhPage(transfer_.data(), transfer_.size());
        std::string g3 = host_.Keep("fax", "g3", bytes);
        std::string pbm = host_.Keep("fax", "pbm", PageToPbm(page));
        std::string resolution =
            kind_ == EKind::Class2Page ? (agreed_[0] ? " vr=fine" : " vr=normal") : "";
        host_.Event("fax file=" + pbm + " g3=" + g3 + " rows=" + std::to_string(page.rows.size()) +
                    " bad=" + std::to_string(page.bad.size()) + " rtc=" + (page.rtc ? "1" : "0") +
                    resolution + tail);
        for (const SBadLine &bad : page.bad)
            host_.Event("fax-bad line=" + std::to_string(bad.line) + " " + bad.reason);
        break;
    }
    case EKind::Class1Frames:
        host_.Event("frames" + tail);
        break;
    case EKind::Voice: {
        ++voiceFiles_;
        std::string file = host_.Keep("voice", "raw", bytes);
        host_.Event("voice file=" + file + " format=" + std::to_string(vsm_) +
                    " commands=" + std::to_string(commands_) + tail);
        break;
    }
    }
    unshielder_.reset();
    buffer_.Clear();
    transfer_.clear();
    transfer_.shrink_to_fit();
    nulFillSince_.reset();
    EnterCommandState();
    if (kind_ == EKind::Class2Page && IsPostPageCode(endCode_))
        ReportPostPage();
    else
        Result(result);
}

// Class 2.0: the page ended with DLE and its post-page message; the far
// machine confirms the page, and after the last one the session ends.
void CModem::ReportPostPage() {
    ++sessionPages_;
    Info("+FPS:1");
    if (endCode_ == '.') {
        Info("+FHS:0");
        OnHook();
    }
    Result(EResult::Ok);
}

} // namespace vmodem
