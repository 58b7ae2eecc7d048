/**
 * @file Falcrest.h
 * Falcrest: one serial port and the modem on it.
 *
 * The public C interface of the library. Every export is a plain C function
 * with the platform's default calling convention, so the library can be
 * loaded by name from any language with a C foreign-function interface. The
 * header compiles as C and as C++.
 *
 * Calling convention. Every export and the notification callback
 * (FalcrestCallback) are cdecl: on 32-bit Windows the caller removes the
 * arguments from the stack, and the names are exported undecorated
 * ("InitModem", not "_InitModem@12"). A caller declaring them in another
 * language declares them cdecl (not stdcall/WINAPI); a callback declared
 * stdcall would unbalance the stack of the library's thread that calls it.
 *
 * Unloading. Call ReleaseModem() before unloading the library. On Windows,
 * unloading it with a port still open stops the workers and closes the port
 * without waiting for the threads themselves (the system forbids that while
 * it unloads a library), and at process exit the library does no clean-up at
 * all, since the system has ended its threads already. On POSIX unloading
 * and exit call ReleaseModem().
 *
 * One port per process: the library keeps its state in globals, and every
 * export acts on the port that InitModem() opened. Exports never throw and
 * never print; failures come back as result codes (FALCREST_ERR_*).
 *
 * Returned strings (GetCommFeedback(), EnumComPorts(), SoundizeNumberTXT())
 * are blocks of the support library Tamsel: the caller passes the address of
 * a pointer that holds null or such a block, the library grows or replaces
 * the block, and the caller owns it and releases it with Realloc(p, 0) or
 * Free(p). Both have C linkage and are declared below, so C callers need not
 * include Tamsel.h (a C++ header).
 *
 * Threads. InitModem() starts three workers: receive (reads the port into
 * the receive queue), transmit (writes the transmit queue to the port) and
 * flow (turns their events into notifications). The notification callback
 * runs on
 *   - the flow thread: data waiting (1124 with the bytes waiting) and
 *     "a transmit pass ran" (1124 with a count of 0);
 *   - the receive thread: a read or line error (1124 with its error word);
 *   - the transmit thread: a write failure (1126);
 *   - any thread of the caller that calls WaitEvent() itself.
 * The library takes no lock around the callback: two calls can overlap (the
 * flow thread and an error report), so a callback serialises its own work,
 * and GetCommFeedback(), which must have one consumer at a time, is called
 * under that lock. A callback may call ReleaseModem(), SetFeedbackType() and
 * the send and feedback exports, but not InitModem() or voice playback.
 * Every other export runs on the caller's thread.
 *
 * POSIX. The same code runs on POSIX through the library's platform layer:
 *   - there are no windows: every target of InitModem() is taken as a
 *     callback, so 1125 is never sent and WaitMSG()/WaitMSG2() only sleep;
 *   - port names: a name containing '/' is a device path used whole; `COMn`,
 *     `COMn:` and `\\.\COMn` name `/dev/ttyS<n-1>`; any other name is looked up
 *     under /dev. The open is exclusive: a port another program holds fails
 *     with FALCREST_ERR_PORT;
 *   - DSR output flow control has no termios equivalent: the setting is kept
 *     but transmission is not held on DSR. A pseudo-terminal keeps 8 data
 *     bits without parity and has no modem lines;
 *   - error words are the same Windows codes: line-error flags (0x01 receive
 *     queue overrun, 0x02 overrun, 0x04 parity, 0x08 framing, 0x10 break) or
 *     a system error number such as 8 (no memory) or 31 (the device has hung
 *     up);
 *   - there is no list of printer drivers: SetupRenderPort() asks for none.
 */
#ifndef FALCREST_FALCREST_H
#define FALCREST_FALCREST_H

#include <stddef.h>
#include <stdint.h>

/** @cond INTERNAL */
#if defined(_WIN32)
#if defined(FALCREST_BUILDING)
#define FALCREST_API __declspec(dllexport)
#else
#define FALCREST_API __declspec(dllimport)
#endif
#else
#define FALCREST_API __attribute__((visibility("default")))
#endif

#if defined(_WIN32)
#if defined(TAMSEL_BUILDING)
#define FALCREST_TAMSEL_API __declspec(dllexport)
#else
#define FALCREST_TAMSEL_API __declspec(dllimport)
#endif
#else
#define FALCREST_TAMSEL_API __attribute__((visibility("default")))
#endif
/** @endcond */

#ifdef __cplusplus
extern "C" {
#endif

/**
 * Tamsel's block allocator, for releasing what the library returns.
 * @param p null (allocate) or a block of Tamsel's.
 * @param n the new size in bytes; 0 releases p.
 * @return the block, or null when n is 0 or memory ran out (p is then
 *         still valid). Safe on any thread.
 */
FALCREST_TAMSEL_API void *Realloc(void *p, size_t n);
/**
 * Releases a block of Tamsel's.
 * @param p the block, or null. Safe on any thread.
 */
FALCREST_TAMSEL_API void Free(void *p);

/**
 * Notification callback, given to InitModem() as its target.
 * @param code  the notification code (FALCREST_NOTIFY_READ or
 *              FALCREST_NOTIFY_TXFAIL).
 * @param error the error word: 0, line-error flags or a system error code.
 * @param count the bytes waiting (1124), 0 for a transmit pass, or the
 *              status flags of a transmit failure (1126).
 * @return ignored by the library.
 * Called on the library's worker threads, possibly from more than one at a
 * time (see the file's description).
 */
typedef int (*FalcrestCallback)(uint32_t code, uint32_t error, uint32_t count);

/** The first private window-message number. */
#define FALCREST_WM_USER 1024
/** 1124: data waiting (count: the bytes waiting), a read error, or (to a
 *  callback) a transmit pass (count 0). */
#define FALCREST_NOTIFY_READ (FALCREST_WM_USER + 100)
/** 1125: data written, with the bytes written (windows only). */
#define FALCREST_NOTIFY_WRITTEN (FALCREST_WM_USER + 101)
/** 1126: a transmit failure, with the port's status flags (0x01 CTS hold,
 *  0x02 DSR hold, 0x04 carrier hold, 0x08 XOFF hold, 0x10 XOFF sent). */
#define FALCREST_NOTIFY_TXFAIL (FALCREST_WM_USER + 102)

/** The port cannot be opened or configured. */
#define FALCREST_ERR_PORT (-100)
/** A null argument, or no memory. */
#define FALCREST_ERR_ARG (-102)
/** No port is open. */
#define FALCREST_ERR_NOPORT (-107)
/** The modem stopped taking data (voice playback). */
#define FALCREST_ERR_STALL (-1)
/** AbortTransfer() without an open port. */
#define FALCREST_ABORT_NOPORT (-1)

/** DLE, the escape byte of the voice and fax data streams. */
#define FALCREST_DLE 0x10
/** ETX: DLE ETX ends a block of voice or fax data, both ways. */
#define FALCREST_ETX 0x03

/** File type flag: the source begins with a 19-byte block (ConvertFile()). */
#define FALCREST_TYPE_DROP19 0x8000u
/** File type flag: return once the data is queued (SendVoiceFileToModem()). */
#define FALCREST_TYPE_ASYNC 0x10000u

/* ---- Connection --------------------------------------------------------- */

/**
 * Opens and configures the port and starts the worker threads; called again
 * while the port is open, it keeps the port (same handle) and only applies
 * the new string.
 * @param target a window handle (Windows: notified with SendMessage) or a
 *        FalcrestCallback cast to void *. Stored on every call, even one that
 *        fails; the workers run only while it is set.
 * @param port the port's name. A name that is not a device path may have up
 *        to 9 characters (`\\.\COM10`); a longer one is refused.
 * @param dcb the mode string, in the Windows grammar ("baud=9600 xon=on ..."
 *        or "9600,n,8,1"). The library takes the baud rate from it and
 *        evaluates the handshake keys dtr= rts= octs= odsr= idsr= xon=
 *        itself (case-insensitive); a missing dtr=/rts= turns the line on, a
 *        missing octs=/odsr= turns that flow control on. Parity, data and
 *        stop bits in the string have no effect: the port runs 8 data bits,
 *        1 stop bit, no parity. The start and stop characters are always ^Q
 *        and ^S, also with xon=off.
 * @return the port handle as a positive int; FALCREST_ERR_ARG for a null
 *         port name (first open), a null string or no memory;
 *         FALCREST_ERR_PORT when the port cannot be opened, the name is too
 *         long, the string or the state is rejected, or a ReleaseModem() from
 *         a callback came in meanwhile (the release wins). A first open that
 *         fails leaves no port open; a failed re-configuration keeps the port
 *         until ReleaseModem().
 * Runs on the caller's thread; not from a callback.
 */
FALCREST_API int InitModem(void *target, const char *port, const char *dcb);

/**
 * Stops the workers (waiting up to 1 s for each), closes the port, empties
 * the receive and transmit queues and forgets the target. Safe at any time:
 * with nothing open, from several threads at once (the calls take turns with
 * each other and with InitModem()), and from inside a callback, where it
 * stops the workers and closes the port without waiting for its own thread
 * (the next InitModem() or ReleaseModem() from another thread joins them);
 * when another thread is inside InitModem() then, that open fails. Once it
 * returns no callback starts, unless a callback had been blocked for longer
 * than that bound. Unloading the library calls it.
 * @return 0.
 */
FALCREST_API int ReleaseModem(void);

/**
 * Lists the serial ports.
 * @param list address of a pointer (null or a Realloc block) that receives
 *        the ports as a comma-separated string ("COM1,COM3"; on POSIX the
 *        device paths of the serial devices present, "/dev/ttyS0,/dev/ttyUSB0").
 *        The caller frees it with Realloc(p, 0).
 * @return 1 when any was listed, else 0 with an empty string.
 * Runs on the caller's thread.
 */
FALCREST_API int EnumComPorts(char **list);

/**
 * Reads the modem lines.
 * @param status receives the lines (0x10 CTS, 0x20 DSR, 0x40 RING, 0x80
 *        carrier detect), 0 on failure.
 * @return 1; 0 when no port is open, the lines cannot be read or status is
 *         null. Runs on the caller's thread.
 */
FALCREST_API int GetCommStatus(uint32_t *status);

/* ---- Transmission ------------------------------------------------------- */

/**
 * Queues a string for the modem: waits (bounded) for the driver's pending
 * output, releases an XOFF hold, queues s without its terminator and opens
 * the transfer gate. The transmit thread writes the queue to the port in
 * chunks of up to 250 bytes while the gate is open. On a line that takes
 * nothing (flow control, a far end that does not read) nothing queued is
 * lost: after about 25 s of attempts the client hears 1126 once for the hold
 * (error word 15 when the port reports nothing), and the bytes go out when
 * the line frees. A chunk the port fails on (a device that has gone) is
 * reported with 1126 and dropped.
 * @param s the string.
 * @return the port's line-error flags (normally 0); FALCREST_ERR_NOPORT with
 *         no port or a null s; FALCREST_ERR_ARG when the queue has no memory.
 * Runs on the caller's thread.
 */
FALCREST_API int SendStringToModem(const char *s);

/**
 * Queues bytes for the modem and opens the transfer gate (see
 * SendStringToModem()), without waiting for the driver.
 * @param data the bytes.
 * @param length their count; 0 or less only opens the gate.
 * @return 0; FALCREST_ERR_NOPORT with no port or null data;
 *         FALCREST_ERR_ARG when the queue has no memory.
 * Runs on the caller's thread.
 */
FALCREST_API int SendDataToModem(const char *data, int length);

/**
 * Sends one byte at once, ahead of the queue and of what the driver holds.
 * @param c the byte, in its low 8 bits.
 * @return 0, a system error code, or FALCREST_ERR_NOPORT.
 * Runs on the caller's thread.
 */
FALCREST_API int SendByteToModem(int c);

/**
 * Waits for pending output, drops DTR and holds a break, then raises DTR.
 * @param milliseconds how long the break lasts.
 * @return non-zero when DTR came up again; 0 with no port.
 * Runs on the caller's thread.
 */
FALCREST_API int ShortBreak(int milliseconds);

/**
 * Drops what is queued for the modem and waits (bounded) for the driver's
 * pending output. Runs on the caller's thread.
 */
FALCREST_API void ResetQueue(void);

/**
 * Drops what is queued, waits for the driver's pending output, then sends
 * DLE ETX at once (with a port open). Runs on the caller's thread.
 */
FALCREST_API void ResetQueueAndRTC(void);

/**
 * Queues DLE ETX behind what is queued, without touching the gate or
 * checking the port.
 * @return the bytes queued: 2, or 0 without memory.
 * Runs on the caller's thread.
 */
FALCREST_API int PostETX(void);

/* ---- Waits and flow ----------------------------------------------------- */

/**
 * Dispatches the messages waiting for the client's window (or the calling
 * thread), then sleeps.
 * @param milliseconds the sleep; 0 means 50.
 * @return 0. Runs on the caller's thread.
 */
FALCREST_API int WaitMSG(uint32_t milliseconds);

/**
 * count times: dispatches the calling thread's messages and sleeps 1 ms.
 * @param count the rounds; 0 returns at once.
 */
FALCREST_API void WaitMSG2(uint32_t count);

/**
 * Waits for the receive or the transmit event and notifies the target on the
 * calling thread, as the flow thread does. The flow thread waits on the same
 * events, so a caller's wait takes only the events it gets first.
 * @param milliseconds the longest wait; 0 means 100.
 * @return 2 (data waiting), 1 (a transmit pass ran) or 0 (time-out; before
 *         InitModem() it just sleeps).
 */
FALCREST_API int WaitEvent(uint32_t milliseconds);

/**
 * Closes the transfer gate (queued bytes stay queued until a send opens it
 * again; a voice playback stops after its block) and sends DLE ETX at once.
 * @return non-zero when sent, 0 when the send failed, FALCREST_ABORT_NOPORT
 *         with no port (the gate is closed anyway).
 * Safe on any thread, a callback's included.
 */
FALCREST_API int AbortTransfer(void);

/* ---- Feedback and collector --------------------------------------------- */

/**
 * Takes what arrived from the receive queue, with the DLE codes of voice and
 * fax modems taken out of the text and spelt as tokens ("<ETX>", "<DC4>",
 * "<CAN>", "<FS>", "<NUL>", else "<" byte ">", such as "<b>" busy or "<5>"
 * a DTMF digit). DLE DLE stays in the text as two bytes. A DLE that ends the
 * chunk is put back for the next call.
 * @param text address of a pointer (null or a Realloc block) that receives
 *        the bytes with DLE codes and NUL bytes taken out.
 * @param codes address of a pointer (null or a Realloc block) that receives
 *        the tokens.
 * @param raw null, or a buffer of *length bytes that receives the chunk
 *        after DLE processing and before NUL removal (not terminated).
 * @param length on entry the most bytes to take; on return the bytes stored
 *        in raw (0 without raw).
 * @return 1 when bytes were taken (a pointer with nothing to receive is left
 *         as it was, so start both at null; *length is 0 when a lone DLE
 *         went back); 0 when no port is open or nothing waits, both pointers
 *         then holding empty strings. Either way the caller frees both with
 *         Realloc(p, 0).
 * One consumer at a time: calls must not overlap (a callback calls it under
 * its own lock).
 */
FALCREST_API int GetCommFeedback(char **text, char **codes, char *raw, uint32_t *length);

/**
 * Chooses how received DLE codes are treated and how the receive thread
 * reads.
 * @param type 0: no DLE processing (every byte is text), reading byte by
 *        byte at the highest priority; 1 (the default): DLE codes become
 *        tokens but DLE DC2 stays in the text; other values also turn DLE
 *        DC2 into "<DC2>".
 * @return non-zero when the receive thread's priority was set (0 without a
 *         receive thread; the type is stored anyway). Safe on any thread,
 *         also while another releases the port.
 */
FALCREST_API int SetFeedbackType(int type);

/**
 * Adds bytes to the collector, a byte queue of the library independent of
 * the port and kept across InitModem()/ReleaseModem().
 * @param data the bytes; null adds nothing.
 * @param count their count.
 * @return the count added. Safe on any thread.
 */
FALCREST_API int AppendDataChank(const char *data, uint32_t count);

/**
 * Moves bytes out of the collector.
 * @param buffer receives them; null moves nothing.
 * @param max the most to move.
 * @return the count moved. Safe on any thread.
 */
FALCREST_API int PasteDataChank(char *buffer, uint32_t max);

/**
 * @return the bytes held by the collector. Safe on any thread.
 */
FALCREST_API int GetCollectorLength(void);

/* ---- Voice ---------------------------------------------------------------
 * Format numbers (bits 0..14 of a type): 1-3 ZyXEL (16-byte header), 4-6
 * U.S. Robotics (58), 7 raw (none), 8 fax page file (its data starts where
 * its header says, see PrepareFaxPage()); others have a 16-byte header. */

/**
 * Copies a voice file into another family's file: the target family's
 * header (zero bytes) followed by the source's data, unchanged.
 * @param target the path written.
 * @param targetType the target's type code.
 * @param source the path read.
 * @param sourceType the source's type code; FALCREST_TYPE_DROP19 skips the
 *        source's first 19 bytes. Both types must name the same format.
 * @return the data bytes written; 0 when nothing was converted (the target
 *         may then exist, empty or holding only its header).
 * Runs on the caller's thread.
 */
FALCREST_API int ConvertFile(const char *target, uint32_t targetType, const char *source,
                             uint32_t sourceType);

/**
 * Plays a file through the open port: the file's data behind its header,
 * DLE-shielded for its format (format 8: the page is prepared first), then
 * DLE ETX. Both queues are emptied first, and the receive and transmit
 * threads are paused while the file is queued. One playback at a time.
 * @param path the file.
 * @param type the type code; without FALCREST_TYPE_ASYNC the call waits
 *        until the queue has gone out, with it returns once the data is
 *        queued.
 * @return the file bytes queued (after the header; after an
 *         AbortTransfer(), those queued so far); FALCREST_ERR_NOPORT;
 *         FALCREST_ERR_ARG (null path, no memory); 0 when the file cannot be
 *         opened or the page prepared; FALCREST_ERR_STALL when the modem
 *         stopped taking data for about 2 s.
 * Runs on the caller's thread, not in a callback; it may race a
 * ReleaseModem() on another thread, and then ends early.
 */
FALCREST_API int SendVoiceFileToModem(const char *path, int type);

/**
 * Reads one block (up to 1000 bytes) of a voice file, shields it and queues
 * it.
 * @param file a file handle (a descriptor on POSIX) positioned at the block.
 * @param type the type code.
 * @param status not used.
 * @return the file bytes consumed; 0 at the end of the file and on any
 *         failure. Runs on the caller's thread.
 */
FALCREST_API int SendVoiceBlockToModem(int file, uint32_t type, int *status);

/**
 * Spells an amount of roubles in Russian words, in Windows-1251: the whole
 * roubles with the agreeing currency word, then ", " and the kopecks as two
 * digits with their abbreviation.
 * @param amount the amount.
 * @param text address of a pointer (null or a Realloc block) that receives
 *        the text; the caller frees it with Realloc(p, 0).
 * @param max the most characters stored; 0 for no limit.
 * @return the characters stored; 0 and an empty string for an amount of 0;
 *         0 and nothing changed for a null text. Safe on any thread.
 */
FALCREST_API int SoundizeNumberTXT(double amount, char **text, uint32_t max);

/* ---- Fax ---------------------------------------------------------------- */

/**
 * Codes a one-bit-per-pixel page bitmap file in place into a G3 page file:
 * "G3" magic, the header kept (the pixel data offset at byte 10 then tells
 * where the coded data starts; width at 18, height at 22; bit 1 white), the
 * image Modified Huffman coded, the file cut or grown to fit.
 * @param path the file.
 * @return 1 when the file is a G3 page file afterwards (also when it already
 *         was); 0 otherwise, with the file unchanged.
 * Runs on the caller's thread; one page at a time.
 */
FALCREST_API int PrepareFaxPage(const char *path);

/**
 * Asks the system for its printer drivers (Windows); POSIX has none to ask
 * for.
 * @return 0, or 1 when there is no memory for the list.
 */
FALCREST_API int SetupRenderPort(void);

/*
 * The line operations below pack bit texts ('0'/'1' characters, the first
 * one the lowest bit of the first byte) and queue the bytes for the transmit
 * thread, which sends them once the transfer gate is open. They neither open
 * the gate nor check the port. Every DLE in the packed bytes is doubled, so
 * that only the DLE ETX that ends the page ends it; the results count the
 * bytes queued, doubled ones included (0 when nothing was queued). They run
 * on the caller's thread.
 */

/**
 * Queues one coded line.
 * @param bits the bit text.
 * @return the bytes queued.
 */
FALCREST_API int SendFAXLine(const char *bits);

/**
 * Queues a fixed line of 640 black and 1088 white pels.
 * @return the bytes queued (8).
 */
FALCREST_API int SendFAXTestLine(void);

/**
 * Queues fill.
 * @param bits the count of zero bits: 2 bytes for every 12, a rest rounded
 *        up to whole bytes.
 * @return the bytes queued; 0 for a count below 1.
 */
FALCREST_API int SendFAXGap(int bits);

/**
 * Queues EOL.
 * @return the bytes queued (2).
 */
FALCREST_API int SendFAXEol(void);

/**
 * Queues RTC (six EOLs) and the DLE ETX that ends the page.
 * @return the bytes queued (11).
 */
FALCREST_API int SendFAXRTC(void);

#ifdef __cplusplus
}
#endif

#endif /* FALCREST_FALCREST_H */
