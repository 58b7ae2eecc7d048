// Tamsel: the small support library that Falcrest and Quenby both link.
//
// A lockable byte queue (QueueBuff), a memory-mapped file (clFileMap), and
// memory and string helpers. Every QueueBuff operation is thread-safe; the
// string helpers treat a null string as an empty one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>

#if defined(_WIN32)
#if defined(TAMSEL_BUILDING)
#define TAMSEL_API __declspec(dllexport)
#else
#define TAMSEL_API __declspec(dllimport)
#endif
#else
#define TAMSEL_API __attribute__((visibility("default")))
#endif

// ---- Memory ---------------------------------------------------------------

// Realloc(p, n): p null allocates; n 0 frees p and returns null; otherwise
// resizes keeping the content. Null on failure (p is then still valid).
// Realloc and Free have C linkage: C clients of Falcrest release the blocks
// it returns with them (Falcrest.h declares them for C as well).
extern "C" TAMSEL_API void *Realloc(void *p, size_t n);
// Releases a Realloc block; null is allowed.
extern "C" TAMSEL_API void Free(void *p);
TAMSEL_API void *Memmove(void *dst, const void *src, size_t n);
TAMSEL_API void *Setmem(void *dst, size_t n, int byte);

// ---- Strings ----------------------------------------------------------------

// Copies src with its terminator; returns the characters copied (no NUL).
TAMSEL_API uint32_t Strcpy(char *dst, const char *src);
// Copies at most max characters and terminates dst[result]; dst needs max+1 bytes.
TAMSEL_API uint32_t Strncpy(char *dst, const char *src, uint32_t max);
// Appends src; returns the new length of dst (dst[result] holds the NUL).
TAMSEL_API uint32_t Strcat(char *dst, const char *src);
// Appends as much of src as fits a dst of capacity bytes (terminator
// included); returns the new length, dst[result] holds the NUL.
TAMSEL_API uint32_t Strcat(char *dst, const char *src, uint32_t capacity);
TAMSEL_API uint32_t Strlen(const char *s);
// The smaller of the length and max; reads no further than max characters.
TAMSEL_API uint32_t Strlen(const char *s, uint32_t max);
// 0 when the first n characters are equal (stopping at a common NUL).
TAMSEL_API int Strncmp(const char *a, const char *b, uint32_t n);
// First occurrence of t in s, or null; an empty (or null) t is found at s,
// and a null s holds nothing.
TAMSEL_API char *Strstr(const char *s, const char *t);

// SearchOneOf(text, pattern): looks in text for the answers that pattern
// names and returns 0 when none occurs, else the code of the answer found.
//
// Pattern syntax:
//   pattern := answer ( '|' answer )*
//   answer  := text [ '=' code ]
// The answers are plain substrings (compared byte for byte). A backslash
// takes the next character literally, so "\|", "\=" and "\\" put those
// characters into an answer. Empty answers are skipped; nothing is trimmed.
// code is a decimal number from 1 to 2147483647 running to the next '|' or
// the end; an '=' not followed by such a number is part of the answer's text
// ("A=B" is the answer "A=B"). Without a code the answer's code is derived from
// its text alone (a 31-bit FNV-1a hash, never 0), so the same answer gives the
// same code through any pattern and different answers give different codes
// (barring a hash collision):
// "OK" found through "OK|CONNECT" and "ERROR" found through "ERROR" differ.
// When several answers occur, the one that begins earliest in the text wins;
// on a tie, the one named first in the pattern.
// Examples: "OK|ERROR", "CONNECT=1|BUSY=2|NO CARRIER=3". A null text or
// pattern gives 0. Patterns and texts of any length are handled.
TAMSEL_API uint32_t SearchOneOf(const char *text, const char *pattern);
// The code that SearchOneOf gives an answer named without an explicit code.
TAMSEL_API uint32_t AnswerCode(const char *answer, uint32_t length);

// ---- Files ------------------------------------------------------------------

// A platform file handle (a descriptor on POSIX, a HANDLE on Windows).
using TamselFile = intptr_t;
constexpr TamselFile kTamselNoFile = -1;

// mode "r" (read), "w" (create or truncate, write), "a+" (read and append,
// created when missing) or "r+" (read and write an existing file); a 'b' or
// 't' in the mode is ignored. Stores the handle (kTamselNoFile on failure);
// non-zero on success.
TAMSEL_API int OpenFileW(const char *path, TamselFile *handle, const char *mode);
// Writes n bytes (all of them unless the file fails); returns the count written.
TAMSEL_API uint32_t Fwrite(const void *data, uint32_t n, TamselFile handle);
// Closes the file and sets the handle to kTamselNoFile.
TAMSEL_API void CloseFileW(TamselFile *handle);

// ---- QueueBuff --------------------------------------------------------------

// A growable byte queue with its own re-entrant lock. The public data members
// stand at the start of the object in this order and may be read directly
// (under Enter/Leave): the held bytes lie contiguous at pData + dwOffset.
class TAMSEL_API QueueBuff {
public:
    uint32_t dwCount;    // bytes held
    uint32_t dwReserved; // not read by callers: the storage's capacity
    uint32_t dwOffset;   // offset of the first held byte in pData
    char *pData;         // the storage (a Realloc block), or null

    QueueBuff();
    virtual ~QueueBuff();
    QueueBuff(const QueueBuff &) = delete;
    QueueBuff &operator=(const QueueBuff &) = delete;

    // Adds n bytes at the tail; returns the count added (0 when out of memory).
    uint32_t Append(const void *data, uint32_t n);
    // Moves up to max bytes from the head into dst; returns the count.
    uint32_t Paste(void *dst, uint32_t max);
    // With p null: hands out all bytes in a new Realloc block (NUL-terminated
    // behind the count), empties the queue and returns the count; the caller
    // frees the block. With p set: the same into a block resized from p.
    // An empty queue gives 0 and leaves a null p null (a block p becomes "");
    // out of memory gives 0 with p and the queue unchanged.
    uint32_t Paste(char *&p);
    // Puts one byte back at the head. False, with the queue unchanged, only
    // when the storage is full and cannot grow: a byte taken out of the
    // queue under the lock and put back before the lock is let go always
    // finds room.
    bool Ungetch(int c);
    // Makes room for n more bytes at the tail; false when out of memory. The
    // room stays until bytes are added, also when the queue is emptied
    // meanwhile, for n up to 256 KiB: an Append of up to n bytes that
    // follows cannot fail for want of memory.
    bool Reserve(uint32_t n);
    // Drops n bytes from the head (all when n exceeds the count).
    void Shrink(uint32_t n);
    void Reset();
    uint32_t GetLength();

    // The queue's re-entrant lock; a caller may hold it across operations.
    void Enter();
    void Leave();

private:
    void Clear();
    std::recursive_mutex lock_;
};

TAMSEL_API uint32_t QBuff_GetLength(QueueBuff *queue);

// ---- clFileMap --------------------------------------------------------------

// A file mapped for reading and writing. The public data members come first
// and may be read directly.
class TAMSEL_API clFileMap {
public:
    int bOpen;       // non-zero once mapped
    uint32_t dwSize; // the file's length in bytes
    char *pView;     // the view of the whole file (null for an empty file)

    clFileMap();
    // Maps path with mode "r+" (read and write; "r" read only); files longer
    // than maxSize are not mapped. An empty file opens (bOpen set) with a null
    // view and dwSize 0.
    clFileMap(const char *path, const char *mode, uint32_t maxSize);
    ~clFileMap();
    clFileMap(const clFileMap &) = delete;
    clFileMap &operator=(const clFileMap &) = delete;

    // Maps path, closing what was mapped before; with size non-zero the file
    // (mode "r+" only) is first made exactly size bytes long (cut or extended
    // with zeros) and that much is mapped. Non-zero on success.
    int Open(const char *path, const char *mode, uint32_t size);
    // Unmaps and closes; the file keeps the length it was opened with.
    void Close();

private:
    int Map(const char *path, const char *mode, uint32_t size, uint32_t maxSize);
    intptr_t file_;
    void *mapping_; // platform mapping state
};
