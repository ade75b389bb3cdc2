// Tests of the status bar's figures: the rate over the kept samples, the
// entries counted since the view left its end, and the texts of the fields.
// The expected texts are written in UTF-8 here and compared as Shift-JIS.
#include "app/status_counts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/test_texts.h"

namespace {

struct Sample {
    uint32_t tick;
    uint64_t received;
    bool following;      // before the appends and at the sample
    uint64_t appended;   // entries appended before the sample
    uint64_t perSecond;  // expected after the sample
    uint64_t since;      // expected new entries after it
};

struct SampleCase {
    const char* what;
    std::vector<Sample> samples;
};

TEST(StatusCounts, RateAndEntriesSinceTheViewLeftItsEnd) {
    std::vector<Sample> steady;  // 40 a second for 8 s, then quiet
    for (uint32_t i = 0; i <= 32; i++) steady.push_back({i * 250, i * 10, true, 10, i ? 40u : 0u, 0});
    for (uint32_t i = 1; i <= 21; i++)
        steady.push_back({(32 + i) * 250, 320, true, 0, i < 20 ? (20 - i) * 2u : 0u, 0});
    const SampleCase cases[] = {
        {"one sample", {{1000, 5, true, 0, 0, 0}}},
        {"no time between samples", {{1000, 5, true, 0, 0, 0}, {1000, 9, true, 0, 0, 0}}},
        {"rounded down", {{0, 0, true, 0, 0, 0}, {3000, 10, true, 0, 3, 0}}},
        {"the tick wraps", {{0xFFFFFF00u, 100, true, 0, 0, 0}, {0x00000100u, 150, true, 0, 97, 0}}},
        {"a steady stream, then quiet: the oldest samples drop out", steady},
        {"away and back",
         {{0, 100, true, 5, 0, 0},
          {250, 120, false, 20, 80, 20},  // appended after the view left its end
          {500, 150, false, 30, 100, 50},
          {750, 151, false, 1, 68, 51},
          {1000, 160, true, 9, 60, 0},  // back at the end
          {1250, 170, false, 0, 56, 0},
          {1500, 175, false, 10, 50, 10}}},
    };
    for (const SampleCase& c : cases) {
        StatusCounts counts;
        ResetStatusCounts(&counts);
        for (size_t i = 0; i < c.samples.size(); i++) {
            const Sample& s = c.samples[i];
            NoteEntriesAppended(&counts, s.appended, s.following);
            NoteStatusSample(&counts, s.tick, s.received, s.following);
            EXPECT_EQ(EntriesPerSecond(&counts), s.perSecond) << c.what << ", sample " << i;
            EXPECT_EQ(EntriesSinceAway(&counts), s.since) << c.what << ", sample " << i;
        }
    }
}

struct FieldCase {
    StatusFigures figures;
    int field;
    size_t size;
    const char* expected;  // UTF-8
};

TEST(StatusCounts, FieldTexts) {
    const StatusFigures idle = {0, 0, 0, false, "", true, 0, false, 0, 0, nullptr, false, 0};
    const std::string reason = Sjis("ディスクに十分な空き領域がありません。");
    const StatusFigures busy = {1234567, 999, 1000, true, reason.c_str(), false, 42, false, 0, 0, nullptr, true, 1005};
    const StatusFigures stopped = {1, 1000, 999999, true, "", true, 0, false, 0, 0, nullptr, false, 0};
    const std::string why = Sjis("不明なキー: bogus");
    const StatusFigures filtered = {0, 0, 0, false, "", true, 0, true, 12345, 1234567, "", false, 0};
    const StatusFigures refused = {0, 0, 0, false, "", true, 0, true, 1, 2, why.c_str(), false, 0};
    const FieldCase cases[] = {
        {idle, kFieldReceived, 64, "受信 0 件"},
        {idle, kFieldRate, 64, "0 件/秒"},
        {idle, kFieldLines, 64, "表示 0 行"},
        {idle, kFieldLog, 64, "ログ: 書き込み中"},
        {idle, kFieldFollow, 64, "末尾に追従"},
        {busy, kFieldReceived, 64, "受信 1,234,567 件"},
        {busy, kFieldRate, 64, "999 件/秒"},
        {busy, kFieldLines, 64, "表示 1,000 行"},
        {busy, kFieldLog, 128, "ログ: 停止 (ディスクに十分な空き領域がありません。)"},
        {busy, kFieldFollow, 64, "新着 42 件"},
        {idle, kFieldAlerts, 64, ""},
        {busy, kFieldAlerts, 64, "通知 1,005 件"},
        {stopped, kFieldRate, 64, "1,000 件/秒"},
        {stopped, kFieldLines, 64, "表示 999,999 行"},
        {stopped, kFieldLog, 64, "ログ: 停止"},
        // The filter's field says something only while a filter is in force
        // or the last one tried was refused.
        {idle, kFieldFilter, 64, ""},
        {filtered, kFieldFilter, 64, "フィルター: 12,345 / 1,234,567 件"},
        {refused, kFieldFilter, 64, "フィルターの誤り: 不明なキー: bogus"},
        // Cut short: whole characters only ("受信" is 4 bytes, "受" 2).
        {busy, kFieldReceived, 4, "受"},
        {busy, kFieldReceived, 5, "受信"},
        {busy, kFieldReceived, 1, ""},
    };
    for (const FieldCase& c : cases) {
        char out[256];
        memset(out, '#', sizeof out);
        FormatStatusField(&c.figures, c.field, out, c.size);
        EXPECT_EQ(std::string(out), Sjis(c.expected)) << "field " << c.field << ", size " << c.size;
    }
}

}  // namespace
