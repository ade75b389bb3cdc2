// The road of every entry and status line once it is read: its line to the
// log file, then its fields onto the queue to the window thread, which makes
// the view text from them, both under one lock, so that whichever thread
// writes (the reception thread, or the log file's writer with its status
// lines), the log file and the view see the same order. The window thread
// never takes the lock: it reads the queue (queue/view_queue.h).
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <ctime>

#include "logfile/log_file.h"
#include "queue/view_queue.h"
#include "syslog/entry_text.h"

enum : size_t {
    kDefaultQueueBytes = 32u << 20,  // about 250,000 typical entries waiting for the view
};

struct EntrySink {
    // The producers' lock, taken before the log file's (log_file.h); the
    // window thread never takes it.
    CRITICAL_SECTION lock;
    BlockState blocks;      // over every entry: the log file's separators and headers
    EntryWork* work;        // the scratch of reading an entry
    EntryText* entry;       // the log line being built
    EntryText* missedLine;  // the status line for entries the view could not take
    char* packed;           // the fields as the queue takes them (kMaxPackedFields bytes)
    LogFile log;
    ViewQueue queue;
    std::atomic<uint64_t> entries;  // entries written since the start
    // The character set the view shows message texts in (a CharsetMode):
    // written by the window thread (the View menu), read for every entry.
    std::atomic<int> charset;
};

// Makes the buffers (all of them now: nothing is allocated per entry later)
// and opens the log file at `logPath`, a pattern kept `keepDays` (see
// log_file.h: a file that cannot be opened or written is a stop that status
// lines report, not an error here). False when memory is short.
bool OpenEntrySink(EntrySink* sink, const char* logPath, int keepDays, size_t queueBytes, HWND notify,
                   UINT notifyMessage);
// Writes the status line still owed for entries the view missed to the log
// file, closes the log file and frees the buffers; no thread may write any
// more.
void CloseEntrySink(EntrySink* sink);

// The current time in seconds since 1970, as time(NULL) gives it, from the
// system clock alone: the C run-time's time() also looks up the time zone,
// which under Wine costs a round trip to the server for every datagram.
time_t CurrentTime();

// The character set for entries built from now on; any thread.
void SetEntryCharset(EntrySink* sink, CharsetMode charset);

// Reads the entry of a received datagram or frame and writes it.
void FormatEntry(EntrySink* sink, time_t receiveTime, const SenderAddress* sender, const char* bytes,
                 size_t length);
// Writes "hh:mm:ss text" in blue and red; leaves the block state alone.
void WriteStatusLine(EntrySink* sink, const char* text);
// Writes the status line for entries the view missed once the queue has
// room for it again, when no entry has come to carry it; the reception
// thread calls it every round.
void ReportViewMissed(EntrySink* sink);
