// vmodem: a virtual Hayes data/fax/voice modem on a pseudo-terminal.
#include "App.h"
#include "Identity.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <exception>

namespace {

std::atomic<bool> gbStop{false};

void OnStopSignal(int) {
    gbStop = true;
}

} // namespace

int main(int argc, char **argv) {
    vmodem::SOptions options;
    try {
        options = vmodem::ParseOptions(argc, argv);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "vmodem: %s (try --help)\n", e.what());
        return 2;
    }
    if (options.help) {
        std::fputs(vmodem::HelpText(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("%s\n", vmodem::kProgramVersion);
        return 0;
    }
    std::signal(SIGPIPE, SIG_IGN);
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    try {
        vmodem::CApp app(options);
        // The control socket exists before the path is printed, so whoever
        // reads the path may connect at once.
        std::printf("%s\n", app.SlavePath().c_str());
        std::fflush(stdout);
        std::fprintf(stderr, "vmodem: %s on %s%s%s%s%s%s%s\n", vmodem::kProductName,
                     app.SlavePath().c_str(), options.link.empty() ? "" : ", link ",
                     options.link.c_str(), options.control.empty() ? "" : ", control ",
                     options.control.c_str(), options.store.empty() ? "" : ", store ",
                     options.store.c_str());
        app.Run(gbStop);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "vmodem: %s\n", e.what());
        return 1;
    }
    return 0;
}
