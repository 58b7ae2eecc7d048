// The virtual modem itself: a Hayes command interpreter with S-registers and
// result codes, a data state with escape guard times, and the fax and voice
// receive states that take a DLE-ended stream from the DTE. It knows nothing
// of file descriptors: bytes come in through Receive, go out through the host.
#pragma once

#include "Unshield.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vmodem {

using Clock = std::chrono::steady_clock;

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

class CModem {
public:
    CModem(IModemHost &host, const Registers &profile);

    void Receive(const uint8_t *data, size_t count, Clock::time_point now);
    // Runs what is due by now (the escape's closing guard time).
    void Tick(Clock::time_point now);
    std::optional<Clock::time_point> Deadline() const;

    // Control side.
    bool Ring();        // false unless in command state
    bool DropCarrier(); // NO CARRIER; false when there was no connection
    void SetDataMode(EDataMode mode, std::string stream = {});
    void SetSpeed(int bps) { speed_ = bps; }
    void SetFaxShield(EShield shield) { faxShield_ = shield; }
    std::string Report() const;
    int Register(int n) const { return s_[size_t(n)]; }

    // Limit on what one fax page or voice transfer keeps in memory.
    static constexpr size_t kMaxTransfer = 64u << 20;

private:
    enum class EState { Command, Online, FaxRx, VoiceRx };

    size_t ReceiveCommand(const uint8_t *data, size_t count);
    size_t ReceiveOnline(const uint8_t *data, size_t count, Clock::time_point now);
    size_t ReceiveTransfer(const uint8_t *data, size_t count);
    void FinishTransfer();

    // Command interpretation (HayesCommands.cpp).
    void ExecuteLine(const std::string &body);
    bool ExecuteBasic(const std::string &body, size_t &i, bool &handled);
    bool ExecuteExtended(const std::string &command, bool &handled);
    void Dial(const std::string &dialString);
    void Answer();
    void GoOnline(Clock::time_point now);
    void StartTransfer(EState state);
    void ResetProfile();

    void Result(EResult result, const std::string &extra = {});
    void Info(const std::string &text);
    void Echo(const uint8_t *data, size_t count);
    std::string Crlf() const;

    IModemHost &host_;
    Registers profile_;
    Registers s_;
    bool echo_ = true, verbose_ = true, quiet_ = false;
    int speed_ = 33600;
    int fclass_ = 0;
    std::string fclassText_ = "0";
    int vsm_ = 1;
    EShield faxShield_ = EShield::Doubled;
    EDataMode dataMode_ = EDataMode::Echo;
    std::string stream_;

    EState state_ = EState::Command;
    bool connected_ = false; // a data connection is held (ATO may resume it)
    bool offHook_ = false;
    bool ringing_ = false;

    // Command line assembly.
    bool sawA_ = false, inLine_ = false, overflow_ = false, swallowNext_ = false;
    std::string line_, lastLine_;

    // Escape detection in the data state.
    Clock::time_point lastData_{}, lastEscape_{};
    int escapeCount_ = 0;

    // Transfer in progress.
    std::optional<CUnshielder> unshielder_;
    std::vector<uint8_t> transfer_;
    size_t dropped_ = 0;
    int faxPages_ = 0, voiceFiles_ = 0;
};

} // namespace vmodem
