// The log file's writer. It sleeps until lines arrive, gathers them for a
// moment and writes them in runs. A failed write (or an open that fails) is
// the start of a stop: one status line with the system's reason, then the
// lines wait in the backlog and the writer tries again, a write at most once
// a second and only after a new line arrived, an open every few seconds.
// When a try works, the backlog goes out first, then one status line counts
// the lines that went out late and those the backlog had to drop.
// Before it writes, at most once a second, the writer makes sure the file it
// holds is still the one at its path: another program may have renamed,
// deleted or replaced it (the file is shared for deletion, and Linux under
// Wine renames whatever the share mode). It then starts a new file at the
// path, and when the old one has no name left, the lines written to it since
// the last look are written again to the new one.
#include "logfile/log_file.h"

#include <process.h>

#include <cstdlib>
#include <cstring>
#include <new>

#include "logfile/log_backlog.h"
#include "logfile/log_pattern.h"
#include "logfile/log_retention.h"
#include "logfile/log_status.h"

namespace {

enum : DWORD {
    kRetryMs = 1000,   // a failed write is tried again at most this often
    kReopenMs = 3000,  // a file that cannot be opened, this often
    kCheckMs = 1000,   // the open file is compared with its path at most this often
    // Lines that arrive together go out in one write: the writer, woken by
    // the first, waits this long before it takes them. Fewer wake-ups and
    // writes for the reception thread to pay for in a burst.
    kGatherMs = 2,
    // At the end, the lines held get this long to reach the file. A write
    // on a share that went away can hang for tens of seconds; the program
    // ends without waiting for it, and those lines stay unwritten.
    kCloseWaitMs = 5000,
    kStatusSize = 2048,
};

enum : size_t {
    kLogNameSize = 1024,  // a dated file's path; a longer one cannot be opened
    // The bytes written since the file was last compared with its path: a
    // look is due once they fill this, however soon.
    kRecentBytes = kLogRunBytes,
};

// The seconds a name surely holds for: a minute, as every time zone's
// offset is whole minutes. The name is worked out again for the next one.
const long long kNameSpanSeconds = 60;

}  // namespace

struct LogWriter {
    CRITICAL_SECTION lock;  // guards the fields below up to `file`
    LogBacklog backlog;
    bool arrived;     // a line was kept since the writer's last try
    bool wakeOnLine;  // the writer sleeps until a line arrives
    bool stopping;    // CloseLogFile asks for the end
    bool abandoned;   // CloseLogFile gave up waiting: call nothing outside
    bool callingOut;  // the writer is in statusLine
    // The lines written since the last look went to a file that has no name
    // any more: they are written again, before the backlog. Only the writer
    // changes it.
    bool redoing;
    // kLogStopped while a stop goes on. Only the writer changes it, so the
    // writer reads it without the lock.
    LogState state;
    char reason[kLogReasonSize];

    // The writer thread's own.
    HANDLE file;
    ULONGLONG nextTry;                  // while stopped: no try before this tick
    bool needArrival;                   // while stopped: nor before a new line
    unsigned long long lostBeforeStop;  // lines dropped before the stop began
    // The file of the lines to go out: `path` is the pattern itself when it
    // has no field, else `name`, its expansion, which holds for the lines of
    // times in [nameFrom, nameTo).
    const char* path;
    char name[kLogNameSize];
    long long nameFrom, nameTo;
    bool retentionDue;  // a new name: the retention runs once it is open
    // The open file's identity, when it is a file on a disk that has one.
    bool identified;
    DWORD volume, indexHigh, indexLow;
    ULONGLONG nextCheck;  // no look at the path before this tick
    char* recent;         // the bytes written since the last look
    size_t recentLength;
    size_t redone;  // while redoing: of them, written again

    // Set once.
    const char* pattern;
    bool dated;  // the pattern has fields: names change, lines carry their time
    int keepDays;
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

void RetentionLine(void* writer, const char* text) {
    CallStatusLine(static_cast<LogWriter*>(writer), text);
}

void SetRedoing(LogWriter* w, bool redoing) {
    Lock(w);
    w->redoing = redoing;
    Unlock(w);
}

// The local date and hour of `when`; of now when the C run-time has none.
LogDate LocalDate(time_t when, long long* minuteStart) {
    const struct tm* local = localtime(&when);
    if (!local) {
        when = time(nullptr);
        local = localtime(&when);
    }
    LogDate date = {1970, 1, 1, 0};
    *minuteStart = when;
    if (local) {
        date = {local->tm_year + 1900, local->tm_mon + 1, local->tm_mday, local->tm_hour};
        *minuteStart = when - local->tm_sec;
    }
    return date;
}

// Makes every folder of `path` that is missing. The error of the last
// folder that could not be made, or 0: a name that exists already (a drive,
// a share) is no error.
DWORD MakeFolders(const char* path) {
    char folder[kLogNameSize];
    DWORD error = 0;
    for (size_t i = 0; path[i] != '\0' && i < sizeof folder; i++) {
        if (IsDBCSLeadByte(static_cast<BYTE>(path[i])) && path[i + 1] != '\0') {
            i++;  // a trail byte may be 0x5C, and separates nothing
            continue;
        }
        if ((path[i] != '\\' && path[i] != '/') || i == 0 || path[i - 1] == ':' || path[i - 1] == '\\' ||
            path[i - 1] == '/')
            continue;
        memcpy(folder, path, i);
        folder[i] = '\0';
        if (!CreateDirectoryA(folder, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            error = GetLastError();
    }
    return error;
}

// Keeps what the open file is, for the looks at its path. A pipe or a device
// has no identity to compare, and its path must not be opened again.
void Identify(LogWriter* w) {
    BY_HANDLE_FILE_INFORMATION info;
    w->identified = GetFileType(w->file) == FILE_TYPE_DISK && GetFileInformationByHandle(w->file, &info);
    if (!w->identified) return;
    w->volume = info.dwVolumeSerialNumber;
    w->indexHigh = info.nFileIndexHigh;
    w->indexLow = info.nFileIndexLow;
}

// Whether the open file is on its way out: no name left, or its deletion
// pending (Windows keeps the name until the last handle closes).
bool Unlinked(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileInformationByHandle(file, &info) && info.nNumberOfLinks == 0) return true;
    FILE_STANDARD_INFO standard;
    return GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof standard) &&
           standard.DeletePending;
}

// Whether the file at the path is the one held open. When the path cannot
// be looked at for another reason than its absence, the answer is yes:
// only a change that is seen starts a new file.
bool SameFileAtPath(LogWriter* w) {
    HANDLE other = CreateFileA(w->path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (other == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return false;
        return !Unlinked(w->file);
    }
    BY_HANDLE_FILE_INFORMATION info;
    bool same = !GetFileInformationByHandle(other, &info) ||
                (info.dwVolumeSerialNumber == w->volume && info.nFileIndexHigh == w->indexHigh &&
                 info.nFileIndexLow == w->indexLow);
    CloseHandle(other);
    return same;
}

void CloseFile(LogWriter* w) {
    CloseHandle(w->file);
    w->file = INVALID_HANDLE_VALUE;
}

// Looks whether the open file is still the one at its path. When it is not,
// it is closed, so that the next write opens a new one there; when it has
// no name left, the lines written to it since the last look are due again.
void CheckFile(LogWriter* w) {
    w->nextCheck = GetTickCount64() + kCheckMs;
    if (w->file == INVALID_HANDLE_VALUE || !w->identified) return;
    if (SameFileAtPath(w)) {
        w->recentLength = 0;
        return;
    }
    bool gone = Unlinked(w->file);
    CloseFile(w);
    if (gone && w->recentLength > 0) {
        w->redone = 0;
        SetRedoing(w, true);
    } else {
        w->recentLength = 0;  // they are in the renamed file
    }
}

// Makes `path` name the file of the next line to go out. A line whose time
// lies outside the current name's minute takes the name of its own time; a
// new name closes the file of the old one, looked at first, so that lines
// written to a deleted one are written again before the switch. False when
// the name does not fit.
bool FollowName(LogWriter* w) {
    if (!w->dated) return true;
    long long when = 0;
    Lock(w);
    bool any = NextLogTime(&w->backlog, &when);
    Unlock(w);
    if (!any || (when >= w->nameFrom && when < w->nameTo)) return true;
    long long from = 0;
    LogDate date = LocalDate(static_cast<time_t>(when), &from);
    char name[kLogNameSize];
    if (!ExpandLogPattern(w->pattern, date, name, sizeof name)) return false;
    if (strcmp(name, w->name) != 0) {
        if (w->file != INVALID_HANDLE_VALUE) {
            CheckFile(w);
            if (w->redoing) return true;  // the old file's lines first
            if (w->file != INVALID_HANDLE_VALUE) CloseFile(w);
        }
        memcpy(w->name, name, strlen(name) + 1);
        w->retentionDue = w->keepDays != kKeepEveryDay;
        w->recentLength = 0;
    }
    w->nameFrom = from;
    w->nameTo = from + kNameSpanSeconds;
    return true;
}

// Deletes the old files of the pattern, as a new file has started.
void RunRetention(LogWriter* w) {
    time_t now = time(nullptr);
    long long unused = 0;
    LogDate today = LocalDate(now, &unused);
    DeleteExpiredLogFiles(w->pattern, w->keepDays, today, w->path, RetentionLine, w);
}

bool OpenFile(LogWriter* w) {
    w->file = CreateFileA(w->path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    if (w->file == INVALID_HANDLE_VALUE && w->dated && GetLastError() == ERROR_PATH_NOT_FOUND) {
        DWORD folders = MakeFolders(w->path);
        w->file = CreateFileA(w->path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        // The reason a folder could not be made says more than "not found".
        if (w->file == INVALID_HANDLE_VALUE && folders != 0 && GetLastError() == ERROR_PATH_NOT_FOUND)
            SetLastError(folders);
    }
    if (w->file == INVALID_HANDLE_VALUE) return false;
    // After a failed write the file ends right after the last byte written:
    // appending there resumes the cut line exactly.
    SetFilePointer(w->file, 0, nullptr, FILE_END);
    Identify(w);
    w->nextCheck = GetTickCount64() + kCheckMs;
    if (!w->redoing) w->recentLength = 0;
    if (w->retentionDue) {
        w->retentionDue = false;
        RunRetention(w);
    }
    return true;
}

// Writes `length` bytes; 0, or the error. A short write is no error: the
// caller writes the rest next time, or learns why not.
DWORD WriteBytes(LogWriter* w, const char* bytes, size_t length, DWORD* written) {
    *written = 0;
    BOOL ok = WriteFile(w->file, bytes, static_cast<DWORD>(length), written, nullptr);
    DWORD error = ok ? 0 : GetLastError();
    if (!ok && error == 0) error = ERROR_WRITE_FAULT;
    if (ok && *written == 0) error = ERROR_WRITE_FAULT;  // success without progress would loop forever
    if (error != 0) {
        // A handle on a removed drive or a lost share never works again;
        // the next try opens the file anew.
        CloseFile(w);
    }
    return error;
}

// Writes what is left of the lines due again, or of the current run, or a
// new run; at most what `recent` can still keep. 0, or the error.
DWORD WriteRun(LogWriter* w) {
    DWORD written = 0;
    if (w->redoing) {
        DWORD error = WriteBytes(w, w->recent + w->redone, w->recentLength - w->redone, &written);
        w->redone += written;
        if (w->redone == w->recentLength) SetRedoing(w, false);
        return error;
    }
    const char* bytes = nullptr;
    size_t length = 0;
    Lock(w);
    bool any = w->dated ? NextLogRunWithin(&w->backlog, w->nameFrom, w->nameTo, &bytes, &length)
                        : NextLogRun(&w->backlog, &bytes, &length);
    Unlock(w);
    if (!any) return 0;
    size_t room = w->identified ? kRecentBytes - w->recentLength : length;
    if (length > room) length = room;
    if (length == 0) return 0;  // a look at the path is due first
    DWORD error = WriteBytes(w, bytes, length, &written);
    if (w->identified) {
        memcpy(w->recent + w->recentLength, bytes, written);
        w->recentLength += written;
    }
    Lock(w);
    LogRunWritten(&w->backlog, written);
    Unlock(w);
    return error;
}

// One piece of writing: the file of the next line, looked at when due and
// opened if need be, then one write. 0, or the error; `opening` says
// whether it was the open that failed.
DWORD WriteNext(LogWriter* w, bool* opening) {
    *opening = true;
    if (!w->redoing && !FollowName(w)) return ERROR_FILENAME_EXCED_RANGE;
    if (w->file != INVALID_HANDLE_VALUE &&
        (GetTickCount64() >= w->nextCheck || w->recentLength == kRecentBytes))
        CheckFile(w);
    if (w->file == INVALID_HANDLE_VALUE && !OpenFile(w)) return GetLastError();
    *opening = false;
    return WriteRun(w);
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
        // A name too long to be made is shown as the pattern.
        FormatLogFailure(w->path[0] != '\0' ? w->path : w->pattern, reason, text, sizeof text);
        CallStatusLine(w, text);
    }
}

bool NothingWaits(LogWriter* w) {
    return LogBacklogEmpty(&w->backlog) && !w->redoing;
}

// Ends a stop once the backlog is out: the state, then the status line.
void ResumeIfDone(LogWriter* w) {
    unsigned long long delayed = 0, lost = 0;
    Lock(w);
    bool done = NothingWaits(w);
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

// One try: a write, and what follows from it.
void WriteStep(LogWriter* w) {
    bool opening = false;
    DWORD error = WriteNext(w, &opening);
    if (error != 0) {
        Fail(w, error, opening ? kReopenMs : kRetryMs, !opening);
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
        bool waiting = !NothingWaits(w);
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
// a stop that ends here still gets its status line into the file. Then a
// last look at the path, so that lines written to a file deleted in the
// last second are not lost.
void WriteOut(LogWriter* w) {
    for (bool looked = false;;) {
        Lock(w);
        bool done = NothingWaits(w), abandoned = w->abandoned;
        Unlock(w);
        if (abandoned) return;
        if (done) {
            if (looked || w->file == INVALID_HANDLE_VALUE) return;
            CheckFile(w);
            looked = true;
            continue;
        }
        bool opening = false;
        if (WriteNext(w, &opening) != 0) return;
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
    free(w->recent);
    DeleteCriticalSection(&w->lock);
    delete w;
}

}  // namespace

bool OpenLogFile(LogFile* log, const char* path, int keepDays, size_t backlogBytes, LogStatusLine statusLine,
                 void* context) {
    log->writer = nullptr;
    LogWriter* w = new (std::nothrow) LogWriter();
    if (!w) return false;
    InitializeCriticalSection(&w->lock);
    w->file = INVALID_HANDLE_VALUE;
    w->state = kLogWriting;
    w->pattern = path;
    // "%%" alone still names one file, but not as written.
    w->dated = strchr(path, '%') != nullptr;
    w->path = w->dated ? w->name : path;
    w->keepDays = keepDays;
    w->retentionDue = w->dated && keepDays != kKeepEveryDay;
    w->statusLine = statusLine;
    w->context = context;
    w->wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    w->recent = static_cast<char*>(malloc(kRecentBytes));
    if (!w->wake || !w->recent || !MakeLogBacklog(&w->backlog, backlogBytes, kLogRunBytes, w->dated)) {
        FreeWriter(w);
        return false;
    }
    // Before the thread starts: its status lines may come back to this log.
    log->writer = w;
    uintptr_t thread = _beginthreadex(nullptr, 0, LogWriterThread, w, 0, nullptr);
    if (thread == 0) {
        log->writer = nullptr;
        FreeWriter(w);
        return false;
    }
    w->thread = reinterpret_cast<HANDLE>(thread);
    return true;
}

void WriteLogLine(LogFile* log, const char* bytes, size_t length, time_t when) {
    LogWriter* w = log->writer;
    if (!w) return;
    Lock(w);
    AppendLogLine(&w->backlog, bytes, length, static_cast<long long>(when));
    w->arrived = true;
    bool wake = w->wakeOnLine;
    w->wakeOnLine = false;  // one wake-up per sleep, however many lines follow
    Unlock(w);
    if (wake) SetEvent(w->wake);
}

void CloseLogFile(LogFile* log) {
    LogWriter* w = log->writer;
    if (!w) return;
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
        if (!callingOut) {
            log->writer = nullptr;
            return;
        }
        WaitForSingleObject(w->thread, INFINITE);
    }
    // Only now that the writer has ended (or calls out no more): its last
    // write-out may end a stop, and that status line comes back through the
    // sink into this log file.
    log->writer = nullptr;
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
    bool idle = NothingWaits(w);
    Unlock(w);
    return idle;
}
