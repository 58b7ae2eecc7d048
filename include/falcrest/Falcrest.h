/*
 * Falcrest: one serial port and the modem on it.
 *
 * The public C interface of the library. Every export is a plain C function
 * with the platform's default calling convention, so the library can be
 * loaded by name from any language with a C foreign-function interface. The
 * header compiles as C and as C++.
 *
 * One port per process: the library keeps its state in globals, and every
 * export acts on the port that InitModem opened. Exports never throw and never
 * print; failures come back as result codes (FALCREST_ERR_*).
 *
 * Returned strings (GetCommFeedback, EnumComPorts, SoundizeNumberTXT) are
 * blocks of the support library Tamsel: the caller passes the address of a
 * pointer that holds null or such a block, the library grows or replaces the
 * block, and the caller owns it and releases it with Realloc(p, 0) from
 * Tamsel, or with Free(p). Both have C linkage and are declared below, so
 * C callers need not include Tamsel.h (a C++ header).
 *
 * Threads. InitModem starts three workers: receive (reads the port into the
 * receive queue), transmit (writes the transmit queue to the port) and flow
 * (turns their events into notifications). The notification callback runs on
 *   - the flow thread: data waiting (1124 with the bytes waiting) and
 *     "a transmit pass ran" (1124 with a count of 0);
 *   - the receive thread: a read or line error (1124 with its error word);
 *   - the transmit thread: a write failure (1126);
 *   - any thread of the caller that calls WaitEvent itself.
 * The library takes no lock around the callback: two calls can overlap (the
 * flow thread and an error report), so a callback serialises its own work,
 * and GetCommFeedback, which must have one consumer at a time, is called
 * under that lock. A callback may call ReleaseModem (see there), but not
 * InitModem.
 *
 * POSIX. The same code runs on POSIX through the library's platform layer:
 *   - there are no windows: every target of InitModem is taken as a
 *     callback, so 1125 is never sent and WaitMSG/WaitMSG2 only sleep;
 *   - port names: a name containing '/' is a device path used whole; COMn,
 *     COMn: and \\.\COMn name /dev/ttyS<n-1>; any other name is looked up
 *     under /dev. The open is exclusive: a port another program holds
 *     fails with FALCREST_ERR_PORT;
 *   - DSR output flow control has no termios equivalent: the setting is kept
 *     but transmission is not held on DSR. A pseudo-terminal keeps 8 data
 *     bits without parity and has no modem lines;
 *   - error words are the same Windows codes: line-error flags (0x01 receive
 *     queue overrun, 0x02 overrun, 0x04 parity, 0x08 framing, 0x10 break) or
 *     a system error number such as 31 when the device has hung up;
 *   - SetupRenderPort asks the CUPS scheduler (lpinfo) for printer drivers.
 */
#ifndef FALCREST_FALCREST_H
#define FALCREST_FALCREST_H

#include <stddef.h>
#include <stdint.h>

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

#ifdef __cplusplus
extern "C" {
#endif

/* Tamsel's block allocator, for releasing what the library returns:
 * Realloc(p, 0) and Free(p) release a block (null is allowed). */
FALCREST_TAMSEL_API void *Realloc(void *p, size_t n);
FALCREST_TAMSEL_API void Free(void *p);

/* Notification callback: (notification code, error word, count or status).
 * The library ignores the result. It is called from the library's worker
 * threads, possibly from more than one at a time (see Threads above). The
 * error word is 0, line-error flags or a system error code. */
typedef int (*FalcrestCallback)(uint32_t code, uint32_t error, uint32_t count);

/* Notification codes: the first private window-message number plus 100..102. */
#define FALCREST_WM_USER 1024
#define FALCREST_NOTIFY_READ (FALCREST_WM_USER + 100)    /* 1124: data waiting, or a read error */
#define FALCREST_NOTIFY_WRITTEN (FALCREST_WM_USER + 101) /* 1125: data written (windows only) */
#define FALCREST_NOTIFY_TXFAIL (FALCREST_WM_USER + 102)  /* 1126: a transmit failure */

/* Result codes at the library's boundary. Successful results are 0 or
 * positive unless an export says otherwise. */
#define FALCREST_ERR_PORT (-100)  /* the port cannot be opened or configured */
#define FALCREST_ERR_ARG (-102)   /* a null argument, or no memory */
#define FALCREST_ERR_NOPORT (-107) /* no port is open */
#define FALCREST_ERR_STALL (-1)   /* the modem stopped taking data; AbortTransfer without a port */

/* Bytes of the voice and fax data streams. */
#define FALCREST_DLE 0x10
#define FALCREST_ETX 0x03

/* File type codes of voice and fax files: bits 0..14 the format number. */
#define FALCREST_TYPE_DROP19 0x8000u /* source begins with a 19-byte block (ConvertFile) */
#define FALCREST_TYPE_ASYNC 0x10000u /* return once the data is queued (SendVoiceFileToModem) */

/* ---- Connection ---------------------------------------------------------
 * InitModem(target, port, dcb): opens and configures the port and starts the
 * worker threads. target is a window handle (Windows: notified with
 * SendMessage) or a FalcrestCallback cast to void *; it is stored on every
 * call, even one that fails, and the workers run only while it is set.
 * The DCB string uses the Windows mode grammar ("baud=9600 xon=on ..." or
 * "9600,n,8,1"). The library takes the baud rate from it and evaluates the
 * handshake keys dtr= rts= octs= odsr= idsr= xon= itself (case-insensitive);
 * a missing dtr=/rts= turns the line on, a missing octs=/odsr= turns that
 * flow control on. Parity, data and stop bits in the string have no effect:
 * the port runs 8 data bits, 1 stop bit, no parity. Names that are not
 * device paths are cut to 9 characters.
 * Returns the port handle as a positive int; FALCREST_ERR_ARG for a null port
 * name (first open), a null DCB string or no memory; FALCREST_ERR_PORT when
 * the port cannot be opened or the string or the state is rejected. Called
 * again while a port is open, it keeps the port (same handle) and only
 * applies the new string. After a failure the port may stay open until
 * ReleaseModem.
 *
 * ReleaseModem: stops the workers (waiting up to 1 s for each), closes the
 * port, empties the receive and transmit queues, forgets the target and
 * returns 0. Safe to call at any time: with nothing open, from several
 * threads at once (the calls take turns with each other and with InitModem),
 * and from inside a callback, where it stops the workers and closes the port
 * without waiting for its own thread; the next InitModem or ReleaseModem
 * from another thread joins them. Once it returns no callback starts, unless
 * a callback had been blocked for longer than that bound. Unloading the
 * library calls it.
 *
 * EnumComPorts(list): *list (null or a Realloc block) receives the serial
 * ports as a comma-separated string ("COM1,COM3"; on POSIX the device paths
 * of the serial devices present, "/dev/ttyS0,/dev/ttyUSB0"). Returns 1 when
 * any was listed, else 0 with an empty string. The caller frees *list.
 *
 * GetCommStatus(status): stores the modem lines in *status (0x10 CTS,
 * 0x20 DSR, 0x40 RING, 0x80 carrier detect) and returns 1; stores 0 and
 * returns 0 when no port is open or the lines cannot be read. */
FALCREST_API int InitModem(void *target, const char *port, const char *dcb);
FALCREST_API int ReleaseModem(void);
FALCREST_API int EnumComPorts(char **list);
FALCREST_API int GetCommStatus(uint32_t *status);

/* ---- Transmission -------------------------------------------------------
 * Bytes go into the transmit queue, which the transmit thread writes to the
 * port in chunks of up to 250 bytes while the transfer gate is open. The
 * gate is opened by SendStringToModem and SendDataToModem (and voice
 * playback) and closed by AbortTransfer. A chunk the line does not take is
 * reported as a 1126 notification (error word, status flags: 0x01 CTS hold,
 * 0x02 DSR hold, 0x04 carrier hold, 0x08 XOFF hold, 0x10 XOFF sent); a chunk
 * stalled for good is dropped after about 25 s of retries (error word 15
 * when the port reports nothing).
 *
 * SendStringToModem(s): waits for the driver's pending output, releases an
 * XOFF hold, queues s without its terminator and opens the gate. Returns
 * the port's line-error flags (normally 0), FALCREST_ERR_NOPORT with no port
 * or a null s, FALCREST_ERR_ARG when the queue has no memory.
 * SendDataToModem(data, length): queues length bytes and opens the gate; no
 * flush. 0, FALCREST_ERR_NOPORT (no port, null data), FALCREST_ERR_ARG.
 * SendByteToModem(c): sends the low 8 bits of c at once, ahead of the queue
 * and of what the driver holds. 0, a system error code, or
 * FALCREST_ERR_NOPORT.
 * ShortBreak(ms): waits for pending output, drops DTR and holds a break for
 * ms milliseconds, then raises DTR. Non-zero when DTR came up again; 0 with
 * no port.
 * ResetQueue: drops what is queued and waits for the driver's pending output.
 * ResetQueueAndRTC: the same, then sends DLE ETX at once (port open only).
 * PostETX: queues DLE ETX behind what is queued, without touching the gate
 * or checking the port; returns the bytes queued (2, or 0 without memory). */
FALCREST_API int SendStringToModem(const char *s);
FALCREST_API int SendDataToModem(const char *data, int length);
FALCREST_API int SendByteToModem(int c);
FALCREST_API int ShortBreak(int milliseconds);
FALCREST_API void ResetQueue(void);
FALCREST_API void ResetQueueAndRTC(void);
FALCREST_API int PostETX(void);

/* ---- Waits and flow -----------------------------------------------------
 * WaitMSG(ms): dispatches the messages waiting for the client's window (or
 * the calling thread), then sleeps ms (50 when 0); returns 0. WaitMSG2(n):
 * n times, dispatch the calling thread's messages and sleep 1 ms.
 *
 * WaitEvent(ms): waits up to ms (100 when 0) for the receive or the transmit
 * event and notifies the target on the calling thread, as the flow thread
 * does. Returns 2 (data waiting), 1 (a transmit pass ran) or 0 (time-out;
 * before InitModem it just sleeps). The flow thread waits on the same
 * events, so a caller's WaitEvent takes only the events it gets first.
 *
 * AbortTransfer: closes the transfer gate (queued bytes stay queued until a
 * send opens it again; a voice playback stops after its block) and sends
 * DLE ETX at once. Returns non-zero when sent, 0 when the send failed,
 * FALCREST_ERR_STALL (-1) with no port. */
FALCREST_API int WaitMSG(uint32_t milliseconds);
FALCREST_API void WaitMSG2(uint32_t count);
FALCREST_API int WaitEvent(uint32_t milliseconds);
FALCREST_API int AbortTransfer(void);

/* ---- Feedback and collector ---------------------------------------------
 * GetCommFeedback(text, codes, raw, length): takes up to *length bytes from
 * the receive queue. text and codes are addresses of caller pointers (null
 * or Realloc blocks): *text receives the bytes with DLE codes and NUL bytes
 * taken out, *codes the DLE codes as tokens ("<ETX>", "<DC4>", "<CAN>",
 * "<FS>", "<NUL>", else "<" byte ">", such as "<b>" busy or "<5>" a DTMF
 * digit). raw, when not null, receives the chunk after DLE processing and
 * before NUL removal (not terminated); *length then holds its size, else 0.
 * Returns 1 when bytes were taken: a pointer with nothing to receive is
 * left as it was, so start both at null. Returns 0 when no port is open or
 * nothing waits; both pointers then hold empty strings. Either way the
 * caller frees both with Realloc(p, 0). A DLE that ends the chunk is put
 * back for the next call (result 1 with *length 0 when it is all there is).
 * DLE DLE stays in the text as two bytes. Calls must not overlap.
 *
 * SetFeedbackType(type): 0 turns DLE processing off (every byte is text)
 * and reads byte by byte at the highest priority; 1 (the default) processes
 * DLE codes but keeps DLE DC2 in the text; any other value also turns DLE DC2
 * into "<DC2>". Returns non-zero when the receive thread's priority was set
 * (0 without a receive thread; the type is stored anyway).
 *
 * Collector: a byte queue of the library, independent of the port and kept
 * across InitModem/ReleaseModem. AppendDataChank adds count bytes and
 * PasteDataChank moves up to max bytes out into buffer; both return the
 * count (0 for a null pointer). GetCollectorLength: the bytes held. */
FALCREST_API int GetCommFeedback(char **text, char **codes, char *raw, uint32_t *length);
FALCREST_API int SetFeedbackType(int type);
FALCREST_API int AppendDataChank(const char *data, uint32_t count);
FALCREST_API int PasteDataChank(char *buffer, uint32_t max);
FALCREST_API int GetCollectorLength(void);

/* ---- Voice --------------------------------------------------------------
 * Format numbers (bits 0..14 of a type): 1-3 ZyXEL (16-byte header), 4-6
 * U.S. Robotics (58), 7 raw (none), 8 fax page file (62, see PrepareFaxPage);
 * others have a 16-byte header.
 *
 * ConvertFile(target, targetType, source, sourceType): writes target as the
 * target family's header (zero bytes) followed by the source's data, copied
 * unchanged; FALCREST_TYPE_DROP19 in sourceType skips the source's first 19
 * bytes. Both types must name the same format. Returns the data bytes
 * written, 0 when nothing was converted (the target may then exist, empty or
 * holding only its header).
 *
 * SendVoiceFileToModem(path, type): plays a file through the open port on
 * the caller's thread: the file's data behind its header, DLE-shielded for
 * its format (format 8: the page is prepared first), then DLE ETX. Both
 * queues are emptied first, and the receive and transmit threads are paused
 * while the file is queued. Without FALCREST_TYPE_ASYNC it waits until the
 * queue has gone out; with it, it returns once the data is queued. Returns
 * the file bytes queued (after the header; after an AbortTransfer, those
 * queued so far); FALCREST_ERR_NOPORT; FALCREST_ERR_ARG (null path, no
 * memory); 0 when the file cannot be opened or the page prepared;
 * FALCREST_ERR_STALL when the modem stopped taking data for about 2 s.
 * One playback at a time.
 *
 * SendVoiceBlockToModem(file, type, status): reads one block (up to 1000
 * bytes) from file (a file handle: a descriptor on POSIX), positioned at
 * the next block, shields and queues it. status is not used. Returns the
 * file bytes consumed, 0 at the end of the file and on any failure.
 *
 * SoundizeNumberTXT(amount, text, max): the amount of roubles in Russian
 * words in Windows-1251 (the whole roubles spelt out with the agreeing
 * currency word, then ", " and the kopecks as two digits with their
 * abbreviation), at most max characters (0: no limit) into *text (null or a
 * Realloc block, freed by the caller). Returns the characters stored; 0 and
 * an empty string for an amount of 0; 0 and nothing changed for a null
 * text. Safe to call from several threads. */
FALCREST_API int ConvertFile(const char *target, uint32_t targetType, const char *source,
                             uint32_t sourceType);
FALCREST_API int SendVoiceFileToModem(const char *path, int type);
FALCREST_API int SendVoiceBlockToModem(int file, uint32_t type, int *status);
FALCREST_API int SoundizeNumberTXT(double amount, char **text, uint32_t max);

/* ---- Fax ----------------------------------------------------------------
 * PrepareFaxPage(path): codes a one-bit-per-pixel page bitmap file (pixel
 * data offset at byte 10, width at 18, height at 22; bit 1 white) in place
 * into a G3 page file: "G3" magic, the header kept, the image Modified
 * Huffman coded, the file cut or grown to fit. Returns 1 when the file is a
 * G3 page file afterwards (also when it already was), 0 otherwise with the
 * file unchanged. One page at a time.
 *
 * The line operations pack bit texts ('0'/'1' characters, the first one the
 * lowest bit of the first byte) and queue the bytes for the transmit thread,
 * which sends them once the transfer gate is open; they neither open the gate
 * nor check the port, and they double no DLE. Each returns the bytes queued
 * (0 when nothing was). SendFAXLine(bits): one coded line. SendFAXTestLine:
 * a fixed line of 640 black and 1088 white pels (8 bytes). SendFAXEol: EOL
 * (2 bytes). SendFAXGap(bits): fill of that many zero bits (2 bytes per 12
 * bits, a rest rounded up to whole bytes). SendFAXRTC: RTC (six EOLs) and
 * DLE ETX, 11 bytes.
 *
 * SetupRenderPort: asks the system for its printer drivers; 0, or 1 when
 * there is no memory for the list. */
FALCREST_API int PrepareFaxPage(const char *path);
FALCREST_API int SetupRenderPort(void);
FALCREST_API int SendFAXLine(const char *bits);
FALCREST_API int SendFAXTestLine(void);
FALCREST_API int SendFAXGap(int bits);
FALCREST_API int SendFAXEol(void);
FALCREST_API int SendFAXRTC(void);

#ifdef __cplusplus
}
#endif

#endif /* FALCREST_FALCREST_H */
