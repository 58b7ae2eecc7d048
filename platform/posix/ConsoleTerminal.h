// The terminal the program runs in, on POSIX: the keyboard's raw mode and the
// screen model's alternate screen, given back on every way out (exit,
// SIGTERM, SIGHUP) and while the program is stopped (SIGTSTP), taken again
// when it continues. A resize or a continue is reported through a pipe that
// the keyboard waits on beside its input.
#pragma once

#include <termios.h>

namespace plat::term {

// The keyboard's modes: saved is given back, raw is taken again after a stop.
void SetKeyboardModes(const termios &saved, const termios &raw);
// The keyboard gives its mode back itself (the modes are forgotten).
void RestoreKeyboardMode();
// Draws on fd's alternate screen from now on (once; fd is a terminal).
void EnterAlternateScreen(int fd);
// The main screen again, the cursor visible and the terminal's wrap on.
void LeaveAlternateScreen();
// Handlers for SIGTERM, SIGHUP, SIGTSTP, SIGCONT and SIGWINCH (once).
void InstallSignalHandlers();

// The read end of the wake-up pipe, -1 if there is none.
int WakeFd();
// Writes to the pipe (from a signal handler too).
void Wake();
// True once after the terminal was resized or given back.
bool TakeTerminalChanged();

} // namespace plat::term
