// The log file's writer. It sleeps until lines arrive, gathers them for a
// moment and writes them in runs. A failed write (or an open that fails) is
// the start of a stop: one status line with the system's reason, then the
// lines wait in the backlog and the writer tries again, a write at most once
// a second and only after a new line arrived, an open every few seconds.
// When a try works, the backlog goes out first, then one status line counts
// the lines that went out late and those the backlog had to drop.
#include "logfile/log_file.h"

#include <process.h>

#include <cstring>
#include <new>

#include "logfile/log_backlog.h"
#include "logfile/log_status.h"

namespace {

enum : DWORD {
    kRetryMs = 1000,   // a failed write is tried again at most this often
    kReopenMs = 3000,  // a file that cannot be opened, this often
    // Lines that arrive together go out in one write: the writer, woken by
    // the first, waits this long before it takes them. Fewer wake-ups and
    // writes for the reception thread to pay for in a burst.
    kGatherMs = 2,
    // At the end, the lines held get this long to reach the file. A write
    // on a share that went away can hang for tens of seconds; the program
    // ends without waiting for it, and those lines stay unwritten.
    kCloseWaitMs = 5000,
    kStatusSize = 1024,
};

}  // namespace

struct LogWriter {
    CRITICAL_SECTION lock;  // guards the fields below up to `file`
    LogBacklog backlog;
    bool arrived;     // a line was kept since the writer's last try
    bool wakeOnLine;  // the writer sleeps until a line arrives
    bool stopping;    // CloseLogFile asks for the end
    bool abandoned;   // CloseLogFile gave up waiting: call nothing outside
    bool callingOut;  // the writer is in statusLine
    // kLogStopped while a stop goes on. Only the writer changes it, so the
    // writer reads it without the lock.
    LogState state;
    char reason[kLogReasonSize];

    // The writer thread's own.
    HANDLE file;
    ULONGLONG nextTry;                  // while stopped: no try before this tick
    bool needArrival;                   // while stopped: nor before a new line
    unsigned long long lostBeforeStop;  // lines dropped before the stop began

    // Set once.
    const char* path;
    LogStatusLine statusLine;
    void* context;
    HANDLE wake;  // auto-reset: a line arrived while the writer slept, or the end
    HANDLE thread;
};

namespace {

void Lock(LogWriter* w) {
    EnterCriticalSection(&w->lock);
}

void Unlock(LogWriter* w) {
    LeaveCriticalSection(&w->lock);
}

// Writes a status line through the sink, unless CloseLogFile has given up on
// this thread (the sink may be gone then). No lock is held during the call.
void CallStatusLine(LogWriter* w, const char* text) {
    Lock(w);
    bool go = !w->abandoned;
    w->callingOut = go;
    Unlock(w);
    if (!go) return;
    w->statusLine(w->context, text);
    Lock(w);
    w->callingOut = false;
    Unlock(w);
}

bool OpenFile(LogWriter* w) {
    w->file = CreateFileA(w->path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                          nullptr);
    if (w->file == INVALID_HANDLE_VALUE) return false;
    // After a failed write the file ends right after the last byte written:
    // appending there resumes the cut line exactly.
    SetFilePointer(w->file, 0, nullptr, FILE_END);
    return true;
}

// Writes what is left of the current run, or a new run. 0, or the error. A
// short write is no error: the next call writes the rest, or learns why not.
DWORD WriteRun(LogWriter* w) {
    const char* bytes = nullptr;
    size_t length = 0;
    Lock(w);
    bool any = NextLogRun(&w->backlog, &bytes, &length);
    Unlock(w);
    if (!any) return 0;
    DWORD written = 0;
    BOOL ok = WriteFile(w->file, bytes, static_cast<DWORD>(length), &written, nullptr);
    DWORD error = ok ? 0 : GetLastError();
    if (!ok && error == 0) error = ERROR_WRITE_FAULT;
    if (ok && written == 0) error = ERROR_WRITE_FAULT;  // success without progress would loop forever
    Lock(w);
    LogRunWritten(&w->backlog, written);
    Unlock(w);
    if (error != 0) {
        // A handle on a removed drive or a lost share never works again;
        // the next try opens the file anew.
        CloseHandle(w->file);
        w->file = INVALID_HANDLE_VALUE;
    }
    return error;
}

// The first failure of a stop writes the status line; later ones only
// update the reason. `retryAfter` and `needArrival` say when to try again.
void Fail(LogWriter* w, DWORD error, DWORD retryAfter, bool needArrival) {
    char reason[kLogReasonSize];
    DescribeSystemError(error, reason, sizeof reason);
    bool first = w->state == kLogWriting;
    Lock(w);
    if (first) {
        // Lines written until now went out in time; the delayed ones are
        // counted from here on.
        unsigned long long written = 0;
        TakeLogCounts(&w->backlog, &written, &w->lostBeforeStop);
    }
    w->state = kLogStopped;
    memcpy(w->reason, reason, sizeof reason);
    Unlock(w);
    w->nextTry = GetTickCount64() + retryAfter;
    w->needArrival = needArrival;
    if (first) {
        char text[kStatusSize];
        FormatLogFailure(w->path, reason, text, sizeof text);
        CallStatusLine(w, text);
    }
}

// Ends a stop once the backlog is out: the state, then the status line.
void ResumeIfDone(LogWriter* w) {
    unsigned long long delayed = 0, lost = 0;
    Lock(w);
    bool done = LogBacklogEmpty(&w->backlog);
    if (done) {
        TakeLogCounts(&w->backlog, &delayed, &lost);
        w->state = kLogWriting;
        w->reason[0] = '\0';
    }
    Unlock(w);
    if (!done) return;
    char text[kStatusSize];
    FormatLogResumed(delayed, w->lostBeforeStop + lost, text, sizeof text);
    CallStatusLine(w, text);
}

// One try: open if need be, write one run, and follow what happened.
void WriteStep(LogWriter* w) {
    if (w->file == INVALID_HANDLE_VALUE && !OpenFile(w)) {
        Fail(w, GetLastError(), kReopenMs, false);
        return;
    }
    DWORD error = WriteRun(w);
    if (error != 0) {
        Fail(w, error, kRetryMs, true);
        return;
    }
    Lock(w);
    bool dropped = w->backlog.linesLost > 0;
    Unlock(w);
    bool stopped = w->state == kLogStopped;
    if (!stopped && dropped) {
        // No write failed, but one took so long that the backlog overflowed:
        // a stop all the same, said as such, and writing goes straight on.
        Fail(w, ERROR_TIMEOUT, 0, false);
    } else if (stopped) {
        // Writing works again: the rest of the backlog goes out at once.
        w->nextTry = GetTickCount64();
        w->needArrival = false;
        ResumeIfDone(w);
    }
}

// Sleeps until there is something to try; false when asked to end.
bool WaitForWork(LogWriter* w) {
    Lock(w);
    for (;;) {
        if (w->stopping) break;
        DWORD timeout = INFINITE;
        bool waiting = !LogBacklogEmpty(&w->backlog);
        bool stopped = w->state == kLogStopped;
        w->wakeOnLine = !waiting;
        if (waiting && !stopped) break;
        if (waiting) {
            ULONGLONG now = GetTickCount64();
            if (now >= w->nextTry && (w->arrived || !w->needArrival)) break;
            // Due by time but not by lines: only a line can make it due.
            w->wakeOnLine = now >= w->nextTry;
            if (now < w->nextTry) timeout = static_cast<DWORD>(w->nextTry - now);
        }
        bool gather = w->wakeOnLine && !stopped;
        Unlock(w);
        WaitForSingleObject(w->wake, timeout);
        if (gather) Sleep(kGatherMs);
        Lock(w);
    }
    w->wakeOnLine = false;
    w->arrived = false;
    bool stop = w->stopping;
    Unlock(w);
    return !stop;
}

// The end: one more pass over what is held, stopped or not, with no retry;
// a stop that ends here still gets its status line into the file.
void WriteOut(LogWriter* w) {
    for (;;) {
        Lock(w);
        bool done = LogBacklogEmpty(&w->backlog) || w->abandoned;
        Unlock(w);
        if (done) return;
        if (w->file == INVALID_HANDLE_VALUE && !OpenFile(w)) return;
        if (WriteRun(w) != 0) return;
        if (w->state == kLogStopped) ResumeIfDone(w);
    }
}

unsigned __stdcall LogWriterThread(void* parameter) {
    LogWriter* w = static_cast<LogWriter*>(parameter);
    while (WaitForWork(w)) WriteStep(w);
    WriteOut(w);
    return 0;
}

void FreeWriter(LogWriter* w) {
    if (w->file != INVALID_HANDLE_VALUE) CloseHandle(w->file);
    if (w->wake) CloseHandle(w->wake);
    if (w->thread) CloseHandle(w->thread);
    FreeLogBacklog(&w->backlog);
    DeleteCriticalSection(&w->lock);
    delete w;
}

}  // namespace

bool OpenLogFile(LogFile* log, const char* path, size_t backlogBytes, LogStatusLine statusLine, void* context) {
    log->writer = nullptr;
    LogWriter* w = new (std::nothrow) LogWriter();
    if (!w) return false;
    InitializeCriticalSection(&w->lock);
    w->file = INVALID_HANDLE_VALUE;
    w->state = kLogWriting;
    w->path = path;
    w->statusLine = statusLine;
    w->context = context;
    w->wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!w->wake || !MakeLogBacklog(&w->backlog, backlogBytes, kLogRunBytes)) {
        FreeWriter(w);
        return false;
    }
    uintptr_t thread = _beginthreadex(nullptr, 0, LogWriterThread, w, 0, nullptr);
    if (thread == 0) {
        FreeWriter(w);
        return false;
    }
    w->thread = reinterpret_cast<HANDLE>(thread);
    log->writer = w;
    return true;
}

void WriteLogLine(LogFile* log, const char* bytes, size_t length) {
    LogWriter* w = log->writer;
    if (!w) return;
    Lock(w);
    AppendLogLine(&w->backlog, bytes, length);
    w->arrived = true;
    bool wake = w->wakeOnLine;
    w->wakeOnLine = false;  // one wake-up per sleep, however many lines follow
    Unlock(w);
    if (wake) SetEvent(w->wake);
}

void CloseLogFile(LogFile* log) {
    LogWriter* w = log->writer;
    if (!w) return;
    log->writer = nullptr;
    Lock(w);
    w->stopping = true;
    Unlock(w);
    SetEvent(w->wake);
    if (WaitForSingleObject(w->thread, kCloseWaitMs) == WAIT_TIMEOUT) {
        Lock(w);
        w->abandoned = true;
        bool callingOut = w->callingOut;
        Unlock(w);
        // A status line in progress is quick (it waits for no write), and
        // the writer ends right after it: wait for that, as the sink it
        // writes to is freed next. Otherwise the writer is left in its write
        // with its record; it calls nothing outside when it comes back.
        if (!callingOut) return;
        WaitForSingleObject(w->thread, INFINITE);
    }
    FreeWriter(w);
}

LogState GetLogFileState(const LogFile* log, char* reason, size_t size) {
    LogWriter* w = log->writer;
    if (size > 0) reason[0] = '\0';
    if (!w) return kLogWriting;
    Lock(w);
    LogState state = w->state;
    if (size > 0) {
        strncpy(reason, w->reason, size - 1);
        reason[size - 1] = '\0';
    }
    Unlock(w);
    return state;
}

bool LogFileIdle(const LogFile* log) {
    LogWriter* w = log->writer;
    if (!w) return true;
    Lock(w);
    // A run being written is still in the backlog: it leaves once written.
    bool idle = LogBacklogEmpty(&w->backlog);
    Unlock(w);
    return idle;
}
