// The log file: every entry's line and every status line, appended to a
// plain file that other programs may read, rename or delete while it is
// written. Lines go into a bounded backlog under the log file's own small
// lock, and a thread of its own writes them, so a write that hangs (a
// network share that went away) never stops reception. A file that cannot
// be opened or written is tried again while its lines wait in order, and
// status lines say when writing stopped, why, and when it resumed.
// The path may hold date fields (log_pattern.h): each line then goes to the
// file its own time names, one file open at a time, and old ones may be
// deleted (log_retention.h).
//
// Locks: the entry sink holds its lock when it calls WriteLogLine, which
// takes the log file's lock; the log file's lock is never held while taking
// another lock, writing or calling out. The writer thread calls its status
// line function (the sink's, which takes the sink's lock, then the log
// file's) holding no lock. So every thread takes the sink's lock before the
// log file's, never the other way round, and no two can wait for each other.
#pragma once

#include <windows.h>

#include <cstddef>
#include <ctime>

#include "logfile/log_pattern.h"

struct LogWriter;  // what the writer thread shares with the callers; log_file.cpp

// Writes a status line among the entries (the sink's WriteStatusLine), so
// that it reaches this file and the view at the same place. Called on the
// writer thread, which holds no lock then.
typedef void (*LogStatusLine)(void* context, const char* text);

struct LogFile {
    // Null when not open. Written by OpenLogFile and CloseLogFile only, and
    // read by the threads that write lines, so it changes only while no
    // other thread writes: before the producers start, and once they and
    // the writer (whose status lines come back here) have ended.
    LogWriter* writer;
};

enum LogState { kLogWriting, kLogStopped };
enum { kLogReasonSize = 512 };  // holds any reason GetLogFileState gives

// Makes the backlog (`backlogBytes`, kLogBacklogBytes for the program) and
// starts the writer, which opens the file when the first line arrives: a
// failure to open shows after that line (the program's start-up line). The
// path is a pattern (log_pattern.h, checked by the caller), kept, not
// copied: it outlives the log file. With date fields, the folders a name
// needs are made, and `keepDays` (or kKeepEveryDay) is the retention, which
// runs as each new file starts. False, with nothing held, when memory or
// the thread cannot be had.
bool OpenLogFile(LogFile* log, const char* path, int keepDays, size_t backlogBytes, LogStatusLine statusLine,
                 void* context);
// Keeps one entry's line (or lines) for the writer; never waits for a write.
// `when` (seconds since 1970) is the line's time: of the arrival for an
// entry, of its writing for a status line; it chooses a dated file.
void WriteLogLine(LogFile* log, const char* bytes, size_t length, time_t when);
// Writes out what is held, then closes the file. A write that still hangs
// after a few seconds is left behind, so that the program can end.
void CloseLogFile(LogFile* log);

// For the window thread: whether lines reach the file and, when they do not,
// the system's reason (Shift-JIS; "" while writing), cut at `size` bytes.
LogState GetLogFileState(const LogFile* log, char* reason, size_t size);
// True when every line kept so far is in the file (or nothing is open).
bool LogFileIdle(const LogFile* log);
