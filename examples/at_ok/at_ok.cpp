// at_ok: the smallest Falcrest client. Opens the port named on the command
// line, sends AT and waits for the modem's OK, printing what came.
//
//   at_ok PORT [TIMEOUT_MS [DCB]]
//
// PORT is a device path such as /dev/ttyUSB0, or COMn. DCB is the port's mode
// string; the default has no flow control.
//
// Exit status: 0 on OK, 1 on ERROR or no answer in time, 2 when the port
// cannot be opened or the command line is wrong.
#include <falcrest/Falcrest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

namespace {

std::mutex gLock;
std::condition_variable gArrived;
std::string gReceived;   // text the modem sent, DLE codes taken out
uint32_t gLastError = 0; // the last non-zero error word notified

// The library calls this from its worker threads, sometimes from two at once:
// the lock makes them take turns, which also keeps GetCommFeedback to one
// consumer at a time.
int OnNotify(uint32_t code, uint32_t error, uint32_t /*count*/) {
    std::lock_guard<std::mutex> guard(gLock);
    if (error)
        gLastError = error;
    if (code == FALCREST_NOTIFY_TXFAIL)
        std::fprintf(stderr, "at_ok: transmit failure %#x\n", unsigned(error));
    // Take everything that is waiting, a chunk at a time.
    for (;;) {
        char *text = nullptr;
        char *codes = nullptr;
        char raw[1000];
        uint32_t length = sizeof raw;
        int got = GetCommFeedback(&text, &codes, raw, &length);
        if (got && text)
            gReceived += text;
        // Both blocks belong to us whatever the result.
        Realloc(text, 0);
        Realloc(codes, 0);
        // length 0 after a 1: only a DLE held back for its partner is waiting.
        if (!got || length == 0)
            break;
    }
    gArrived.notify_all();
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "usage: at_ok PORT [TIMEOUT_MS [DCB]]\n");
        return 2;
    }
    long timeoutMs = argc >= 3 ? std::strtol(argv[2], nullptr, 10) : 3000;
    const char *dcb =
        argc >= 4 ? argv[3] : "baud=115200 dtr=on rts=on octs=off odsr=off idsr=off xon=off";

    int port = InitModem(reinterpret_cast<void *>(&OnNotify), argv[1], dcb);
    if (port <= 0) {
        std::fprintf(stderr, "at_ok: cannot open %s: %d\n", argv[1], port);
        ReleaseModem();
        return 2;
    }

    int sent = SendStringToModem("AT\r");
    bool ok = false;
    bool failed = sent < 0;
    if (!failed) {
        std::unique_lock<std::mutex> guard(gLock);
        auto answered = [&] {
            ok = gReceived.find("OK\r\n") != std::string::npos;
            failed = gReceived.find("ERROR\r\n") != std::string::npos;
            return ok || failed;
        };
        gArrived.wait_for(guard, std::chrono::milliseconds(timeoutMs), answered);
    }
    // Stops the worker threads: no callback runs after this returns.
    ReleaseModem();

    std::printf("%s", gReceived.c_str());
    if (ok) {
        std::printf("at_ok: OK from %s\n", argv[1]);
        return 0;
    }
    if (sent < 0)
        std::fprintf(stderr, "at_ok: send failed: %d\n", sent);
    else
        std::fprintf(stderr, "at_ok: %s (last error word %#x)\n",
                     failed ? "the modem answered ERROR" : "no OK in time", unsigned(gLastError));
    return 1;
}
