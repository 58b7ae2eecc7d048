// What the portable thread code needs from each backend.
#pragma once

#include <cstdint>

namespace plat {

// The calling thread's system id (a Linux tid, a Win32 thread id); never 0.
uint64_t CurrentNativeThreadId();
// Normal or highest scheduling priority for the thread with that id.
bool SetNativeThreadPriority(uint64_t nativeId, bool highest);
// Called instead of a wait for a thread to end under the loader lock: the
// Windows test build reports the broken rule.
void ThreadWaitUnderLoaderLock();

} // namespace plat
