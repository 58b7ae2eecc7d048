// Quenby's program-wide state and its command functions.
#pragma once

#include <cstdint>

class CFeedbackObserver;

extern int bVT100_mode;
extern CFeedbackObserver *pObserver;
extern char gszPortName[]; // 32 characters for Windows names; device paths are kept whole
extern int bVoiceConnect;
extern int iModemDevice;

int PortConnect(const char *dcb);
int FModemCallback(uint32_t message, uint32_t event, uint32_t count);
int x_printf(const char *format, ...);
// Sends command + CR LF and waits for one of the expected answers (or a
// failure answer) for up to timeout ms; the observer's code, or -1.
int SendStringTimeout(const char *command, const char *expected, const char *failure,
                      int timeout);
int SendString(const char *command, const char *expected);
int VoicePause(int milliseconds);
