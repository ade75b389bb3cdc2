// Tests of entry building through the sink and the window thread's feed,
// with a real window that records every append it is fed from the queue and
// a real log file in a scratch directory: each entry's view text with its
// colour commands, block rules, status lines, the clock and difference
// label for odd timestamps, the newer layouts and the character sets, the
// exact bytes the log file receives, the queue's overflow and its status
// line at the same place in both, and a real view left exactly as by the
// entry's pieces sent one by one.
#include "sink/entry_sink.h"

#include "app/view_feed.h"
#include "colorview/colorview.h"
#include "syslog/texts.h"
#include "tests/colorview/view_fixture.h"
#include "tests/sink/sink_fixture.h"

#include <gtest/gtest.h>

#include "tests/test_texts.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

namespace {

const SenderAddress kSenderA = MakeSender(192, 0, 2, 7, 40123);
// 2001:db8::c000:207 and ::1 with scope 2: IPv6 senders.
const SenderAddress kSenderV6 = {
    kSenderIPv6, 40123, {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 192, 0, 2, 7}, 0};
const SenderAddress kSenderScoped = {kSenderIPv6, 40123, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, 2};

time_t LocalTime(int year, int month, int day, int hour, int minute, int second) {
    struct tm t = {};
    t.tm_year = year - 1900, t.tm_mon = month - 1, t.tm_mday = day;
    t.tm_hour = hour, t.tm_min = minute, t.tm_sec = second, t.tm_isdst = -1;
    return mktime(&t);
}

// The message time of the reference entry; it arrives 3 s after it.
const time_t kExampleTime = LocalTime(2024, 10, 11, 22, 14, 15);

// A colour command on white as entries carry it: the background in two
// digits, so that a digit after it is text.
std::string Command(int fore) {
    return "\x03" + std::to_string(fore) + ",00";
}

// The same command as a piece of its own carries it: nothing follows it.
std::string PieceCommand(int fore) {
    return "\x03" + std::to_string(fore) + ",0";
}

// The appends joined, without the colour commands (the inputs of these
// tests hold no 0x03 of their own).
std::string JoinText(const std::vector<std::string>& appends) {
    std::string all;
    for (const std::string& append : appends) {
        for (size_t i = 0; i < append.size(); ++i) {
            if (append[i] == '\x03')
                i = append.find(',', i) + 2;
            else
                all += append[i];
        }
    }
    return all;
}

// The colour command in force where `text` first appears.
std::string CommandAt(const std::vector<std::string>& appends, const std::string& text) {
    std::string all;
    for (const std::string& append : appends) all += append;
    size_t at = all.find(text);
    if (at == std::string::npos) return "text not found";
    size_t command = all.rfind('\x03', at);
    if (command == std::string::npos) return "none";
    return all.substr(command, all.find(',', command) + 3 - command);
}

bool Has(const std::vector<std::string>& appends, const std::string& text) {
    for (const std::string& append : appends)
        if (append.find(text) != std::string::npos) return true;
    return false;
}

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

const std::string kSeparator = std::string(50, '-') + "\r\n";

class Formatter : public SinkFixture {
   protected:
    // The window thread's side for other views that a test feeds instead
    // (opened on first use, or by UseViews).
    ViewFeed other = {};
    bool otherOpen = false;

    void TearDown() override {
        if (otherOpen) CloseViewFeed(&other);
        SinkFixture::TearDown();
    }

    // Both sides start their blocks afresh: the log file's and the views'.
    void ResetBlocks() {
        StartBlockState(&sink.blocks);
        for (ViewFeed* f : {&feed, &other})
            for (ShownView& shown : f->views) StartBlockState(&shown.blocks);
    }

    // The feed of `all` and `filtered` (hidden), keeping `maxLines`.
    ViewFeed* UseViews(HWND all, HWND filtered, int maxLines) {
        if (otherOpen) CloseViewFeed(&other);
        ShowWindow(filtered, SW_HIDE);
        otherOpen = OpenViewFeed(&other, all, filtered, maxLines);
        EXPECT_TRUE(otherOpen);
        return &other;
    }

    ViewFeed* FeedOf(HWND to) override {
        if (to == view) return &feed;
        if (!otherOpen || other.views[kAllEntries].view != to) UseViews(to, unused, 0);
        return &other;
    }

    void Entry(const std::string& text, time_t receive, const SenderAddress& sender = kSenderA,
               HWND to = nullptr) {
        FormatEntry(&sink, receive, &sender, text.data(), text.size());
        Feed(to ? to : view);
    }

    void Status(const char* text) {
        WriteStatusLine(&sink, text);
        Feed(view);
    }
};

TEST_F(Formatter, FirstEntryIsOneAppendAndOneLogLine) {
    Entry("<13>Oct 11 22:14:15 gateway kernel: link up", kExampleTime + 3);
    const std::string expected = Command(1) + "<<192.0.2.7:40123>> " + Command(7) + kSeparator + Command(15) +
                                 "22:14:15(3) " + Command(12) + "<gateway user.notice> " + Command(6) +
                                 "kernel: link up\r\n";
    EXPECT_EQ(std::vector<std::string>{expected}, g_appends);
    EXPECT_EQ("<<192.0.2.7:40123>> " + kSeparator + "22:14:15(3) <gateway user.notice> kernel: link up\r\n",
              ReadLog());
    EXPECT_EQ(2, sink.blocks.hostCounter);
    EXPECT_STREQ("gateway", sink.blocks.lastHost);
    EXPECT_EQ(0, memcmp(&sink.blocks.lastSender, &kSenderA, sizeof kSenderA));
    Status(kTextSyslogStart);
    EXPECT_EQ(2u, fed);
}

TEST_F(Formatter, BlocksOpenOnNewSenderOrHostAndCycleColours) {
    const struct {
        SenderAddress sender;
        const char* host;
        const char* header;  // source text, or nullptr for no header
        bool separator;
        int hostColor;
    } steps[] = {
        {kSenderA, "gateway", "192.0.2.7:40123", true, 12},
        {kSenderA, "gateway", nullptr, false, 12},
        {kSenderA, "nas", nullptr, true, 13},
        {MakeSender(192, 0, 2, 7, 40124), "nas", "192.0.2.7:40124", true, 14},
        {MakeSender(192, 0, 2, 7, 40124), "Nas", nullptr, true, 10},  // case counts
        {MakeSender(198, 51, 100, 1, 514), "Nas", "198.51.100.1:514", true, 11},
        {MakeSender(198, 51, 100, 1, 514), "Nas", nullptr, false, 11},
        {MakeSender(198, 51, 100, 1, 514), "gateway", nullptr, true, 12},
        {kSenderV6, "gateway", "[2001:db8::c000:207]:40123", true, 13},
        {kSenderScoped, "gateway", "[::1%2]:40123", true, 14},  // the scope counts
        {kSenderScoped, "gateway", nullptr, false, 14},
        {kSenderA, "gateway", "192.0.2.7:40123", true, 10},  // the family counts
    };
    int step = 0;
    for (const auto& s : steps) {
        SCOPED_TRACE("step " + std::to_string(++step));
        g_appends.clear();
        Entry(std::string("<13>Oct 11 22:14:15 ") + s.host + " up", kExampleTime, s.sender);
        std::string header = s.header ? std::string("<<") + s.header + ">> " : "";
        std::string separator = s.separator ? kSeparator : "";
        EXPECT_EQ(header + separator + "22:14:15(0) <" + s.host + " user.notice> up\r\n",
                  JoinText(g_appends));
        EXPECT_EQ(Command(s.hostColor), CommandAt(g_appends, std::string("<") + s.host));
        EXPECT_STREQ(s.host, sink.blocks.lastHost);
    }
    // Past INT_MAX the count starts again on the next colour (it overflowed).
    sink.blocks.hostCounter = feed.views[kAllEntries].blocks.hostCounter = INT_MAX - 1;
    const int wrapColors[] = {12, 13, 14};  // counters INT_MAX, 3, 4
    for (int i = 0; i < 3; ++i) {
        g_appends.clear();
        const std::string host = "w" + std::to_string(i);
        Entry("<13>Oct 11 22:14:15 " + host + " up", kExampleTime);
        EXPECT_EQ(Command(wrapColors[i]), CommandAt(g_appends, "<" + host)) << host;
    }
    EXPECT_EQ(4, sink.blocks.hostCounter);
}

TEST_F(Formatter, SeverityPicksTheTextColour) {
    // Severities 0 and 6 are the same grey; the command names entry 7 for both.
    const int expected[8] = {7, 2, 3, 4, 5, 6, 7, 8};
    for (int severity = 0; severity < 8; ++severity) {
        g_appends.clear();
        Entry("<" + std::to_string(8 + severity) + ">Oct 11 22:14:15 h text", kExampleTime);
        EXPECT_EQ(Command(expected[severity]), CommandAt(g_appends, "text")) << severity;
    }
    g_appends.clear();
    Entry("Oct 11 22:14:15 h text", kExampleTime);  // no PRI: severity 0
    EXPECT_EQ(Command(7), CommandAt(g_appends, "text"));
}

TEST_F(Formatter, NamesOnlyWhenFacilityAndSeverityAreNonZero) {
    const struct {
        const char* pri;
        const char* label;
    } cases[] = {
        {"<13>", "<h user.notice> "},
        {"<3>", "<h> "},  // kern.err: facility 0
        {"<8>", "<h> "},  // user.emerg: severity 0
        {"<0>", "<h> "},
        {"", "<h> "},
        {"<191>", "<h local7.debug> "},
        {"<34>", "<h auth.crit> "},
        {"<99>", "<h .err> "},  // facility 96 has no name
        {"<203>", "<h .err> "},
        {"<81>", "<h authpriv.alert> "},
    };
    for (const auto& c : cases) {
        g_appends.clear();
        Entry(std::string(c.pri) + "Oct 11 22:14:15 h text", kExampleTime);
        EXPECT_TRUE(EndsWith(JoinText(g_appends), std::string("22:14:15(0) ") + c.label + "text\r\n"))
            << c.pri << " gave " << JoinText(g_appends);
    }
}

TEST_F(Formatter, DifferenceIsArrivalMinusMessageTime) {
    Entry("<13>Oct 11 22:14:15 h future", kExampleTime - 5);
    EXPECT_TRUE(Has(g_appends, "22:14:15(-5)"));
    // Without a timestamp the arrival is the message time and the sender the host.
    g_appends.clear();
    Entry("hello world", LocalTime(2024, 3, 14, 9, 41, 30));
    EXPECT_TRUE(EndsWith(JoinText(g_appends), "09:41:30(0) <192.0.2.7:40123> hello world\r\n"))
        << JoinText(g_appends);
    // The arrival time comes from the system clock as time() gives it.
    time_t before = time(nullptr), now = CurrentTime(), after = time(nullptr);
    EXPECT_LE(before, now);
    EXPECT_LE(now, after);
}

// One entry, one line: every control byte of the host and the text (but TAB
// and the view's style codes) escaped after the trim, alike in the view and
// the log file, in every layout. And BSD times of January and across New
// Year: the stamp's own fields, with the year of the other side.
TEST_F(Formatter, EntryLinesEscapeControlBytesAndDateBsdTimes) {
    const std::string nul(1, '\0');
    const time_t dec9 = LocalTime(2024, 12, 9, 10, 0, 0), jan1 = LocalTime(2025, 1, 1, 0, 0, 1);
    const std::string jan5 = std::to_string(dec9 - LocalTime(2025, 1, 5, 0, 0, 7));
    const struct {
        std::string datagram;
        time_t arrival;
        std::string line;
    } cases[] = {
        {"<13>Oct 11 22:14:15 h a\nb\rc\x1b[2Jd", kExampleTime,
         "22:14:15(0) <h user.notice> a#012b#015c#033[2Jd"},
        {"<13>Oct 11 22:14:15 h \x01\x7f\x1a\x0f x\ty\x02\x14\x16\x1f\x80\xfe", kExampleTime,
         "22:14:15(0) <h user.notice> #001#177#032#017 x\ty\x02\x14\x16\x1f\x80\xfe"},
        {"<13>Oct 11 22:14:15 h a\r\n\x01\r\n \r\n", kExampleTime,
         "22:14:15(0) <h user.notice> a#015#012#001"},
        {"<13>Oct 11 22:14:15 h\x1b[1mx\x7f y" + nul + "z" + nul, kExampleTime,
         "22:14:15(0) <h#033[1mx#177 user.notice> y#000z"},
        {"<13>Oct 11 22:14:15 h\n\vx", kExampleTime, "22:14:15(0) <h user.notice> #012#013x"},
        {"a\nb\r\n", kExampleTime, "22:14:15(0) <192.0.2.7:40123> a#012b"},
        {"<13>1 - h app - - [x y=\"\n\"] m\x1b\n", kExampleTime,
         "22:14:15(0) <h user.notice> app: [x y=\"#012\"] m#033"},
        {"<13>Dec 31 23:59:59 h t", jan1, "23:59:59(2) <h user.notice> t"},
        {"<13>Jan  5 00:00:07 h t", dec9, "00:00:07(" + jan5 + ") <h user.notice> t"},
        {"<13>Jan 31 23:59:59 h t", LocalTime(2025, 2, 1, 0, 0, 1), "23:59:59(2) <h user.notice> t"},
    };
    Status(kTextSyslogStart);  // the file exists from here on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.datagram);
        g_appends.clear();
        const size_t before = ReadLog().size();
        Entry(c.datagram, c.arrival);
        const std::string added = ReadLog().substr(before);
        EXPECT_EQ(added, JoinText(g_appends));
        // The entry's line, after a separator when it opens a block.
        ASSERT_TRUE(EndsWith(added, c.line + "\r\n")) << added;
        const std::string head = added.substr(0, added.size() - c.line.size() - 2);
        EXPECT_TRUE(head.empty() || EndsWith(head, kSeparator)) << head;
    }
}

// The clock text as documented: 0..99 two digits, anything else as sent.
TEST(FormatClock, FieldsInAndOutOfRange) {
    const struct {
        int h, m, s;
        const char* text;
    } cases[] = {
        {0, 0, 0, "00:00:00"},
        {9, 5, 7, "09:05:07"},
        {99, 99, 99, "99:99:99"},
        {100, -1, 5, "100:-1:05"},
        {-5, 7, INT_MAX, "-5:07:2147483647"},
        {INT_MIN, 0, 123, "-2147483648:00:123"},
    };
    for (const auto& c : cases) {
        char out[64];
        FormatClock(c.h, c.m, c.s, out, sizeof out);
        EXPECT_STREQ(c.text, out);
    }
    char small[5];
    FormatClock(12, 34, 56, small, sizeof small);
    EXPECT_STREQ("12:3", small);
}

TEST(FormatLabel, DifferenceOrQuestionMark) {
    const struct {
        time_t receive, message;
        const char* label;
    } cases[] = {
        {1000, 997, "t(3)"}, {1000, 1005, "t(-5)"}, {1000, 1000, "t(0)"},
        {1000, -1, "t(?)"},  {-1, -1, "t(?)"},      {4102444800LL, 0, "t(4102444800)"},
    };
    for (const auto& c : cases) {
        char out[64];
        FormatLabel(out, sizeof out, "t", c.receive, c.message);
        EXPECT_STREQ(c.label, out);
    }
}

TEST_F(Formatter, MalformedTimestampsPrintAsSentWithoutCrashing) {
    const struct {
        const char* stamp;
        int day, h, m, s;
        const char* clock;
    } cases[] = {
        {"Oct 11 99:75:123", 11, 99, 75, 123, "99:75:123"},
        {"Oct 11 -5:7:2147483647", 11, -5, 7, INT_MAX, "-5:07:2147483647"},
        {"Oct 11 22:-1:60", 11, 22, -1, 60, "22:-1:60"},
        {"Oct 11 100:00:05", 11, 100, 0, 5, "100:00:05"},
        {"Oct 11 7:8:9", 11, 7, 8, 9, "07:08:09"},
        {"Oct 11 -2147483648:0:0", 11, INT_MIN, 0, 0, "-2147483648:00:00"},
        {"Oct 2147483647 10:00:00", INT_MAX, 10, 0, 0, "10:00:00"},
    };
    const struct tm* local = localtime(&kExampleTime);
    ASSERT_NE(nullptr, local);
    const int isdst = local->tm_isdst;
    for (const auto& c : cases) {
        // Whatever the run-time's mktime makes of the fields is what the label shows.
        struct tm t = {};
        t.tm_year = 124, t.tm_mon = 9, t.tm_mday = c.day, t.tm_isdst = isdst;
        t.tm_hour = c.h, t.tm_min = c.m, t.tm_sec = c.s;
        time_t message = mktime(&t);
        std::string difference = message == -1 ? "?" : std::to_string(kExampleTime - message);
        g_appends.clear();
        Entry(std::string("<13>") + c.stamp + " h x", kExampleTime);
        EXPECT_TRUE(Has(g_appends, std::string(c.clock) + "(" + difference + ")")) << c.stamp;
        EXPECT_TRUE(EndsWith(JoinText(g_appends), " <h user.notice> x\r\n")) << c.stamp;
    }
}

TEST_F(Formatter, UnrepresentableMessageTimeShowsQuestionMark) {
    // 2^31 seconds before 11 October 2024 lies before 1970.
    Entry("<13>Oct 11 10:00:-2147483648 h x", kExampleTime);
    EXPECT_TRUE(Has(g_appends, "10:00:-2147483648(?)"));
    // 400 days before October 1970 is in 1969.
    g_appends.clear();
    Entry("<13>Oct -400 10:00:00 h x", LocalTime(1970, 6, 1, 12, 0, 0));
    EXPECT_TRUE(Has(g_appends, "10:00:00(?)"));
    // localtime has no answer for a negative arrival: zero fields, year 1900.
    g_appends.clear();
    Entry("hello", -100);
    EXPECT_TRUE(EndsWith(JoinText(g_appends), "00:00:00(?) <192.0.2.7:40123> hello\r\n"))
        << JoinText(g_appends);
}

// The clock texts that time(NULL) can have given between `before` and now.
std::vector<std::string> ClocksSince(time_t before) {
    std::vector<std::string> clocks;
    for (time_t t = before; t <= time(nullptr); ++t) {
        char text[16];
        strftime(text, sizeof text, "%H:%M:%S", localtime(&t));
        clocks.push_back(text);
    }
    return clocks;
}

TEST_F(Formatter, StatusLineIsOneAppendAndOneLogLine) {
    time_t before = time(nullptr);
    Status(kTextSyslogStart);
    std::vector<std::string> clocks = ClocksSince(before);
    ASSERT_EQ(1u, g_appends.size());
    const std::string clock = g_appends[0].substr(Command(15).size(), 8);
    EXPECT_NE(clocks.end(), std::find(clocks.begin(), clocks.end(), clock)) << clock;
    EXPECT_EQ(Command(15) + clock + " " + Command(1) + kTextSyslogStart + "\r\n", g_appends[0]);
    // しすろぐすたーと in code page 932.
    EXPECT_EQ(clock + " \x82\xb5\x82\xb7\x82\xeb\x82\xae\x82\xb7\x82\xbd\x81\x5b\x82\xc6\r\n", ReadLog());
}

TEST_F(Formatter, StatusLineInsideABlockKeepsTheBlock) {
    Entry("<13>Oct 11 22:14:15 gateway one", kExampleTime);
    Status(kTextReceiveFailed);
    g_appends.clear();
    Entry("<13>Oct 11 22:14:16 gateway two", kExampleTime);
    EXPECT_FALSE(Has(g_appends, kSeparator));
    EXPECT_EQ(Command(12), CommandAt(g_appends, "<gateway"));
    EXPECT_EQ(2, sink.blocks.hostCounter);
}

TEST_F(Formatter, LogFileIsPlainCrLfTextAppendedAcrossOpens) {
    Entry("<13>Oct 11 22:14:15 gateway kernel: link up", kExampleTime + 3);
    Status(kTextReceiveFailed);
    std::string first = ReadLog();
    const std::string failed =
        "\x8e\xf3\x90\x4d\x82\xc9\x8e\xb8\x94\x73\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81\x42";
    ASSERT_GE(first.size(), failed.size() + 2);
    EXPECT_EQ(failed + "\r\n", first.substr(first.size() - failed.size() - 2));

    CloseLogFile(&sink.log);
    ASSERT_TRUE(OpenLogFile(
        &sink.log, "messages", kKeepEveryDay, 1 << 20,
        [](void* s, const char* text) { WriteStatusLine(static_cast<EntrySink*>(s), text); }, &sink));
    Entry("<11>Oct 11 22:14:20 gateway disk full", kExampleTime + 3);
    const std::string all = ReadLog();
    EXPECT_EQ(first + "22:14:20(-2) <gateway user.err> disk full\r\n", all);
    EXPECT_EQ(std::string::npos, all.find('\x03'));
    for (size_t i = 0; i < all.size(); ++i) {
        if (all[i] == '\n') {
            EXPECT_TRUE(i > 0 && all[i - 1] == '\r') << i;
        }
        if (all[i] == '\r') {
            EXPECT_TRUE(i + 1 < all.size() && all[i + 1] == '\n') << i;
        }
    }
}

TEST_F(Formatter, WithoutLogFileTheViewGetsEverything) {
    CloseLogFile(&sink.log);
    Entry("<13>Oct 11 22:14:15 gateway kernel: link up", kExampleTime + 3);
    ASSERT_EQ(1u, g_appends.size());
    EXPECT_EQ("<<192.0.2.7:40123>> " + kSeparator + "22:14:15(3) <gateway user.notice> kernel: link up\r\n",
              JoinText(g_appends));
    Status("x");
    EXPECT_EQ(2u, g_appends.size());
    EXPECT_EQ("<no file>", ReadLog());  // the file is made by its first line
}

// The lines of `text` (CR LF ended), each cut to its first 60 bytes, which
// tell these tests' lines apart.
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
        lines.push_back(text.substr(at, std::min<size_t>(end - at, 60)));
    return lines;
}

// Entries that find the queue full are in the log file only. The view is
// the log file without them, and the line that says how many it missed is
// at the same place in both: before the next entry, or on its own once the
// queue has room again (the reception thread asks every round), or in the
// log file when the sink closes, at the latest.
TEST_F(Formatter, MissedLineStandsAtTheSamePlaceInLogAndView) {
    enum { kNextEntry, kOnItsOwn, kAtClose };
    const std::string missed = Sjis("ビューに表示できなかった ");
    const std::string big(30000, 'x');  // about 17 view texts to a chunk: two chunks hold 34
    const int kEntries = 40;
    Status(kTextSyslogStart);  // the log file exists from here on, as in the program
    for (int how : {kNextEntry, kOnItsOwn, kAtClose}) {
        SCOPED_TRACE("case " + std::to_string(how));
        g_appends.clear();
        const size_t logStart = ReadLog().size();
        for (int i = 0; i < kEntries; ++i) {
            std::string text = "<13>Oct 11 22:14:15 h n" + std::to_string(how * 100 + i) + " " + big;
            FormatEntry(&sink, kExampleTime, &kSenderA, text.data(), text.size());
        }
        if (how == kAtClose) {
            size_t shown = sink.queue.entries.pushed.load() - sink.queue.entries.popped.load();
            CloseEntrySink(&sink);
            const std::vector<std::string> log = Lines(ReadLog().substr(logStart));
            ASSERT_FALSE(log.empty());
            EXPECT_NE(std::string::npos, log.back().find(missed + std::to_string(kEntries - shown) + " "))
                << log.back();
            ASSERT_TRUE(OpenEntrySink(&sink, "messages", kKeepEveryDay, kQueueBytes, view, WM_APP));
            continue;
        }
        Feed(view);
        if (how == kNextEntry) Entry("<13>Oct 11 22:14:15 h after", kExampleTime);
        if (how == kOnItsOwn) {
            ReportViewMissed(&sink);
            Feed(view);
        }
        const std::vector<std::string> log = Lines(ReadLog().substr(logStart));
        const std::vector<std::string> shown = Lines(JoinText(g_appends));
        std::vector<std::string> logShown;
        for (const std::string& line : log)
            if (std::find(shown.begin(), shown.end(), line) != shown.end()) logShown.push_back(line);
        EXPECT_EQ(shown, logShown);
        size_t lines = 0;
        for (const std::string& line : shown) {
            if (line.find(missed) == std::string::npos) continue;
            ++lines;
            EXPECT_NE(std::string::npos, line.find(missed + std::to_string(log.size() - shown.size()) + " "))
                << line;
        }
        EXPECT_EQ(1u, lines);
        EXPECT_GT(log.size(), shown.size());
    }
}

// Datagram bytes with in-band codes, digits behind a colour command and
// lead bytes at piece ends: the entry, sent as one append (split only around
// a piece with a hot marker), leaves a real view with the text and attribute
// bytes that the entry's pieces sent one append each leave.
TEST_F(Formatter, ViewEndsAsWithOneAppendPerPiece) {
    const struct {
        const char* host;
        const char* message;
        size_t appends;
    } cases[] = {
        {"gateway", "123 digits right after the colour command", 1},
        {"h", ",12 a comma and digits after it", 1},
        {"h\x82", "a lead byte ends the host", 1},
        {"h", "a lead byte ends the message \x82", 1},
        {"h\003", "\0034 commands \003 of the sender", 1},
        {"h\x16\x1F", "\x02styles\x02 \x1Fof\x1F the \x16sender\x16\x14", 1},
        {"h\xFFot", "a hot region opened in the host", 3},
        {"h", "a \xFFhot\xFF region returns to the default colours", 3},
        {"h\x16", "\xFFreverse from the host\xFF", 3},
        {"h", "a region left open at the end\xFF", 3},
        {"h", "underline code last in a region\xFF\x1F", 3},
        {"h", "a \xFF\x03plain\xFF region and a \xFF\xFF doubled marker", 3},
        {"\xFF\xFF", "\x82\xFF", 5},
    };
    TestView expected = CreateTestView(400, 200), actual = CreateTestView(400, 200);
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.host) + " " + c.message);
        ResetBlocks();
        g_appends.clear();
        Entry(std::string("<13>Oct 11 22:14:15 ") + c.host + " " + c.message, kExampleTime, kSenderA, view);
        EXPECT_EQ(c.appends, g_appends.size());
        ResetBlocks();
        Entry(std::string("<13>Oct 11 22:14:15 ") + c.host + " " + c.message, kExampleTime, kSenderA,
              actual.view);
        const std::string pieces[] = {PieceCommand(1),
                                      "<<",
                                      "192.0.2.7:40123",
                                      ">> ",
                                      PieceCommand(7),
                                      kSeparator,
                                      PieceCommand(15),
                                      "22:14:15(0)",
                                      " ",
                                      PieceCommand(12),
                                      "<",
                                      c.host,
                                      " ",
                                      "user",
                                      ".",
                                      "notice",
                                      "> ",
                                      PieceCommand(6),
                                      c.message,
                                      "\r\n"};
        for (const std::string& piece : pieces) Append(expected.view, piece);

        const ViewState* want = StateOf(expected.view);
        const ViewState* got = StateOf(actual.view);
        ASSERT_EQ(want->length, got->length);
        EXPECT_EQ(std::string(want->text, want->length), std::string(got->text, got->length));
        // One past the end: the attributes pending for the next append.
        for (int i = 0; i <= want->length; ++i) {
            EXPECT_EQ(want->attrFlags[i], got->attrFlags[i]) << "flags at " << i;
            EXPECT_EQ(want->attrColors[i], got->attrColors[i]) << "colours at " << i;
        }
    }
    DestroyTestView(&expected);
    DestroyTestView(&actual);
}

// Code page 932 bytes of `wide`, as the system converts them.
std::string Cp932(const wchar_t* wide) {
    char out[256];
    int n = WideCharToMultiByte(932, 0, wide, -1, out, sizeof out, nullptr, nullptr);
    return std::string(out, n > 0 ? n - 1 : 0);
}

// The newer layouts and the character sets: the entry line in the view (the
// message text in code page 932) and in the log file (as received, without
// the RFC 5424 byte order mark), the label's difference exact across years.
TEST_F(Formatter, NewerLayoutsAndCharacterSets) {
    const wchar_t* const japanese = L"\u30C7\u30A3\u30B9\u30AF 90%";  // ディスク 90%
    const std::string utf8 = "\xE3\x83\x87\xE3\x82\xA3\xE3\x82\xB9\xE3\x82\xAF 90%";
    const std::string euc = "\xA5\xC7\xA5\xA3\xA5\xB9\xA5\xAF 90%";
    const std::string sd = "[timeQuality tzKnown=\"1\" isSynced=\"0\"]";
    const struct {
        CharsetMode charset;
        std::string datagram;
        const char* utc;        // the message time, or nullptr for Oct 11 22:14:15 local time
        std::string view, log;  // the entry's line after the label
    } cases[] = {
        {kCharsetAuto, "<13>1 2003-10-11T22:14:15.003+09:00 vm myapp 42 ID47 " + sd + " \xEF\xBB\xBF" + utf8,
         "2003-10-11 13:14:15", "<vm user.notice> myapp[42]: ID47 " + sd + " " + Cp932(japanese),
         "<vm user.notice> myapp[42]: ID47 " + sd + " " + utf8},
        {kCharsetAuto, "<13>1 2003-10-11T22:14:15Z vm - - - - " + utf8, "2003-10-11 22:14:15",
         "<vm user.notice> " + Cp932(japanese), "<vm user.notice> " + utf8},
        {kCharsetAuto, "<38>2031-01-02T03:04:05-05:30 vm jp: " + utf8, "2031-01-02 08:34:05",
         "<vm auth.info> jp: " + Cp932(japanese), "<vm auth.info> jp: " + utf8},
        {kCharsetAuto, "<13>Oct 11 22:14:15 vm jp: " + utf8, nullptr,
         "<vm user.notice> jp: " + Cp932(japanese), "<vm user.notice> jp: " + utf8},
        {kCharsetShiftJis, "<13>Oct 11 22:14:15 vm jp: " + utf8, nullptr, "<vm user.notice> jp: " + utf8,
         "<vm user.notice> jp: " + utf8},
        {kCharsetEucJp, "<13>Oct 11 22:14:15 vm jp: " + euc, nullptr,
         "<vm user.notice> jp: " + Cp932(japanese), "<vm user.notice> jp: " + euc},
        {kCharsetUtf8, "<13>Oct 11 22:14:15 \xE3\x83\x87 jp: \xE3\x83", nullptr,
         "<\xE3\x83\x87 user.notice> jp: ??", "<\xE3\x83\x87 user.notice> jp: \xE3\x83"},  // hosts stay
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.datagram);
        time_t message = kExampleTime;
        if (c.utc) {
            struct tm t = {};
            sscanf(c.utc, "%d-%d-%d %d:%d:%d", &t.tm_year, &t.tm_mon, &t.tm_mday, &t.tm_hour, &t.tm_min,
                   &t.tm_sec);
            t.tm_year -= 1900, t.tm_mon -= 1;
            message = _mkgmtime(&t);
        }
        char clock[16];
        strftime(clock, sizeof clock, "%H:%M:%S", localtime(&message));
        const std::string label =
            std::string(clock) + "(" + std::to_string(kExampleTime + 3 - message) + ") ";
        SetEntryCharset(&sink, c.charset);
        g_appends.clear();
        std::string logBefore = ReadLog();
        Entry(c.datagram, kExampleTime + 3);
        EXPECT_TRUE(EndsWith(JoinText(g_appends), label + c.view + "\r\n")) << JoinText(g_appends);
        EXPECT_TRUE(EndsWith(ReadLog(), label + c.log + "\r\n")) << ReadLog().substr(logBefore.size());
    }
}

// The view's lines in short: "<<A>> --" a sender header (A and B the two
// senders) with its separator, "--" a separator, "host text" an entry's
// line, "! text" a status line; joined by "|".
std::string Short(const std::string& text) {
    std::string all;
    for (size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2) {
        std::string line = text.substr(at, end - at), shown;
        if (line.compare(0, 2, "<<") == 0)
            shown = std::string("<<") + (line.find("192.0.2.7") != std::string::npos ? "A" : "B") + ">> --";
        else if (line == kSeparator.substr(0, 50))
            shown = "--";
        else if (line.find('(') < line.find(' '))  // "22:14:15(0) <host names> text"
            shown = line.substr(line.find('<') + 1, line.find_first_of(" >", line.find('<')) - line.find('<') - 1) +
                    " " + line.substr(line.find("> ") + 2);
        else
            shown = "! " + line.substr(line.find(' ') + 1);
        all += (all.empty() ? "" : "|") + shown;
    }
    return all;
}

// What the view shows of a text: its in-band codes left out (the tests'
// colour commands have one-digit colours).
std::string Visible(const char* text) {
    std::string shown;
    for (const char* p = text; *p; ++p) {
        if (*p == '\x03')
            p += 3;
        else if (!strchr("\x02\x14\x16\x1F\xFF", *p))
            shown += *p;
    }
    return shown;
}

// Each line of the view belongs to the entry (or status line) it shows:
// a header or separator to the entry after it.
void ExpectLinesFindTheirEntries(ViewFeed* feed, const std::string& text) {
    for (size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2) {
        std::string line = Short(text.substr(at, end - at + 2));
        EntryFields fields;
        ASSERT_TRUE(FieldsAtOffset(feed, static_cast<int>(at), &fields)) << line;
        size_t next = text.find("\r\n", end + 2);
        std::string own = line.back() == '-' && next != std::string::npos ? Short(text.substr(end + 2, next - end))
                                                                           : line;
        std::string expected = fields.status ? "! " + Visible(fields.viewText)
                                             : std::string(fields.host) + " " + Visible(fields.viewText);
        EXPECT_EQ(own, expected) << "line at " << at;
    }
    EntryFields none;
    EXPECT_FALSE(FieldsAtOffset(feed, static_cast<int>(text.size()), &none)) << "past the last line";
}

// Arrivals and filters, each step followed by the view's text in short, its
// invariants and the entries its lines belong to: the separators and headers
// are those of the entries shown, as if only they had arrived.
TEST_F(Formatter, FiltersShowTheKeptEntriesAsIfOnlyTheyHadArrived) {
    const SenderAddress kSenderB = MakeSender(198, 51, 100, 1, 514);
    const struct {
        const SenderAddress* sender;  // an arrival from it; null: `text` is a filter to apply, or with
        const char* text;             // a leading '!', a status line
        bool applied;                 // a filter that is read (else it changes nothing)
        const char* expected;
        uint64_t shown, kept;
    } steps[] = {
        {&kSenderA, "<11>Oct 11 22:14:15 gw1 one", true, "<<A>> --|gw1 one", 1, 1},
        {&kSenderA, "<14>Oct 11 22:14:15 gw1 two", true, "<<A>> --|gw1 one|gw1 two", 2, 2},
        {&kSenderA, "<11>Oct 11 22:14:15 gw2 three", true, "<<A>> --|gw1 one|gw1 two|--|gw2 three", 3, 3},
        {nullptr, "!note", true, "<<A>> --|gw1 one|gw1 two|--|gw2 three|! note", 3, 3},
        {&kSenderB, "<13>Oct 11 22:14:15 gw1 four", true,
         "<<A>> --|gw1 one|gw1 two|--|gw2 three|! note|<<B>> --|gw1 four", 4, 4},
        {&kSenderA, "<14>Oct 11 22:14:15 gw1 five", true,
         "<<A>> --|gw1 one|gw1 two|--|gw2 three|! note|<<B>> --|gw1 four|<<A>> --|gw1 five", 5, 5},
        {nullptr, "host:=gw1", true, "<<A>> --|gw1 one|gw1 two|! note|<<B>> --|gw1 four|<<A>> --|gw1 five", 4, 5},
        {nullptr, "-host:=gw1", true, "<<A>> --|gw2 three|! note", 1, 5},
        {&kSenderA, "<14>Oct 11 22:14:15 gw2 six", true, "<<A>> --|gw2 three|! note|gw2 six", 2, 6},
        {&kSenderA, "<14>Oct 11 22:14:15 gw1 seven", true, "<<A>> --|gw2 three|! note|gw2 six", 2, 7},
        {nullptr, "bogus:x", false, "<<A>> --|gw2 three|! note|gw2 six", 2, 7},
        // In-band codes: the view keeps fewer bytes than were sent.
        {&kSenderB, "<14>Oct 11 22:14:15 gw2 \x02\x03" "4,1bold\x02 \xFFhot\xFF eight", true,
         "<<A>> --|gw2 three|! note|gw2 six|<<B>> --|gw2 bold hot eight", 3, 8},
        {nullptr, "", true,
         "<<A>> --|gw1 one|gw1 two|--|gw2 three|! note|<<B>> --|gw1 four|<<A>> --|gw1 five|--|gw2 six|--|gw1 "
         "seven|<<B>> --|gw2 bold hot eight",
         8, 8},
        {nullptr, "sev:err", true, "<<A>> --|gw1 one|--|gw2 three|! note", 2, 8},
    };
    TestView all = CreateTestView(600, 300), filtered = CreateTestView(600, 300);
    ViewFeed* feed = UseViews(all.view, filtered.view, 0);
    int step = 0;
    for (const auto& s : steps) {
        SCOPED_TRACE("step " + std::to_string(++step) + ": " + s.text);
        if (s.sender) {
            Entry(s.text, kExampleTime, *s.sender, all.view);
        } else if (s.text[0] == '!') {
            WriteStatusLine(&sink, s.text + 1);
            Feed(all.view);
        } else {
            char error[kFilterErrorSize] = "";
            EXPECT_EQ(s.applied, ApplyFilter(feed, s.text, error, sizeof error)) << error;
            EXPECT_EQ(s.applied, error[0] == '\0') << error;
        }
        // The view on screen is the filter's while one is in force, and
        // the other one hidden; both hold what they should.
        HWND onScreen = ViewOnScreen(feed), hidden = onScreen == all.view ? filtered.view : all.view;
        EXPECT_EQ(feed->filtering ? filtered.view : all.view, onScreen);
        EXPECT_TRUE(IsWindowVisible(onScreen) && !IsWindowVisible(hidden));
        EXPECT_EQ(2, GetDlgCtrlID(onScreen)) << "the view's id goes with the view on screen";
        const std::string text = ViewText(onScreen);
        EXPECT_EQ(s.expected, Short(text));
        EXPECT_EQ("", CheckInvariants(onScreen));
        EXPECT_EQ("", CheckInvariants(hidden));
        ExpectLinesFindTheirEntries(feed, text);
        EXPECT_EQ(s.shown, feed->filtering ? feed->views[kFilteredEntries].entries : feed->views[kAllEntries].entries);
        EXPECT_EQ(s.kept, feed->store.entries);
        EXPECT_EQ(s.kept, feed->views[kAllEntries].entries) << "every entry's view takes them all";
    }
    // The log file has every entry, whatever was shown.
    const std::string log = ReadLog();
    for (const char* word : {"one", "two", "three", "four", "five", "six", "seven", "eight", "note"})
        EXPECT_NE(std::string::npos, log.find(word)) << word;
    DestroyTestView(&all);
    DestroyTestView(&filtered);
}

// The kept entries are those of --max-lines counted without the filter: a
// trim drops the entries that left, hidden and shown, and the view loses
// the lines of those it showed.
TEST_F(Formatter, TheLineLimitCountsEveryEntryKept) {
    TestView all = CreateTestView(600, 300), filtered = CreateTestView(600, 300);
    ViewFeed* feed = UseViews(all.view, filtered.view, 10);
    char error[kFilterErrorSize];
    ASSERT_TRUE(ApplyFilter(feed, "host:=gw1", error, sizeof error));
    // Each entry opens a block (gw1 and gw2 take turns): two lines each,
    // so from the sixth on the newest five are kept.
    const char* const expected[] = {"<<A>> --|gw1 1", "<<A>> --|gw1 1", "<<A>> --|gw1 1|gw1 3", "<<A>> --|gw1 1|gw1 3",
                                    "<<A>> --|gw1 1|gw1 3|gw1 5", "gw1 3|gw1 5", "gw1 3|gw1 5|gw1 7",
                                    "gw1 5|gw1 7", "gw1 5|gw1 7|gw1 9", "gw1 7|gw1 9"};
    for (int i = 1; i <= 10; ++i) {
        Entry("<13>Oct 11 22:14:15 gw" + std::to_string(2 - i % 2) + " " + std::to_string(i), kExampleTime,
              kSenderA, all.view);
        const std::string text = ViewText(filtered.view);
        EXPECT_EQ(expected[i - 1], Short(text)) << i;
        EXPECT_EQ("", CheckInvariants(filtered.view)) << i;
        EXPECT_EQ("", CheckInvariants(all.view)) << i;
        ExpectLinesFindTheirEntries(feed, text);
    }
    EXPECT_EQ(5u, feed->store.entries);
    EXPECT_EQ(2u, feed->views[kFilteredEntries].entries);
    // Every entry's view lost the same entries: its first line left is the
    // separator of 6's block (the sender's header went with 1's).
    ASSERT_TRUE(ApplyFilter(feed, "", error, sizeof error));
    EXPECT_EQ(all.view, ViewOnScreen(feed));
    EXPECT_EQ("--|gw2 6|--|gw1 7|--|gw2 8|--|gw1 9|--|gw2 10", Short(ViewText(all.view)));
    EXPECT_EQ("", ViewText(filtered.view)) << "the filter's view lets its text go";
    DestroyTestView(&all);
    DestroyTestView(&filtered);
}

TEST(EntryText, ColoursOutsideThePaletteAreLeftOut) {
    static EntryText entry;
    StartEntryText(&entry);
    EXPECT_TRUE(WriteColor(&entry, 0xFF0000, 0xFFFFFF));
    EXPECT_FALSE(WriteColor(&entry, 0x123456, 0xFFFFFF));
    EXPECT_FALSE(WriteColor(&entry, 0xFF0000, 0x010101));
    EXPECT_TRUE(WriteColor(&entry, 0x808080, 0x000080));  // background 12 needs no padding
    WriteText(&entry, "x");
    FinishEntryText(&entry);
    EXPECT_EQ(Command(15) +
                  "\x03"
                  "7,12x",
              std::string(FirstAppend(&entry)));
    EXPECT_EQ(nullptr, NextAppend(&entry, FirstAppend(&entry)));
    EXPECT_STREQ("x", entry.log);
    EXPECT_FALSE(entry.overflow);
}

}  // namespace
