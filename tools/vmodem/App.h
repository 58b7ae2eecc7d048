// The running program: the pseudo-terminal, the modem, the control channel
// and the store, tied together by one poll loop.
#pragma once

#include "Control.h"
#include "Modem.h"
#include "Options.h"
#include "Pty.h"
#include "Store.h"

#include <atomic>
#include <memory>
#include <string>

namespace vmodem {

class CApp : public IModemHost {
public:
    explicit CApp(const SOptions &options);
    const std::string &SlavePath() const { return pty_.SlavePath(); }
    // Runs until stop becomes true or the quit command arrives.
    void Run(const std::atomic<bool> &stop);

    // IModemHost
    void SendToDte(std::string_view bytes) override;
    void Event(const std::string &line) override;
    std::string Keep(const std::string &kind, const std::string &extension,
                     std::string_view content) override;

private:
    std::string Execute(const std::string &line);
    void ReadPort(size_t limit);
    void WritePort();

    SOptions options_;
    CPty pty_;
    CStore store_;
    std::unique_ptr<CControlServer> control_;
    CModem modem_;
    std::string out_;      // waiting to be written to the port
    std::string captured_; // read from the port since the last rxclear
    bool captureFull_ = false;
    unsigned long long rx_ = 0, tx_ = 0;
    bool stalled_ = false;
    bool quit_ = false;
};

} // namespace vmodem
