// The virtual modem itself: a Hayes command interpreter with S-registers and
// result codes, call set-up that takes its time, a data state with escape
// guard times, and the fax and voice transmit states that take a DLE-ended
// stream from the DTE into a buffer that drains at the line rate. It knows
// nothing of file descriptors: bytes come in through Receive, go out through
// the host.
#pragma once

#include "FaxSession.h"
#include "LineBuffer.h"
#include "Unshield.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vmodem {

// What the modem needs from its surroundings.
class IModemHost {
public:
    virtual ~IModemHost() = default;
    virtual void SendToDte(std::string_view bytes) = 0;
    virtual void Event(const std::string &line) = 0;
    // Keeps a received file (kind "fax", "voice"...); returns its path or "-".
    virtual std::string Keep(const std::string &kind, const std::string &extension,
                             std::string_view content) = 0;
};

constexpr int kRegisterCount = 100;
using Registers = std::array<int, kRegisterCount>;

// The registers as the modem starts, and as ATZ and AT&F restore them.
Registers DefaultRegisters();

enum class EDataMode { Echo, Sink, Stream };

enum class EResult { Ok, Connect, Ring, NoCarrier, Error, NoDialtone, Busy, NoAnswer };

constexpr uint8_t kXon = 0x11;
constexpr uint8_t kXoff = 0x13;

class CModem {
public:
    // clockScale > 1 makes every wait (call set-up, the line draining) that
    // many times shorter; the rules stay as they are.
    CModem(IModemHost &host, const Registers &profile, double clockScale = 1);

    void Receive(const uint8_t *data, size_t count, Clock::time_point now);
    // Runs what is due by now (guard times, call set-up, the line draining).
    void Tick(Clock::time_point now);
    std::optional<Clock::time_point> Deadline() const;
    // How many bytes the port may hand over now: none while the modem holds
    // a DTE that obeys XOFF, no more than the buffer takes before it does.
    size_t Acceptable(bool dteObeysXoff) const;

    // Control side.
    bool Ring();        // false unless in command state
    bool DropCarrier(); // NO CARRIER; false when there was no connection
    void SetDataMode(EDataMode mode, std::string stream = {});
    void SetSpeed(int bps) { speed_ = bps; }
    std::string Report() const;
    int Register(int n) const { return s_[size_t(n)]; }

    // Limit on what one fax page or voice transfer keeps in memory.
    static constexpr size_t kMaxTransfer = 64u << 20;
    // The longest command line body (after "AT", spaces not counted).
    static constexpr size_t kMaxLine = 56;

private:
    enum class EState { Command, Setup, Online, Transfer, Draining };
    enum class ECall { None, Data, Fax, Voice };
    enum class EKind { Class1Page, Class1Frames, Class2Page, Voice };

    size_t ReceiveCommand(const uint8_t *data, size_t count);
    size_t ReceiveSetup(const uint8_t *data, size_t count); // count >= 1
    size_t ReceiveOnline(const uint8_t *data, size_t count);
    void EndCommandLine();

    // Command interpretation (HayesCommands.cpp).
    void ExecuteLine(const std::string &body);
    bool ExecuteBasic(const std::string &body, size_t &i, bool &handled);
    bool ExecuteExtended(const std::string &command, bool &handled);
    bool ExecuteFaxSession(const std::string &name, const std::string &rest, bool &handled);
    void Dial(const std::string &dialString);
    void Answer();
    void StartCall(bool dialled);
    void CompleteCall();
    void GoOnline();
    void OnHook();
    void ResetProfile();
    bool Class20() const { return fclassText_ == "2.0"; }

    // Transfers (Transfer.cpp).
    void StartTransfer(EKind kind, double bitsPerSecond);
    size_t ReceiveTransfer(const uint8_t *data, size_t count);
    void ActOnVoiceCommand(uint8_t code);
    // Sends what the line rate allowed since the last call. bytesInHand: the
    // DTE's next bytes have arrived already, so a buffer that emptied while
    // vmodem was not scheduled did not run dry for the DTE.
    void DrainLine(bool bytesInHand = false);
    // Back to reading command lines, with no partial line or prefix pending.
    void EnterCommandState();
    void UpdateFlow();
    // Ends the transfer once the line has taken everything; why names an
    // early end in the event (underrun, stop).
    void FinishTransfer(EResult result = EResult::Ok, const char *why = nullptr);
    void ReportPostPage();

    void Result(EResult result, const std::string &extra = {});
    void Info(const std::string &text);
    void Echo(const uint8_t *data, size_t count);
    std::string Crlf() const;
    Clock::duration Scaled(std::chrono::milliseconds real) const;

    IModemHost &host_;
    Registers profile_;
    Registers s_;
    double clockScale_;
    Clock::time_point now_{};
    bool echo_ = true, verbose_ = true, quiet_ = false;
    int speed_ = 33600;
    std::string fclassText_ = "0";
    int vsm_ = 1;
    int sampleRate_ = 8000;
    EDataMode dataMode_ = EDataMode::Echo;
    std::string stream_;

    EState state_ = EState::Command;
    ECall call_ = ECall::None; // Data: ATO may resume the connection
    bool offHook_ = false;
    bool ringing_ = false;

    // Command line assembly.
    char sawA_ = 0; // the A or a that may start a command line
    bool inLine_ = false, inQuotes_ = false, overflow_ = false;
    bool swallowNext_ = false;
    std::string line_, lastLine_;
    bool resultGiven_ = false; // a final result went out during this block

    // Call set-up in progress (ATD, ATA).
    bool dialled_ = false, setupFresh_ = false;
    Clock::time_point setupDue_{};

    // Escape detection in the data state.
    Clock::time_point lastData_{}, lastEscape_{};
    int escapeCount_ = 0;

    // Class 2 and 2.0 session.
    FaxParams allowed_ = DefaultFaxParams();
    FaxParams current_ = DefaultFaxParams();
    FaxParams agreed_ = DefaultFaxParams();
    std::string localId_;
    int sessionPages_ = 0;

    // Transfer in progress.
    EKind kind_ = EKind::Voice;
    std::optional<CUnshielder> unshielder_;
    CLineBuffer buffer_;
    std::vector<uint8_t> chunk_;
    std::vector<uint8_t> transfer_; // what went out on the line
    size_t dropped_ = 0, overrun_ = 0, commands_ = 0, ignored_ = 0;
    size_t holds_ = 0; // XOFFs sent
    int volume_ = 0;
    bool started_ = false, xoffSent_ = false;
    uint8_t lastSent_ = 0xFF;
    uint8_t endCode_ = 0;
    std::optional<Clock::time_point> nulFillSince_;

    int faxPages_ = 0, voiceFiles_ = 0;
    size_t strayTotal_ = 0, overrunTotal_ = 0, commandsTotal_ = 0;
};

} // namespace vmodem
