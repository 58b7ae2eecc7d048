// The life of a connection: opening and configuring the port, starting and
// stopping the worker threads, listing ports and reading the modem lines.
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>

#include "Engine.h"
#include "Workers.h"
#include "platform/Window.h"

namespace {

// Configuration the port gets on a first open, before the caller's string.
const char *const kInitialMode = "baud=19200 parity=n data=8 stop=1 odsr=on";

// Windows-style names are cut to this many characters; device paths are not.
constexpr size_t kMaxPortName = 9;

// The receive and transmit events ("EvRead", "EvWrite") are private to the
// process: named events would be shared by every program using the library,
// which would then take each other's notifications. They live as long as the
// library, so a worker that outlived ReleaseModem's bounded wait never
// touches a destroyed event.
plat::Event gEvRead{false, false};
plat::Event gEvWrite{false, false};

// InitModem and ReleaseModem take turns: they start, join and delete the
// workers and open and close the port. Recursive: a window procedure that
// InitModem's message pump runs may release the port on the same thread.
// Never destroyed: the unload guard releases the port during static
// destruction, in an order between files that nothing fixes.
std::recursive_mutex &Lifecycle() {
    static auto *lock = new std::recursive_mutex;
    return *lock;
}

// Set on the engine's worker threads for their whole life.
thread_local bool tOnWorker = false;

// Counts workers that have entered their loop, so that InitModem can return
// once the ones it started run. Never destroyed, as above.
struct Entered {
    std::mutex lock;
    std::condition_variable cv;
    uint64_t count = 0;
};
Entered &WorkersEntered() {
    static auto *entered = new Entered;
    return *entered;
}
// The longest InitModem waits for its new workers to run.
constexpr uint32_t kWorkerStartBoundMs = 10;

uint64_t EnteredCount() {
    std::lock_guard<std::mutex> lock(WorkersEntered().lock);
    return WorkersEntered().count;
}

void StoreTarget(void *target) {
    if (plat::IsWindow(target)) {
        hWndIdle = target;
        gpCallback = nullptr;
    } else {
        hWndIdle = nullptr;
        gpCallback = reinterpret_cast<FalcrestCallback>(target);
    }
}

std::string PortNameToOpen(const char *port) {
    std::string name(port);
    if (name.find('/') == std::string::npos && name.size() > kMaxPortName)
        name.resize(kMaxPortName);
    return name;
}

bool QueuesTooSmall(const plat::CommProperties &props) {
    return props.dwCurrentRxQueue < iIQSize || props.dwCurrentTxQueue < iOQSize;
}

// Opens the port, sizes its queues and gives it the initial configuration.
// Returns 0 or the failure code; idComDev stays set once the open succeeded.
int OpenAndPreparePort(const char *port) {
    iIQSize = 1024;
    iOQSize = 1024;
    if (!port)
        return FALCREST_ERR_ARG;
    plat::PortHandle handle = plat::OpenPort(PortNameToOpen(port).c_str());
    if (handle == plat::kInvalidPort)
        return FALCREST_ERR_PORT;
    idComDev = handle;

    plat::CommProperties props;
    if (!plat::GetCommProperties(handle, props))
        return FALCREST_ERR_PORT;
    uint32_t maxRx = std::max(props.dwMaxRxQueue, props.dwCurrentRxQueue);
    uint32_t maxTx = std::max(props.dwMaxTxQueue, props.dwCurrentTxQueue);
    iIQSize = std::min(iIQSize, maxRx);
    iOQSize = std::min(iOQSize, maxTx);
    if (props.dwCurrentRxQueue < iIQSize && !plat::SetupComm(handle, iIQSize, iOQSize))
        return FALCREST_ERR_PORT;
    if (!plat::GetCommProperties(handle, props) || QueuesTooSmall(props))
        return FALCREST_ERR_PORT;
    iIQSize = props.dwCurrentRxQueue;
    iOQSize = props.dwCurrentTxQueue;

    ShortBreak(100);
    plat::Dcb dcb;
    plat::GetCommState(handle, dcb);
    if (!plat::BuildCommDcb(kInitialMode, dcb))
        return FALCREST_ERR_PORT;
    dcb.fBinary = 1;
    if (!plat::SetCommState(handle, dcb))
        return FALCREST_ERR_PORT;
    ShortBreak(100);
    return 0;
}

// The working state: the port's current state with the caller's baud rate
// and handshake keys; parity is always off, data and stop bits stay.
void DeriveWorkingDcb(plat::Dcb &work, const plat::Dcb &parsed, const std::string &lower) {
    auto has = [&](const char *key) { return lower.find(key) != std::string::npos; };
    work.BaudRate = parsed.BaudRate;
    work.fBinary = 1;
    work.fTXContinueOnXoff = 0;
    work.Parity = plat::kNoParity;
    work.XonLim = uint16_t(iIQSize / 8);
    work.XoffLim = uint16_t(iIQSize / 2);
    work.XonChar = 17;
    work.XoffChar = 19;
    work.fOutX = 1;
    work.fInX = 0;
    if (has("xon=on")) {
        work.fOutX = 0;
        work.fInX = 1;
    } else if (has("xon=off")) {
        work.fOutX = 0;
        work.fInX = 0;
        work.XonChar = 0;
        work.XoffChar = 0;
    }
    work.fRtsControl = has("rts=") ? parsed.fRtsControl : plat::kRtsControlEnable;
    work.fOutxCtsFlow = has("octs=") ? parsed.fOutxCtsFlow : 1;
    work.fDtrControl = has("dtr=") ? parsed.fDtrControl : plat::kDtrControlEnable;
    work.fOutxDsrFlow = has("odsr=") ? parsed.fOutxDsrFlow : 1;
    if (has("idsr="))
        work.fDsrSensitivity = parsed.fDsrSensitivity;
}

// Applies the caller's DCB string and time-outs to the open port.
int Configure(const char *dcbString) {
    if (!dcbString)
        return FALCREST_ERR_ARG;
    std::string copy;
    try {
        copy = dcbString;
    } catch (...) {
        return FALCREST_ERR_ARG;
    }
    plat::PortHandle port = idComDev;
    plat::Dcb parsed;
    plat::GetCommState(port, parsed);
    if (!plat::BuildCommDcb(copy.c_str(), parsed))
        return FALCREST_ERR_PORT;

    plat::CommTimeouts timeouts;
    timeouts.ReadIntervalTimeout = 5;
    timeouts.ReadTotalTimeoutMultiplier = 1;
    timeouts.ReadTotalTimeoutConstant = 3;
    timeouts.WriteTotalTimeoutMultiplier = 1;
    timeouts.WriteTotalTimeoutConstant = 1;
    plat::SetCommTimeouts(port, timeouts);

    plat::Dcb work;
    plat::GetCommState(port, work);
    for (char &c : copy)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    DeriveWorkingDcb(work, parsed, copy);
    if (!plat::SetCommState(port, work))
        return FALCREST_ERR_PORT;

    plat::GetCommState(port, work);
    plat::CommProperties props;
    if (!plat::GetCommProperties(port, props) || QueuesTooSmall(props))
        return FALCREST_ERR_PORT;
    plat::DisableStatusInsertion(port); // a failure here changes nothing we rely on
    return 0;
}

// Suspends the receive and transmit workers for a re-configuration and lets
// them go again on every way out.
class PausedWorkers {
public:
    PausedWorkers() {
        if (dwThreadReadID && hThreadRead)
            read_ = (hThreadRead->Suspend(), true);
        if (dwThreadWriteID && hThreadWrite)
            write_ = (hThreadWrite->Suspend(), true);
    }
    ~PausedWorkers() {
        if (read_ && hThreadRead)
            hThreadRead->Resume();
        if (write_ && hThreadWrite)
            hThreadWrite->Resume();
    }

private:
    bool read_ = false;
    bool write_ = false;
};

// Starts each worker that does not run; returns how many it started.
int StartWorkers() {
    bOperate = 1;
    ResetStopSignal();
    plat::Worker *created[3] = {nullptr, nullptr, nullptr};
    struct Slot {
        plat::Worker *&handle;
        std::atomic<uint32_t> &id;
        plat::Worker::Entry entry;
        void (*wake)(); // ends the worker's idle wait when it is to park
    } slots[3] = {{hThreadRead, dwThreadReadID, ThreadReadEntry, WakeReader},
                  {hThreadWrite, dwThreadWriteID, ThreadWriteEntry, WakeTransmitter},
                  {hThreadFlow, dwThreadFlow, ThreadFlowEntry, WakeFlow}};
    for (int i = 0; i < 3; ++i) {
        if (slots[i].id != 0)
            continue;
        delete slots[i].handle; // a thread that outlived an earlier release
        slots[i].handle = new plat::Worker;
        slots[i].id = slots[i].handle->Start(slots[i].entry, nullptr, true);
        slots[i].handle->SetWakeHook(slots[i].wake);
        created[i] = slots[i].handle;
    }
    plat::ClearCommError(idComDev, nullptr, nullptr);
    int started = 0;
    for (plat::Worker *w : created)
        if (w) {
            w->Resume();
            ++started;
        }
    return started;
}

// Gives a window client its pending messages, then waits (briefly) until the
// workers just started run, instead of pausing for a fixed time.
void LetWorkersRun(uint64_t enteredBefore, int started) {
    void *window = hWndIdle;
    plat::PumpMessages(plat::IsWindow(window) ? window : nullptr);
    Entered &entered = WorkersEntered();
    std::unique_lock<std::mutex> lock(entered.lock);
    entered.cv.wait_for(lock, std::chrono::milliseconds(kWorkerStartBoundMs),
                        [&] { return entered.count - enteredBefore >= uint64_t(started); });
}

void StopWorker(plat::Worker *&handle) {
    if (!handle)
        return;
    if (handle->Join(bProcessEnding ? 0 : 1000)) {
        delete handle;
        handle = nullptr;
    }
    // A worker still running after its bound keeps its handle and its id:
    // the next InitModem does not start a second one beside it.
}

// Workers left running by a release from inside a callback end on their own;
// a first open joins them before it starts new ones, so that an old worker
// clearing its id never hides a new one. What they queued while winding down
// belongs to the old connection and goes with them.
void ReapWorkers() {
    if (!hThreadRead && !hThreadWrite && !hThreadFlow)
        return;
    StopWorker(hThreadRead);
    StopWorker(hThreadWrite);
    StopWorker(hThreadFlow);
    szInQueue.Reset();
    szOutQueue.Reset();
}

// Closes the port and forgets the client. The target goes first: a worker
// still winding down then has nobody to report the closed port to.
void ClosePortAndForget() {
    gpCallback = nullptr;
    hWndIdle = nullptr;
    plat::PortHandle port = idComDev.exchange(plat::kInvalidPort);
    if (port != plat::kInvalidPort)
        plat::ClosePort(port);
    szInQueue.Reset();
    szOutQueue.Reset();
    hEvWrite = nullptr;
    hEvRead = nullptr;
}

// ReleaseModem on one of the workers, that is from inside the client's
// callback. The thread cannot wait for itself, and waiting for the others
// could wait on a lock the client holds around this very call: the workers
// are told to stop and the port is closed; their ends are joined by the next
// InitModem or ReleaseModem on another thread. When another thread is in
// the middle of an open or a release, that call finishes the job.
void ReleaseFromWorker() {
    bOperate = 0;
    RaiseStopSignal();
    std::unique_lock<std::recursive_mutex> lock(Lifecycle(), std::try_to_lock);
    if (lock.owns_lock())
        ClosePortAndForget();
}

} // namespace

COMException::COMException(plat::PortHandle port) : dwErrorMask(0), comStat(), dwLastError(0) {
    if (!plat::ClearCommError(port, &dwErrorMask, &comStat))
        dwLastError = plat::LastError();
}

plat::ComStat *COMException::GetCommStatus(plat::ComStat *status) const {
    if (status)
        *status = comStat;
    return status;
}

bool PortIsOpen() { return idComDev != plat::kInvalidPort; }

WorkerMark::WorkerMark() {
    tOnWorker = true;
    Entered &entered = WorkersEntered();
    {
        std::lock_guard<std::mutex> lock(entered.lock);
        ++entered.count;
    }
    entered.cv.notify_all();
}

WorkerMark::~WorkerMark() { tOnWorker = false; }

bool OnWorkerThread() { return tOnWorker; }

extern "C" FALCREST_API int InitModem(void *target, const char *port, const char *dcb) {
    try {
        std::lock_guard<std::recursive_mutex> lock(Lifecycle());
        StoreTarget(target);
        if (!PortIsOpen()) {
            ReapWorkers();
            int failure = OpenAndPreparePort(port);
            if (failure)
                return failure;
        }
        uint64_t enteredBefore = EnteredCount();
        int started = 0;
        {
            PausedWorkers paused;
            int failure = Configure(dcb);
            if (failure)
                return failure;
            hEvRead = &gEvRead;
            hEvWrite = &gEvWrite;
            started = StartWorkers();
        }
        LetWorkersRun(enteredBefore, started);
        return int(idComDev.load());
    } catch (...) {
        return FALCREST_ERR_ARG;
    }
}

extern "C" FALCREST_API int ReleaseModem(void) {
    try {
        if (OnWorkerThread()) {
            ReleaseFromWorker();
            return 0;
        }
        // The workers are joined through their stop signal and the port is
        // closed before this returns: there is nothing left to pause for.
        std::lock_guard<std::recursive_mutex> lock(Lifecycle());
        bOperate = 0;
        RaiseStopSignal();
        StopWorker(hThreadRead);
        StopWorker(hThreadWrite);
        StopWorker(hThreadFlow);
        ClosePortAndForget();
    } catch (...) {
    }
    return 0;
}

extern "C" FALCREST_API int EnumComPorts(char **list) {
    try {
        SetStr(nullptr, list, 0);
        std::string found;
        for (const std::string &name : plat::EnumPorts()) {
            std::string entry = name;
            if (entry.find('/') == std::string::npos) {
                entry = entry.substr(0, entry.find(':'));
                if (Strncmp(entry.c_str(), "COM", 3) != 0)
                    continue;
            }
            if (!found.empty())
                found += ',';
            found += entry;
        }
        SetStr(found.c_str(), list, 0);
        return found.empty() ? 0 : 1;
    } catch (...) {
        return 0;
    }
}

extern "C" FALCREST_API int GetCommStatus(uint32_t *status) {
    if (!status)
        return 0;
    *status = 0;
    if (!PortIsOpen())
        return 0;
    return plat::GetCommModemStatus(idComDev, status) ? 1 : 0;
}
