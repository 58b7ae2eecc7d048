// Thread ids and priorities on Windows.
#include "../common/ThreadsNative.h"

#include <windows.h>

namespace plat {

uint64_t CurrentNativeThreadId() { return GetCurrentThreadId(); }

bool SetNativeThreadPriority(uint64_t nativeId, bool highest) {
    HANDLE thread = OpenThread(THREAD_SET_INFORMATION, FALSE, DWORD(nativeId));
    if (!thread)
        return false;
    BOOL ok = SetThreadPriority(thread, highest ? THREAD_PRIORITY_HIGHEST : THREAD_PRIORITY_NORMAL);
    CloseHandle(thread);
    return ok != FALSE;
}

} // namespace plat
