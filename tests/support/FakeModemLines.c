/* Modem lines for pseudo-terminals: see FakeModemLines.h. */
#define _GNU_SOURCE
#include "FakeModemLines.h"

#include <dlfcn.h>
#include <errno.h>
#include <linux/serial.h>
#include <pthread.h>
#include <stdarg.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#define EXPORT __attribute__((visibility("default")))
#define MAX_PTYS 64
#define LOG_SIZE 1024

struct Pty {
    dev_t device;
    int inputs;
    int outputs;
    int breakOn;
    int outQueue;
    struct serial_icounter_struct counts;
    char log[LOG_SIZE];
};

static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
static struct Pty ptys[MAX_PTYS];
static int ptyCount;

/* Unix98 pty slaves: majors 136 to 143. */
static int IsPtySlave(dev_t device) { return major(device) >= 136 && major(device) <= 143; }

/* The state of a device, made on first use; called with the lock held. */
static struct Pty *Find(dev_t device) {
    for (int i = 0; i < ptyCount; ++i)
        if (ptys[i].device == device)
            return &ptys[i];
    if (ptyCount == MAX_PTYS)
        return NULL;
    struct Pty *p = &ptys[ptyCount++];
    memset(p, 0, sizeof *p);
    p->device = device;
    p->inputs = TIOCM_CTS | TIOCM_DSR;
    p->outputs = TIOCM_DTR | TIOCM_RTS;
    return p;
}

static struct Pty *ByPath(const char *path) {
    struct stat st;
    if (stat(path, &st) != 0 || !S_ISCHR(st.st_mode))
        return NULL;
    return Find(st.st_rdev);
}

static void Log(struct Pty *p, const char *event) {
    size_t used = strlen(p->log);
    if (used + strlen(event) + 2 >= LOG_SIZE)
        return;
    if (used)
        strcat(p->log, ",");
    strcat(p->log, event);
}

/* Records the change of DTR and RTS from the old to the new state. */
static void SetOutputs(struct Pty *p, int now) {
    now &= TIOCM_DTR | TIOCM_RTS;
    int changed = p->outputs ^ now;
    if (changed & TIOCM_DTR)
        Log(p, (now & TIOCM_DTR) ? "DTR+" : "DTR-");
    if (changed & TIOCM_RTS)
        Log(p, (now & TIOCM_RTS) ? "RTS+" : "RTS-");
    p->outputs = now;
}

typedef int (*IoctlFn)(int, unsigned long, ...);

static IoctlFn Real(void) {
    static IoctlFn real;
    if (!real)
        real = (IoctlFn)dlsym(RTLD_NEXT, "ioctl");
    return real;
}

EXPORT int ioctl(int fd, unsigned long request, ...) {
    va_list ap;
    va_start(ap, request);
    void *arg = va_arg(ap, void *);
    va_end(ap);

    switch (request) {
    case TIOCMGET:
    case TIOCMSET:
    case TIOCMBIS:
    case TIOCMBIC:
    case TIOCSBRK:
    case TIOCCBRK:
    case TIOCGICOUNT:
    case TIOCOUTQ:
        break;
    default:
        return Real()(fd, request, arg);
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode) || !IsPtySlave(st.st_rdev))
        return Real()(fd, request, arg);

    pthread_mutex_lock(&lock);
    struct Pty *p = Find(st.st_rdev);
    int result = 0;
    if (!p) {
        pthread_mutex_unlock(&lock);
        return Real()(fd, request, arg);
    }
    switch (request) {
    case TIOCMGET:
        *(int *)arg = p->inputs | p->outputs;
        break;
    case TIOCMSET:
        SetOutputs(p, *(const int *)arg);
        break;
    case TIOCMBIS:
        SetOutputs(p, p->outputs | *(const int *)arg);
        break;
    case TIOCMBIC:
        SetOutputs(p, p->outputs & ~*(const int *)arg);
        break;
    case TIOCSBRK:
        if (!p->breakOn)
            Log(p, "BRK+");
        p->breakOn = 1;
        break;
    case TIOCCBRK:
        if (p->breakOn)
            Log(p, "BRK-");
        p->breakOn = 0;
        break;
    case TIOCGICOUNT:
        memcpy(arg, &p->counts, sizeof p->counts);
        break;
    case TIOCOUTQ:
        if (p->outQueue > 0)
            *(int *)arg = p->outQueue;
        else
            result = -2; /* the real queue */
        break;
    }
    pthread_mutex_unlock(&lock);
    return result == -2 ? Real()(fd, request, arg) : result;
}

EXPORT void FakeModemSetInputs(const char *path, int tiocm) {
    pthread_mutex_lock(&lock);
    struct Pty *p = ByPath(path);
    if (p)
        p->inputs = tiocm & (TIOCM_CTS | TIOCM_DSR | TIOCM_CAR | TIOCM_RNG);
    pthread_mutex_unlock(&lock);
}

EXPORT int FakeModemOutputs(const char *path) {
    pthread_mutex_lock(&lock);
    struct Pty *p = ByPath(path);
    int outputs = p ? p->outputs : 0;
    pthread_mutex_unlock(&lock);
    return outputs;
}

EXPORT int FakeModemBreak(const char *path) {
    pthread_mutex_lock(&lock);
    struct Pty *p = ByPath(path);
    int on = p ? p->breakOn : 0;
    pthread_mutex_unlock(&lock);
    return on;
}

EXPORT void FakeModemAddErrors(const char *path, int overrun, int parity, int frame, int brk,
                               int bufOverrun) {
    pthread_mutex_lock(&lock);
    struct Pty *p = ByPath(path);
    if (p) {
        p->counts.overrun += overrun;
        p->counts.parity += parity;
        p->counts.frame += frame;
        p->counts.brk += brk;
        p->counts.buf_overrun += bufOverrun;
    }
    pthread_mutex_unlock(&lock);
}

EXPORT void FakeModemSetOutQueue(const char *path, int bytes) {
    pthread_mutex_lock(&lock);
    struct Pty *p = ByPath(path);
    if (p)
        p->outQueue = bytes;
    pthread_mutex_unlock(&lock);
}

EXPORT int FakeModemEvents(const char *path, char *buffer, int size) {
    pthread_mutex_lock(&lock);
    struct Pty *p = ByPath(path);
    const char *log = p ? p->log : "";
    int length = (int)strlen(log);
    if (buffer && size > 0) {
        int n = length < size - 1 ? length : size - 1;
        memcpy(buffer, log, (size_t)n);
        buffer[n] = 0;
    }
    pthread_mutex_unlock(&lock);
    return length;
}

EXPORT void FakeModemReset(void) {
    pthread_mutex_lock(&lock);
    ptyCount = 0;
    pthread_mutex_unlock(&lock);
}
