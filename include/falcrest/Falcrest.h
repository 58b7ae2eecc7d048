/*
 * Falcrest: one serial port and the modem on it.
 *
 * The public C interface of the library. Every export is a plain C function
 * with the platform's default calling convention, so the library can be
 * loaded by name from any language with a C foreign-function interface.
 *
 * Strings handed out by the library (GetCommFeedback, EnumComPorts,
 * SoundizeNumberTXT) are blocks of the support library: the caller's pointer
 * must hold null or such a block, the library grows or replaces it, and the
 * caller releases it with Realloc(p, 0) from Tamsel.
 */
#ifndef FALCREST_FALCREST_H
#define FALCREST_FALCREST_H

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

#ifdef __cplusplus
extern "C" {
#endif

/* Notification callback: (notification code, error word, count or status).
 * The library ignores the result. It is called from the library's worker
 * threads, possibly from more than one at a time. */
typedef int (*FalcrestCallback)(uint32_t code, uint32_t error, uint32_t count);

/* Notification codes: the first private window-message number plus 100..102. */
#define FALCREST_WM_USER 1024
#define FALCREST_NOTIFY_READ (FALCREST_WM_USER + 100)    /* 1124: data waiting, or a read error */
#define FALCREST_NOTIFY_WRITTEN (FALCREST_WM_USER + 101) /* 1125: data written (windows only) */
#define FALCREST_NOTIFY_TXFAIL (FALCREST_WM_USER + 102)  /* 1126: a transmit failure */

/* Result codes at the library's boundary. */
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
 * InitModem: target is a window handle (Windows) or a FalcrestCallback.
 * Returns the port handle as a positive int, -102 or -100.
 * The DCB string uses the Windows mode grammar ("baud=9600 xon=on ..." or
 * "9600,n,8,1"); the library evaluates baud= and the handshake keys
 * dtr= rts= octs= odsr= idsr= xon= itself (case-insensitive).
 * On POSIX a port name containing '/' is a device path used whole; COMn,
 * COMn: and \\.\COMn name /dev/ttyS<n-1>. DSR output flow control has no
 * termios equivalent: the POSIX port keeps the setting in its DCB but does
 * not hold transmission on DSR. */
FALCREST_API int InitModem(void *target, const char *port, const char *dcb);
FALCREST_API int ReleaseModem(void);
FALCREST_API int EnumComPorts(char **list);
FALCREST_API int GetCommStatus(uint32_t *status);

/* ---- Transmission ------------------------------------------------------- */
FALCREST_API int SendStringToModem(const char *s);
FALCREST_API int SendDataToModem(const char *data, int length);
FALCREST_API int SendByteToModem(int c);
FALCREST_API int ShortBreak(int milliseconds);
FALCREST_API void ResetQueue(void);
FALCREST_API void ResetQueueAndRTC(void);
FALCREST_API int PostETX(void);

/* ---- Waits and flow ----------------------------------------------------- */
FALCREST_API int WaitMSG(uint32_t milliseconds);
FALCREST_API void WaitMSG2(uint32_t count);
FALCREST_API int WaitEvent(uint32_t milliseconds);
FALCREST_API int AbortTransfer(void);

/* ---- Feedback and collector ---------------------------------------------
 * GetCommFeedback: text and codes are addresses of caller string pointers
 * (null or Realloc blocks); raw may be null; *length is the most bytes to
 * take on entry and the bytes stored in raw on return. One consumer at a
 * time. DLE codes come out as tokens such as "<ETX>", "<b>", "<5>". */
FALCREST_API int GetCommFeedback(char **text, char **codes, char *raw, uint32_t *length);
FALCREST_API int SetFeedbackType(int type);
FALCREST_API int AppendDataChank(const char *data, uint32_t count);
FALCREST_API int PasteDataChank(char *buffer, uint32_t max);
FALCREST_API int GetCollectorLength(void);

/* ---- Voice -------------------------------------------------------------- */
FALCREST_API int ConvertFile(const char *target, uint32_t targetType, const char *source,
                             uint32_t sourceType);
FALCREST_API int SendVoiceFileToModem(const char *path, int type);
/* file: a handle from the platform's file layer, positioned at the next block. */
FALCREST_API int SendVoiceBlockToModem(int file, uint32_t type, int *status);
/* The amount as Russian words in Windows-1251; max 0 means no limit. */
FALCREST_API int SoundizeNumberTXT(double amount, char **text, uint32_t max);

/* ---- Fax ---------------------------------------------------------------- */
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
