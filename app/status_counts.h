// The status bar's figures and texts: entries received, their rate over the
// last few seconds, the entries appended since the view left its end, and
// the Shift-JIS text of each field. Pure arithmetic and formatting (no
// window headers), so that it builds natively and is tested fast.
#pragma once

#include <cstddef>
#include <cstdint>

enum {
    // Samples of the received count kept for the rate: at one every 250 ms,
    // 20 intervals span the last 5 seconds.
    kRateSamples = 21,
};

struct StatusCounts {
    uint32_t ticks[kRateSamples];   // milliseconds (GetTickCount's, which wraps)
    uint64_t counts[kRateSamples];  // entries received by then
    int samples;                    // samples in use, up to kRateSamples
    int next;                       // ring slot of the next sample
    uint64_t newEntries;            // entries appended since the view left its end; 0 while it follows
};

// Starts empty: no samples, no new entries (the view following its end).
void ResetStatusCounts(StatusCounts* c);
// Takes one sample: the entries received so far at `tick`, and whether the
// view keeps its end in view.
void NoteStatusSample(StatusCounts* c, uint32_t tick, uint64_t received, bool following);
// `count` entries were appended to the view, which kept its end in view
// before they came (`following`) or not: then they are new to the user.
// Asked on the thread that scrolls the view, right before the appends, so
// that every entry after a scroll away counts.
void NoteEntriesAppended(StatusCounts* c, uint64_t count, bool following);
// Entries a second between the oldest and the newest sample kept, rounded
// down; 0 before two samples or when no time passed between them.
uint64_t EntriesPerSecond(const StatusCounts* c);
// Entries appended since the view left its end (0 while it follows it).
uint64_t EntriesSinceAway(const StatusCounts* c);

// The fields of the bar, left to right.
enum StatusField {
    kFieldReceived,  // 受信 N 件
    kFieldRate,      // N 件/秒
    kFieldLines,     // 表示 N 行
    kFieldLog,       // ログ: 書き込み中, or ログ: 停止 with the reason
    kFieldFollow,    // 末尾に追従, or 新着 N 件
    kFieldFilter,    // フィルター: N / M 件 while a filter is in force, フィルターの誤り: ... after a bad one
    kFieldAlerts,    // 通知 N 件 while there is an alert rule, else empty
    kStatusFields
};

struct StatusFigures {
    uint64_t received;
    uint64_t perSecond;
    uint64_t lines;
    bool logStopped;
    const char* logReason;  // Shift-JIS, "" when there is none
    bool following;
    uint64_t newEntries;  // entries since the view left its end
    bool filtering;       // a filter is in force
    uint64_t shown;       // kept entries that it shows
    uint64_t kept;        // entries kept
    const char* filterError;  // Shift-JIS: why the last filter tried was refused; null or "" for none
    bool alerting;        // an alert rule is set
    uint64_t alerts;      // its matches since the window was last activated
};

// The text of `field` in Shift-JIS, numbers grouped by thousands with
// commas; cut at `size` bytes, never inside a double-byte character.
void FormatStatusField(const StatusFigures* f, int field, char* out, size_t size);
