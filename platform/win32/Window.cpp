// Window messages on Win32: the window check, sending, and pumping the
// calling thread's queue.
#include "platform/Window.h"

#include <windows.h>
// winuser.h maps SendMessage to its ANSI or wide form; ours is another function.
#undef SendMessage

namespace plat {

bool IsWindow(void *target) {
    return target && ::IsWindow(static_cast<HWND>(target));
}

intptr_t SendMessage(void *window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return ::SendMessageA(static_cast<HWND>(window), message, wParam, lParam);
}

void PumpMessages(void *window) {
    MSG msg;
    while (PeekMessageA(&msg, static_cast<HWND>(window), 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

} // namespace plat
