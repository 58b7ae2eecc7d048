// The life of a connection: opening and configuring the port, starting and
// stopping the worker threads, listing ports and reading the modem lines.
#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>

#include "EngineState.h"
#include "Workers.h"
#include "platform/Window.h"

namespace {

// Configuration the port gets on a first open, before the caller's string.
const char *const kInitialMode = "baud=19200 parity=n data=8 stop=1 odsr=on";

// Names that are not device paths may be this long. A longer one is refused,
// never cut: "\\.\COM100" cut to nine characters would open COM10.
constexpr size_t kMaxPortName = 9;

// The start and stop characters stay set while software flow control is off:
// Windows refuses a state whose two characters are equal.
constexpr char kXonChar = 17;  // DC1
constexpr char kXoffChar = 19; // DC3

// The receive and transmit events ("EvRead", "EvWrite") are private to the
// process: named events would be shared by every program using the library,
// which would then take each other's notifications. They live as long as the
// library, so a worker that outlived ReleaseModem's bounded wait never
// touches a destroyed event.
plat::Event gEvRead{false, false};
plat::Event gEvWrite{false, false};

// ---- The lifecycle lock -------------------------------------------------------
// InitModem, ReleaseModem and the pauses of the workers take turns under it:
// they start, pause, join and delete the workers and open and close the port.
// Recursive: a window procedure that InitModem's message pump runs may release
// the port on the same thread. Never destroyed: the unload guard releases the
// port during static destruction, in an order between files that nothing
// fixes.
std::recursive_mutex &LifecycleMutex() {
    static auto *lock = new std::recursive_mutex;
    return *lock;
}
// How deep the owning thread holds it.
int gLockDepth = 0;
// A release asked for inside a callback while another thread held the lock:
// that thread carries it out before it lets go.
std::atomic<bool> gReleasePending{false};
// Counts the ends of connections (changed under the lock): an open or a pause
// that finds it changed knows that a release came in between.
std::atomic<uint64_t> gConnection{0};

void EndConnection();

class LifecycleLock {
public:
    LifecycleLock() {
        LifecycleMutex().lock();
        ++gLockDepth;
    }
    explicit LifecycleLock(std::try_to_lock_t) : owned_(LifecycleMutex().try_lock()) {
        if (owned_)
            ++gLockDepth;
    }
    ~LifecycleLock() {
        if (owned_)
            Unlock();
    }
    LifecycleLock(const LifecycleLock &) = delete;
    LifecycleLock &operator=(const LifecycleLock &) = delete;

private:
    // The outermost holder carries out a pending release. One asked for just
    // as the lock goes (its asker's try failed while we still held it) is
    // found by looking again once the lock is free.
    static void Unlock() {
        for (;;) {
            const bool outermost = gLockDepth == 1;
            if (outermost && gReleasePending.exchange(false))
                EndConnection();
            --gLockDepth;
            LifecycleMutex().unlock();
            if (!outermost || !gReleasePending.load() || !LifecycleMutex().try_lock())
                return;
            ++gLockDepth;
        }
    }
    bool owned_ = true;
};

// Worker handles change under the lifecycle lock and, around the change
// itself, under this one, which SetReaderPriority takes instead: it may be
// called from a callback, whose worker a release may be waiting for.
std::mutex &HandleMutex() {
    static auto *lock = new std::mutex;
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

bool NameTooLong(const char *port) {
    return std::strchr(port, '/') == nullptr && std::strlen(port) > kMaxPortName;
}

bool QueuesTooSmall(const plat::CommProperties &props) {
    return !QueueSizeFits(props.dwCurrentRxQueue, iIQSize) ||
           !QueueSizeFits(props.dwCurrentTxQueue, iOQSize);
}

// Sizes the open port's queues and gives it the initial configuration.
// Returns 0 or the failure code.
int PreparePort(plat::PortHandle handle) {
    plat::CommProperties props;
    if (!plat::GetCommProperties(handle, props))
        return FALCREST_ERR_PORT;
    iIQSize = QueueSizeWanted(iIQSize, props.dwMaxRxQueue, props.dwCurrentRxQueue);
    iOQSize = QueueSizeWanted(iOQSize, props.dwMaxTxQueue, props.dwCurrentTxQueue);
    if (!QueueSizeFits(props.dwCurrentRxQueue, iIQSize) &&
        !plat::SetupComm(handle, iIQSize, iOQSize))
        return FALCREST_ERR_PORT;
    if (!plat::GetCommProperties(handle, props) || QueuesTooSmall(props))
        return FALCREST_ERR_PORT;
    iIQSize = QueueSizeTaken(iIQSize, props.dwCurrentRxQueue);
    iOQSize = QueueSizeTaken(iOQSize, props.dwCurrentTxQueue);

    ShortBreak(100);
    plat::Dcb dcb;
    plat::GetCommState(handle, dcb);
    if (!plat::BuildCommDcb(kInitialMode, dcb))
        return FALCREST_ERR_PORT;
    dcb.fBinary = 1;
    // Not the device's own characters: a device left without them would hand
    // over two equal ones.
    dcb.XonChar = kXonChar;
    dcb.XoffChar = kXoffChar;
    if (!plat::SetCommState(handle, dcb))
        return FALCREST_ERR_PORT;
    ShortBreak(100);
    return 0;
}

// Opens the port, sizes its queues and gives it the initial configuration.
// Returns 0 or the failure code; idComDev is set once the open succeeded.
int OpenAndPreparePort(const char *port) {
    iIQSize = 1024;
    iOQSize = 1024;
    if (!port)
        return FALCREST_ERR_ARG;
    if (NameTooLong(port))
        return FALCREST_ERR_PORT;
    plat::PortHandle handle = plat::OpenPort(port);
    if (handle == plat::kInvalidPort)
        return FALCREST_ERR_PORT;
    idComDev = handle;
    return PreparePort(handle);
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
    work.XonChar = kXonChar;
    work.XoffChar = kXoffChar;
    work.fOutX = 1;
    work.fInX = 0;
    if (has("xon=on")) {
        work.fOutX = 0;
        work.fInX = 1;
    } else if (has("xon=off")) {
        work.fOutX = 0;
        work.fInX = 0;
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

// Tells the workers to stop. A release that a callback asked for meanwhile
// wins over a start: bOperate is set before the check and cleared after the
// request, so one of the two sees the other.
bool StartAllowed() {
    ResetStopSignal();
    bOperate = 1;
    if (!gReleasePending.load())
        return true;
    bOperate = 0;
    RaiseStopSignal();
    return false;
}

// Starts each worker that does not run; returns how many it started.
int StartWorkers() {
    if (!StartAllowed())
        return 0;
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
        // Started (parked) before it is published: SetReaderPriority may
        // look at the handle from another thread at any time.
        auto *worker = new plat::Worker;
        const uint32_t id = worker->Start(slots[i].entry, nullptr, true);
        worker->SetWakeHook(slots[i].wake);
        {
            std::lock_guard<std::mutex> handles(HandleMutex());
            delete slots[i].handle; // a thread that outlived an earlier release
            slots[i].handle = worker;
        }
        slots[i].id = id;
        created[i] = worker;
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
    if (handle->Join(1000)) {
        std::lock_guard<std::mutex> handles(HandleMutex());
        delete handle;
        handle = nullptr;
        return;
    }
    // A worker still running after its bound keeps its handle and its id:
    // the next InitModem does not start a second one beside it. Its code
    // must stay: the library is never unloaded from under it.
    plat::PinLibrary();
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
    DiscardReceivedBytes();
    DiscardTransmitQueue();
}

// Lets a worker go whatever pauses it is under: a stopping worker must reach
// its end.
void LiftPauses(plat::Worker *worker) {
    if (worker)
        while (worker->Resume() > 1) {
        }
}

// Tells the workers to stop and lets them go from any pause.
void SignalStop() {
    bOperate = 0;
    RaiseStopSignal();
    LiftPauses(hThreadRead);
    LiftPauses(hThreadWrite);
}

// Closes the port and forgets the client. The target goes first: a worker
// still winding down then has nobody to report the closed port to.
void ClosePortAndForget() {
    gpCallback = nullptr;
    hWndIdle = nullptr;
    plat::PortHandle port = idComDev.exchange(plat::kInvalidPort);
    if (port != plat::kInvalidPort)
        plat::ClosePort(port);
    DiscardReceivedBytes();
    DiscardTransmitQueue();
    hEvWrite = nullptr;
    hEvRead = nullptr;
}

// Ends the connection without waiting for the workers; under the lock.
// Workers still running are joined by the next InitModem or ReleaseModem.
void EndConnection() {
    SignalStop();
    ++gConnection;
    ClosePortAndForget();
}

// ReleaseModem on one of the workers, that is from inside the client's
// callback. The thread cannot wait for itself, and waiting for the others
// could wait on a lock the client holds around this very call: the workers
// are told to stop and the port is closed; their ends are joined by the next
// InitModem or ReleaseModem on another thread. When another thread holds the
// lifecycle lock (an open, a release, a pause), that thread ends the
// connection before it lets go, and an open in progress then fails.
void ReleaseFromWorker() {
    gReleasePending = true;
    bOperate = 0;
    RaiseStopSignal();
    LifecycleLock lock(std::try_to_lock);
}

// Closes a port that a first open could not make ready: the next InitModem
// opens its own port instead of re-configuring this one.
void ForgetPort() {
    plat::PortHandle port = idComDev.exchange(plat::kInvalidPort);
    if (port != plat::kInvalidPort)
        plat::ClosePort(port);
}

// InitModem's work under the lifecycle lock: the port handle or the failure.
int OpenLocked(void *target, const char *port, const char *dcb) {
    StoreTarget(target);
    const bool firstOpen = !PortIsOpen();
    if (firstOpen) {
        ReapWorkers();
        int failure = OpenAndPreparePort(port);
        if (failure) {
            ForgetPort();
            return failure;
        }
    }
    uint64_t enteredBefore = EnteredCount();
    int started = 0;
    {
        PausedWorkers paused;
        int failure = Configure(dcb);
        if (failure) {
            if (firstOpen)
                ForgetPort();
            return failure;
        }
        hEvRead = &gEvRead;
        hEvWrite = &gEvWrite;
        started = StartWorkers();
    }
    LetWorkersRun(enteredBefore, started);
    return int(idComDev.load());
}

} // namespace

// COMMPROP: a maximum queue size of 0 means that the driver sets no maximum,
// a current size of 0 that it does not report one
// (https://learn.microsoft.com/en-us/windows/win32/api/winbase/ns-winbase-commprop).
// Taken as sizes they would leave the receive queue and the flow-control
// limits derived from it at 0.
uint32_t QueueSizeWanted(uint32_t wanted, uint32_t maximum, uint32_t current) {
    return maximum == 0 ? wanted : std::min(wanted, std::max(maximum, current));
}

bool QueueSizeFits(uint32_t current, uint32_t wanted) {
    return current == 0 || current >= wanted;
}

uint32_t QueueSizeTaken(uint32_t wanted, uint32_t current) {
    return current ? current : wanted;
}

COMException::COMException(plat::PortHandle port) : dwErrorMask(0), comStat(), dwLastError(0) {
    if (!plat::ClearCommError(port, &dwErrorMask, &comStat))
        dwLastError = plat::LastError();
}

plat::ComStat *COMException::GetCommStatus(plat::ComStat *status) const {
    if (status)
        *status = comStat;
    return status;
}

bool PortIsOpen() {
    return idComDev != plat::kInvalidPort;
}

PausedWorkers::PausedWorkers() {
    LifecycleLock lock;
    connection_ = gConnection;
    reader_ = dwThreadReadID ? hThreadRead : nullptr;
    writer_ = dwThreadWriteID ? hThreadWrite : nullptr;
    if (reader_)
        reader_->Suspend();
    if (writer_)
        writer_->Suspend();
    paused_ = true;
}

PausedWorkers::~PausedWorkers() {
    Resume();
}

void PausedWorkers::Resume() {
    if (!paused_)
        return;
    paused_ = false;
    LifecycleLock lock;
    if (gConnection != connection_)
        return; // a release has let them go already
    if (reader_ && reader_ == hThreadRead)
        reader_->Resume();
    if (writer_ && writer_ == hThreadWrite)
        writer_->Resume();
}

bool SetReaderPriority(plat::Worker::Priority priority) {
    std::lock_guard<std::mutex> handles(HandleMutex());
    return hThreadRead && hThreadRead->SetPriority(priority);
}

WorkerMark::WorkerMark() {
    tOnWorker = true;
    Entered &entered = WorkersEntered();
    {
        std::lock_guard<std::mutex> lock(entered.lock);
        ++entered.count;
    }
    entered.cv.notify_all();
}

WorkerMark::~WorkerMark() {
    tOnWorker = false;
}

bool OnWorkerThread() {
    return tOnWorker;
}

#if defined(_WIN32)
// Unloading the library with a port open runs under the system's loader
// lock, which a thread needs in order to end: the workers are told to stop
// and the port is closed, and we wait only (bounded) for each worker to
// leave the engine's code, never for its thread to end. The workers are left
// to the system; their handles go with the process.
void ReleaseOnUnload() {
    LifecycleLock lock;
    EndConnection();
    constexpr uint64_t kUnloadBoundMs = 2000; // for all the workers together
    const uint64_t deadline = plat::NowMs() + kUnloadBoundMs;
    for (plat::Worker *worker : {hThreadRead, hThreadWrite, hThreadFlow}) {
        uint64_t now = plat::NowMs();
        if (worker)
            worker->WaitLeft(uint32_t(now < deadline ? deadline - now : 0));
    }
    // A worker that has left our loops still runs our code on its way out
    // (the thread library's exit), and it cannot end before the loader lock
    // we hold is free: unmapping the library now would pull that code from
    // under it. So a library whose workers ran stays loaded.
    if (hThreadRead || hThreadWrite || hThreadFlow)
        plat::PinLibrary();
}
#endif

extern "C" FALCREST_API int InitModem(void *target, const char *port, const char *dcb) {
    try {
        uint64_t connection = 0;
        int result = 0;
        {
            LifecycleLock lock;
            connection = gConnection;
            result = OpenLocked(target, port, dcb);
        }
        // A release that came in meanwhile (from a callback of the workers
        // just started) wins: the port is closed again and stays closed.
        return result > 0 && gConnection != connection ? FALCREST_ERR_PORT : result;
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
        LifecycleLock lock;
        SignalStop();
        StopWorker(hThreadRead);
        StopWorker(hThreadWrite);
        StopWorker(hThreadFlow);
        EndConnection();
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
