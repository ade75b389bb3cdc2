// The entry sink. The log file gets every line whatever the queue does: an
// entry that finds the queue full is left out of the view only, and once
// the queue has drained below half, one status line (in the log file and the
// view at the same place, before the next entry, or on its own when none
// comes) says how many the view is missing.
#include "sink/entry_sink.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "logfile/log_backlog.h"
#include "syslog/texts.h"

namespace {

void QueueFields(EntrySink* sink, const EntryFields* fields) {
    // Every entry and status line fits a record (its sizes are bounded).
    size_t length = PackEntryFields(fields, sink->packed, kMaxPackedFields);
    if (length != 0) QueueViewText(&sink->queue, sink->packed, length);
}

// The status line for `dropped` entries the view could not take, ahead of
// the record that is to follow (`nextLength` bytes packed, or kNoRecord): in
// the log file and the view at the same place. Until both fit the queue goes
// on dropping and counting, so the count is never lost; `closing`, the log
// file gets the line whatever the queue holds. Built in records of its own:
// the entry being written is still in use. Under the lock.
void QueueMissedLine(EntrySink* sink, uint64_t dropped, size_t nextLength, bool closing) {
    if (dropped == 0) return;
    char text[128], clock[kTimeTextSize];
    snprintf(text, sizeof text, kTextViewMissedFormat, static_cast<unsigned long long>(dropped));
    EntryFields status;
    time_t now = CurrentTime();
    ReadStatusFields(&sink->blocks.times, now, text, clock, &status);
    bool fits = EndDropping(&sink->queue.entries, PackedFieldsSize(&status), nextLength);
    if (!fits && !closing) return;
    ComposeEntry(nullptr, &status, sink->missedLine, kComposeLog);
    WriteLogLine(&sink->log, sink->missedLine->log, sink->missedLine->logLength, now);
    if (fits) QueueFields(sink, &status);
}

// Writes the entry of time `when` whose log line is built: the status line
// owed for entries the view missed, then the log line and the fields for
// the view. Under the lock.
void EmitBuilt(EntrySink* sink, const EntryFields* fields, time_t when) {
    // Measuring the record is left to the rare entry that has a line owed before it.
    uint64_t dropped = DropCountDue(&sink->queue.entries);
    if (dropped != 0) QueueMissedLine(sink, dropped, PackedFieldsSize(fields), false);
    WriteLogLine(&sink->log, sink->entry->log, sink->entry->logLength, when);
    QueueFields(sink, fields);
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
    sink->work = static_cast<EntryWork*>(malloc(sizeof(EntryWork)));
    sink->entry = static_cast<EntryText*>(malloc(sizeof(EntryText)));
    sink->missedLine = static_cast<EntryText*>(malloc(sizeof(EntryText)));
    sink->packed = static_cast<char*>(malloc(kMaxPackedFields));
    bool queued = OpenViewQueue(&sink->queue, queueBytes, notify, notifyMessage);
    // Last: the log file's writer may write status lines through the sink.
    if (!sink->work || !sink->entry || !sink->missedLine || !sink->packed || !queued ||
        !OpenLogFile(&sink->log, logPath, keepDays, kLogBacklogBytes, WriteLogStatusLine, sink)) {
        CloseEntrySink(sink);
        return false;
    }
    return true;
}

void CloseEntrySink(EntrySink* sink) {
    // The view is going away: the log file says how many it missed, at the
    // latest now, whatever the queue holds.
    EnterCriticalSection(&sink->lock);
    if (sink->queue.entries.dropping && sink->missedLine && sink->packed)
        QueueMissedLine(sink, sink->queue.entries.dropped, kNoRecord, true);
    LeaveCriticalSection(&sink->lock);
    // Then the log file: its writer may write status lines through the sink
    // until it ends.
    CloseLogFile(&sink->log);
    CloseViewQueue(&sink->queue);
    free(sink->work);
    free(sink->entry);
    free(sink->missedLine);
    free(sink->packed);
    sink->work = nullptr;
    sink->entry = nullptr;
    sink->missedLine = nullptr;
    sink->packed = nullptr;
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
    EntryFields fields;
    ReadEntryFields(&sink->blocks.times, sink->work, sender, receiveTime, bytes, length, charset, &fields);
    ComposeEntry(&sink->blocks, &fields, sink->entry, kComposeLog);
    EmitBuilt(sink, &fields, receiveTime);
    sink->entries.fetch_add(1, std::memory_order_relaxed);
    LeaveCriticalSection(&sink->lock);
}

void ReportViewMissed(EntrySink* sink) {
    EnterCriticalSection(&sink->lock);
    QueueMissedLine(sink, DropCountDue(&sink->queue.entries), kNoRecord, false);
    LeaveCriticalSection(&sink->lock);
}

void WriteStatusLine(EntrySink* sink, const char* text) {
    EnterCriticalSection(&sink->lock);
    char clock[kTimeTextSize];
    time_t now = CurrentTime();
    EntryFields fields;
    ReadStatusFields(&sink->blocks.times, now, text, clock, &fields);
    ComposeEntry(nullptr, &fields, sink->entry, kComposeLog);
    EmitBuilt(sink, &fields, now);
    LeaveCriticalSection(&sink->lock);
}
