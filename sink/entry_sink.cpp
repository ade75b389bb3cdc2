// The entry sink. The log file gets every line whatever the queue does: an
// entry that finds the queue full is left out of the view only, and once
// the queue has drained to half, one status line (in the log file and the
// view at the same place) says how many the view is missing.
#include "sink/entry_sink.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "logfile/log_backlog.h"
#include "syslog/texts.h"

namespace {

// Queues the built entry's view text, after the status line owed for any
// entries the queue dropped. Under the lock.
void QueueEntryView(EntrySink* sink, const EntryText* entry);

// Writes the built entry of time `when`: the log line, then the view text.
// Under the lock.
void EmitBuilt(EntrySink* sink, const EntryText* entry, time_t when) {
    WriteLogLine(&sink->log, entry->log, entry->logLength, when);
    QueueEntryView(sink, entry);
}

void QueueEntryView(EntrySink* sink, const EntryText* entry) {
    uint64_t dropped = TakeDropCount(&sink->queue.entries);
    if (dropped != 0) {
        // Built in a record of its own: the entry being written is still in use.
        char text[128];
        snprintf(text, sizeof text, kTextViewMissedFormat, static_cast<unsigned long long>(dropped));
        EntryText* status = sink->missedLine;
        time_t now = CurrentTime();
        BuildStatusLine(&sink->blocks.times, status, now, text);
        WriteLogLine(&sink->log, status->log, status->logLength, now);
        QueueViewText(&sink->queue, status->view, status->viewLength);
    }
    QueueViewText(&sink->queue, entry->view, entry->viewLength);
}

// The log file's status lines (its writer stopped or resumed) take the same
// road as every other line.
void WriteLogStatusLine(void* sink, const char* text) {
    WriteStatusLine(static_cast<EntrySink*>(sink), text);
}

}  // namespace

time_t CurrentTime() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER ticks;  // 100-nanosecond intervals since 1601
    ticks.LowPart = now.dwLowDateTime;
    ticks.HighPart = now.dwHighDateTime;
    const ULONGLONG kTicksTo1970 = 116444736000000000ULL, kTicksPerSecond = 10000000ULL;
    return static_cast<time_t>((ticks.QuadPart - kTicksTo1970) / kTicksPerSecond);
}

bool OpenEntrySink(EntrySink* sink, const char* logPath, int keepDays, size_t queueBytes, HWND notify,
                   UINT notifyMessage) {
    InitializeCriticalSection(&sink->lock);
    StartBlockState(&sink->blocks);
    sink->entries.store(0);
    sink->log.writer = nullptr;
    sink->charset.store(kCharsetAuto);
    sink->work = static_cast<SyslogMessage*>(malloc(sizeof(SyslogMessage)));
    sink->entry = static_cast<EntryText*>(malloc(sizeof(EntryText)));
    sink->missedLine = static_cast<EntryText*>(malloc(sizeof(EntryText)));
    bool queued = OpenViewQueue(&sink->queue, queueBytes, notify, notifyMessage);
    // Last: the log file's writer may write status lines through the sink.
    if (!sink->work || !sink->entry || !sink->missedLine || !queued ||
        !OpenLogFile(&sink->log, logPath, keepDays, kLogBacklogBytes, WriteLogStatusLine, sink)) {
        CloseEntrySink(sink);
        return false;
    }
    return true;
}

void CloseEntrySink(EntrySink* sink) {
    // First: the log file's writer may write status lines through the sink
    // until it ends.
    CloseLogFile(&sink->log);
    CloseViewQueue(&sink->queue);
    free(sink->work);
    free(sink->entry);
    free(sink->missedLine);
    sink->work = nullptr;
    sink->entry = nullptr;
    sink->missedLine = nullptr;
    DeleteCriticalSection(&sink->lock);
}

void SetEntryCharset(EntrySink* sink, CharsetMode charset) {
    sink->charset.store(charset, std::memory_order_relaxed);
}

void FormatEntry(EntrySink* sink, time_t receiveTime, const SenderAddress* sender, const char* bytes,
                 size_t length) {
    // Nothing else hangs on the choice, so the entry reads it when it starts.
    CharsetMode charset = static_cast<CharsetMode>(sink->charset.load(std::memory_order_relaxed));
    EnterCriticalSection(&sink->lock);
    BuildEntry(&sink->blocks, sink->work, sink->entry, sender, receiveTime, bytes, length, charset);
    EmitBuilt(sink, sink->entry, receiveTime);
    sink->entries.fetch_add(1, std::memory_order_relaxed);
    LeaveCriticalSection(&sink->lock);
}

void WriteStatusLine(EntrySink* sink, const char* text) {
    EnterCriticalSection(&sink->lock);
    time_t now = CurrentTime();
    BuildStatusLine(&sink->blocks.times, sink->entry, now, text);
    EmitBuilt(sink, sink->entry, now);
    LeaveCriticalSection(&sink->lock);
}
