// Thread ids and priorities on Windows.
#include "../common/ThreadsNative.h"
#include "platform/Threads.h"

#include <windows.h>

#include "Win32Calls.h"

namespace plat {

uint64_t CurrentNativeThreadId() {
    return GetCurrentThreadId();
}

bool SetNativeThreadPriority(uint64_t nativeId, bool highest) {
    HANDLE thread = OpenThread(THREAD_SET_INFORMATION, FALSE, DWORD(nativeId));
    if (!thread)
        return false;
    BOOL ok = SetThreadPriority(thread, highest ? THREAD_PRIORITY_HIGHEST : THREAD_PRIORITY_NORMAL);
    CloseHandle(thread);
    return ok != FALSE;
}

void ThreadWaitUnderLoaderLock() {
#if defined(FALCREST_STRICT_WIN32)
    checked::ReportBrokenRule("a wait for a thread to end inside DllMain");
#endif
}

// GET_MODULE_HANDLE_EX_FLAG_PIN: the module stays loaded until the process
// ends, however often it is freed
// (https://learn.microsoft.com/en-us/windows/win32/api/libloaderapi/nf-libloaderapi-getmodulehandleexw).
void PinLibrary() {
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(&PinLibrary), &self);
}

} // namespace plat
