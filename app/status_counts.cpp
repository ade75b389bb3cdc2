// Counting and texts of the status bar's fields (see status_counts.h).
#include "app/status_counts.h"

#include <cstdio>
#include <cstring>

#include "syslog/charset.h"

namespace {

// Shift-JIS texts of the fields.
#define kTextReceived "\x8e\xf3\x90M "                                             // 受信
#define kTextEntries " \x8c\x8f"                                                   // 件
#define kTextPerSecond " \x8c\x8f/\x95\x62"                                        // 件/秒
#define kTextShown "\x95\x5c\x8e\xa6 "                                             // 表示
#define kTextLines " \x8ds"                                                        // 行
#define kTextLogWriting "\x83\x8d\x83O: \x8f\x91\x82\xab\x8d\x9e\x82\xdd\x92\x86"  // ログ: 書き込み中
#define kTextLogStopped "\x83\x8d\x83O: \x92\xe2\x8e~"                             // ログ: 停止
#define kTextFollowing "\x96\x96\x94\xf6\x82\xc9\x92\xc7\x8f]"                     // 末尾に追従
#define kTextNew "\x90V\x92\x85 "                                                  // 新着
#define kTextAlerts "\x92\xca\x92m "                                               // 通知
#define kTextFilter "\x83\x74\x83\x42\x83\x8b\x83\x5e\x81\x5b: "                      // フィルター:
#define kTextFilterError "\x83\x74\x83\x42\x83\x8b\x83\x5e\x81\x5b\x82\xcc\x8c\xeb\x82\xe8: "  // フィルターの誤り:

// "1,234,567": the digits of n in groups of three.
void Grouped(uint64_t n, char* out) {
    char digits[24];
    int count = snprintf(digits, sizeof digits, "%llu", static_cast<unsigned long long>(n));
    for (int i = 0; i < count; i++) {
        *out++ = digits[i];
        if ((count - i - 1) % 3 == 0 && i < count - 1) *out++ = ',';
    }
    *out = '\0';
}

}  // namespace

void ResetStatusCounts(StatusCounts* c) {
    memset(c, 0, sizeof *c);
}

void NoteStatusSample(StatusCounts* c, uint32_t tick, uint64_t received, bool following) {
    c->ticks[c->next] = tick;
    c->counts[c->next] = received;
    c->next = (c->next + 1) % kRateSamples;
    if (c->samples < kRateSamples) c->samples++;
    if (following) c->newEntries = 0;
}

void NoteEntriesAppended(StatusCounts* c, uint64_t count, bool following) {
    c->newEntries = following ? 0 : c->newEntries + count;
}

uint64_t EntriesPerSecond(const StatusCounts* c) {
    if (c->samples < 2) return 0;
    int newest = (c->next + kRateSamples - 1) % kRateSamples;
    int oldest = (c->next + kRateSamples - c->samples) % kRateSamples;
    uint32_t elapsed = c->ticks[newest] - c->ticks[oldest];  // unsigned: right across a wrap
    if (elapsed == 0) return 0;
    return (c->counts[newest] - c->counts[oldest]) * 1000 / elapsed;
}

uint64_t EntriesSinceAway(const StatusCounts* c) {
    return c->newEntries;
}

void FormatStatusField(const StatusFigures* f, int field, char* out, size_t size) {
    char number[32];
    char text[600];
    switch (field) {
        case kFieldReceived:
            Grouped(f->received, number);
            snprintf(text, sizeof text, kTextReceived "%s" kTextEntries, number);
            break;
        case kFieldRate:
            Grouped(f->perSecond, number);
            snprintf(text, sizeof text, "%s" kTextPerSecond, number);
            break;
        case kFieldLines:
            Grouped(f->lines, number);
            snprintf(text, sizeof text, kTextShown "%s" kTextLines, number);
            break;
        case kFieldLog:
            if (!f->logStopped)
                snprintf(text, sizeof text, kTextLogWriting);
            else if (f->logReason && f->logReason[0] != '\0')
                snprintf(text, sizeof text, kTextLogStopped " (%s)", f->logReason);
            else
                snprintf(text, sizeof text, kTextLogStopped);
            break;
        case kFieldFollow:
            Grouped(f->newEntries, number);
            if (f->following)
                snprintf(text, sizeof text, kTextFollowing);
            else
                snprintf(text, sizeof text, kTextNew "%s" kTextEntries, number);
            break;
        case kFieldFilter:
            if (f->filterError && f->filterError[0] != '\0') {
                snprintf(text, sizeof text, kTextFilterError "%s", f->filterError);
            } else if (f->filtering) {
                char kept[32];
                Grouped(f->shown, number);
                Grouped(f->kept, kept);
                snprintf(text, sizeof text, kTextFilter "%s / %s" kTextEntries, number, kept);
            } else {
                text[0] = '\0';
            }
            break;
        case kFieldAlerts:
            Grouped(f->alerts, number);
            if (f->alerting)
                snprintf(text, sizeof text, kTextAlerts "%s" kTextEntries, number);
            else
                text[0] = '\0';
            break;
        default:
            text[0] = '\0';
            break;
    }
    CopyWholeCharacters(out, size, text);
}
