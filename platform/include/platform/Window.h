// Window-message hooks. There are no windows on POSIX: IsWindow answers no,
// sending does nothing and pumping returns at once.
#pragma once

#include <cstdint>

namespace plat {

bool IsWindow(void *target);
intptr_t SendMessage(void *window, uint32_t message, uintptr_t wParam, intptr_t lParam);
// Removes, translates and dispatches the messages waiting for window (or, with
// null, for the calling thread).
void PumpMessages(void *window);

} // namespace plat
