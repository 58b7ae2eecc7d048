// Idle waits for input on Windows: reads wait in the driver for their
// time-outs, so there is nothing to wait for here beforehand.
#include "platform/Serial.h"

namespace plat {

bool WaitForInput(PortHandle, uint32_t) { return true; }
void CancelInputWait(PortHandle) {}

} // namespace plat
