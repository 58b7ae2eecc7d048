// Quenby: an interactive terminal over Falcrest. Every key typed goes to the
// modem; whatever the modem answers is printed, optionally through the VT100
// emulator.
#include "Quenby.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "FBObserver.h"
#include "Tamsel.h"
#include "VT100.h"
#include "falcrest/Falcrest.h"
#include "platform/Keyboard.h"
#include "platform/Options.h"

namespace {

const char *const kDefaultDcb = "baud=115200 dtr=on rts=on octs=off odsr=off idsr=off xon=off";
constexpr size_t kDcbCapacity = 256;
// Windows-style port names are cut to this length; device paths are not.
constexpr size_t kMaxPortName = 29;
constexpr uint32_t kObserverCapacity = 10000;
constexpr uint32_t kFeedbackChunk = 1000;
constexpr size_t kPortNameCapacity = 1024;

const char *const kUsage[] = {
    "Usage: Quenby [options] <comport_number|comport_name>",
    "\tOptions are:",
    "\t-c\"port DCB string\"",
    "\t port DCB defaults to \"baud=115200 dtr=on rts=on octs=off odsr=off idsr=off xon=off\"",
    "\t-v - turn on vt100 terminal emulation",
    "Press Enter..",
};

// The callback runs on several library threads; the feedback queue has one
// consumer at a time and the emulator is single-threaded, so one callback runs
// at a time. PortConnect takes it too when it replaces the observer.
std::mutex gCallbackLock;
// The emulator is single-threaded: the program's own messages and the
// callback's output take turns.
std::mutex gPrintLock;

// Received text is data, never a format.
void PrintReceived(const char *text) {
    if (bVT100_mode) {
        std::lock_guard<std::mutex> guard(gPrintLock);
        vtProcessedTextOut(text, int(std::strlen(text)));
    } else {
        x_printf("%s", text);
    }
}

// One GetCommFeedback call; false when nothing more is waiting.
bool DeliverOneChunk() {
    char *text = nullptr;
    char *codes = nullptr;
    char raw[kFeedbackChunk];
    uint32_t length = kFeedbackChunk;
    bool more = false;
    if (GetCommFeedback(&text, &codes, raw, &length)) {
        if (text)
            PrintReceived(text);
        if (pObserver)
            pObserver->AppendFeedbackChunk(text, codes);
        // A lone DLE held back for its partner yields nothing: stop there.
        more = length > 0 || (codes && *codes);
    }
    Realloc(text, 0);
    Realloc(codes, 0);
    return more;
}

// A port that fails (its device gone, a line error) is reported once; the
// report comes again only after data has arrived in between, so a dead port
// retried by the library does not fill the screen.
bool gPortErrorShown = false;

void ReportPortError(uint32_t error) {
    if (error == 0 || gPortErrorShown)
        return;
    gPortErrorShown = true;
    x_printf("\nPort error: %u(%08x)\n", unsigned(error), unsigned(error));
}

void PrintUsageAndWait() {
    for (const char *line : kUsage)
        std::printf("%s\n", line);
    std::fflush(stdout);
    std::getchar();
}

void SetPortName(const char *argument) {
    if (std::strlen(argument) == 1) {
        std::snprintf(gszPortName, 32, "COM%u:", unsigned(std::atoi(argument)));
        return;
    }
    size_t limit = std::strchr(argument, '/') ? kPortNameCapacity - 1 : kMaxPortName;
    std::strncpy(gszPortName, argument, limit);
    gszPortName[limit] = 0;
}

// Every key goes to the modem as its byte: Enter is CR, which ends a command
// line, Ctrl+J a line feed.
void KeyLoop(plat::RawKeyboard &keyboard) {
    for (;;) {
        const int key = keyboard.GetKey();
        if (key == -1)
            break;
        if (key == plat::kTerminalChanged) {
            if (bVT100_mode) {
                std::lock_guard<std::mutex> guard(gPrintLock);
                vtRedraw();
            }
            continue;
        }
        char byte = char(key & 0xFF);
        SendDataToModem(&byte, 1);
    }
}

} // namespace

int bVT100_mode = 0;
CFeedbackObserver *pObserver = nullptr;
char gszPortName[kPortNameCapacity] = {0};
int bVoiceConnect = 0;
int iModemDevice = 0;

int x_printf(const char *format, ...) {
    std::lock_guard<std::mutex> guard(gPrintLock);
    va_list args;
    va_start(args, format);
    if (bVT100_mode) {
        vtvprintf(format, args);
    } else {
        std::vprintf(format, args);
        std::fflush(stdout);
    }
    va_end(args);
    return 0;
}

int FModemCallback(uint32_t, uint32_t error, uint32_t) {
    std::lock_guard<std::mutex> guard(gCallbackLock);
    ReportPortError(error);
    // Drain what is waiting, a chunk at a time: one notification per receive
    // pass must not leave a growing backlog behind a fast line.
    bool delivered = false;
    while (DeliverOneChunk())
        delivered = true;
    // Data that comes with the error arrived before it: not a sign of life.
    if (delivered && error == 0)
        gPortErrorShown = false;
    return 0;
}

int PortConnect(const char *dcb) {
    bool first = bVoiceConnect == 0;
    if (first) {
        iModemDevice = ReleaseModem();
    }
    if (first || iModemDevice <= 0) {
        iModemDevice = InitModem(reinterpret_cast<void *>(&FModemCallback), gszPortName, dcb);
        if (iModemDevice <= 0)
            return iModemDevice;
    }
    CFeedbackObserver *fresh = new CFeedbackObserver(kObserverCapacity);
    CFeedbackObserver *previous;
    {
        std::lock_guard<std::mutex> guard(gCallbackLock);
        previous = pObserver;
        pObserver = fresh;
    }
    delete previous;
    if (first) {
        bVoiceConnect = 1;
        return 0;
    }
    return 1;
}

int SendStringTimeout(const char *command, const char *expected, const char *failure, int timeout) {
    if (!command)
        return -1;
    uint32_t length = Strlen(command);
    char *line = static_cast<char *>(Realloc(nullptr, size_t(length) + 3));
    if (!line)
        return -1;
    int result = -1;
    try {
        std::memcpy(line, command, length);
        std::memcpy(line + length, "\r\n", 3);
        SendStringToModem(line);
        result = pObserver ? pObserver->WaitResponse(expected, failure,
                                                     uint32_t(timeout > 0 ? timeout : 0), nullptr)
                           : 0;
    } catch (...) {
        result = -1;
    }
    Realloc(line, 0);
    return result;
}

int SendString(const char *command, const char *expected) {
    return SendStringTimeout(command, expected, "ERROR", 100);
}

int VoicePause(int milliseconds) {
    if (pObserver)
        pObserver->WaitResponse("~~", nullptr, uint32_t(milliseconds > 0 ? milliseconds : 0),
                                nullptr);
    return 0;
}

int main(int argc, char **argv) {
    char dcb[kDcbCapacity];
    std::snprintf(dcb, sizeof dcb, "%s", kDefaultDcb);
    if (argc <= 1) {
        PrintUsageAndWait();
        return 0;
    }
    plat::Option option;
    while (plat::NextOption(argc, argv, "c:v", &option)) {
        if (option.letter == 'c') {
            std::snprintf(dcb, sizeof dcb, "%s", option.value);
        } else if (option.letter == 'v') {
            vtInitVT100();
            bVT100_mode = 1;
        } else {
            std::fprintf(stderr, "Unknown option: '%c'!\n", option.unknown);
        }
    }
    if (plat::FirstOperand() >= argc) {
        std::fprintf(stderr, "Mandatory argument missing: COM device name or number\n");
        return -1;
    }
    SetPortName(argv[plat::FirstOperand()]);
    iModemDevice = PortConnect(dcb);
    if (iModemDevice < 0) {
        // Plainly: with -v the emulator's screen would go with the program.
        std::printf("Connection failed: %i(%08x)\n", iModemDevice, unsigned(iModemDevice));
    } else {
        // Keys come raw from before the prompt: what is typed after it is
        // never taken by the terminal's line editing.
        plat::RawKeyboard keyboard;
        x_printf("Connected to %s. Press %s to quit.\n", gszPortName, plat::QuitKeyName());
        x_printf("Start typing commands>");
        KeyLoop(keyboard);
    }
    ReleaseModem();
    {
        std::lock_guard<std::mutex> guard(gCallbackLock);
        delete pObserver;
        pObserver = nullptr;
    }
    return iModemDevice;
}
