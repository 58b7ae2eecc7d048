// Window messages on POSIX: there are no windows, so no value is one, sending
// reaches nobody and there is nothing to pump. Notifications go to callbacks.
#include "platform/Window.h"

namespace plat {

bool IsWindow(void *) { return false; }

intptr_t SendMessage(void *, uint32_t, uintptr_t, intptr_t) { return 0; }

void PumpMessages(void *) {}

} // namespace plat
