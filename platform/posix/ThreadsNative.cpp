// Thread ids and priorities on POSIX (Linux: per-thread nice values).
#include "../common/ThreadsNative.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace plat {

uint64_t CurrentNativeThreadId() {
    return uint64_t(syscall(SYS_gettid));
}

bool SetNativeThreadPriority(uint64_t nativeId, bool highest) {
    // Raising a thread above normal needs the right to do so; without it the
    // call fails and the thread keeps its priority.
    return setpriority(PRIO_PROCESS, id_t(nativeId), highest ? -20 : 0) == 0;
}

// No loader lock, and a library's code is unmapped only by an explicit dlclose.
void ThreadWaitUnderLoaderLock() {}
void PinLibrary() {}

} // namespace plat
