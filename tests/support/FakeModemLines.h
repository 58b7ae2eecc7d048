/* Modem lines for pseudo-terminals, which have none: a shared library that
 * takes over ioctl() for pty slaves and plays a modem's control lines, line
 * break, error counters and output queue. Link it into a test (or preload it
 * into a program with LD_PRELOAD) and steer the far end's lines from the
 * test. Every other ioctl goes to the C library unchanged. */
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

/* The lines the far end shows on the pty at path, as TIOCM_CTS, TIOCM_DSR,
 * TIOCM_CAR and TIOCM_RNG bits. A pty starts with CTS and DSR on. */
void FakeModemSetInputs(const char *path, int tiocm);
/* DTR and RTS as the port last set them (TIOCM_DTR, TIOCM_RTS); a pty starts
 * with both on. */
int FakeModemOutputs(const char *path);
/* 1 while the port holds the line in break. */
int FakeModemBreak(const char *path);
/* Adds to the error counters that TIOCGICOUNT reports. */
void FakeModemAddErrors(const char *path, int overrun, int parity, int frame, int brk,
                        int bufOverrun);
/* Bytes that TIOCOUTQ claims the driver still holds (a stalled line); 0
 * answers with the real queue again. */
void FakeModemSetOutQueue(const char *path, int bytes);
/* The line changes the port made, oldest first, comma separated: DTR+ DTR-
 * RTS+ RTS- BRK+ BRK-. Copies at most size-1 characters and a terminator;
 * returns the full length. */
int FakeModemEvents(const char *path, char *buffer, int size);
/* Forgets every pty's state. */
void FakeModemReset(void);

#ifdef __cplusplus
}
#endif
