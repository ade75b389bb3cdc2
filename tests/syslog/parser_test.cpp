// Tests of the syslog datagram parser: whole datagrams against the expected
// entry values, time completion from the arrival, the RFC 5424 and RFC 3339
// layouts with their exact times and their fall-back to the BSD rules, the
// name tables' first-match rows, PRI wrap-around, trimming and the sender text.
#include "syslog/parser.h"

#include <gtest/gtest.h>

#include "tests/test_texts.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>

namespace {

void Parse(const std::string& datagram, const SenderAddress& sender, time_t arrival, SyslogMessage* msg) {
    static TimeCache times;
    ParseMessage(datagram.data(), datagram.size(), &sender, arrival, &times, msg);
}

// 14 March 09:41:30 local time, whatever the zone the test runs in.
time_t Arrival(struct tm* local) {
    struct tm t = {};
    t.tm_year = 124, t.tm_mon = 2, t.tm_mday = 14;
    t.tm_hour = 9, t.tm_min = 41, t.tm_sec = 30, t.tm_isdst = -1;
    time_t when = mktime(&t);
    *local = *localtime(&when);
    return when;
}

struct DatagramCase {
    std::string input;
    unsigned facility, severity;
    const char* time;  // month 1-12, day, hour, minute, second
    const char* host;
    const char* text;
};

const char* const kSender = "192.0.2.7:40123";
const char* const kArrival = "03-14 09:41:30";

// Parses every case as sent by kSender at the arrival and checks what every
// layout gives: PRI, host and text; `checkTime` (case, message, local time
// of the arrival) looks at the rest.
template <class Case, size_t N, class CheckTime>
void ParseEach(const Case (&cases)[N], CheckTime checkTime) {
    struct tm local;
    time_t arrival = Arrival(&local);
    const SenderAddress sender = MakeSender(192, 0, 2, 7, 40123);
    static SyslogMessage msg;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        Parse(c.input, sender, arrival, &msg);
        EXPECT_EQ(c.facility, msg.facility);
        EXPECT_EQ(c.severity, msg.severity);
        EXPECT_STREQ(c.host, msg.host);
        EXPECT_EQ(std::string(c.text), std::string(msg.message));
        checkTime(c, msg, local);
    }
}

TEST(ParseMessage, DatagramsGiveTheirEntryValues) {
    const std::string cutHost(255, 'h');
    const DatagramCase cases[] = {
        {"<13>Oct 11 22:14:15 gateway kernel: link up", 8, 5, "10-11 22:14:15", "gateway", "kernel: link up"},
        {"<30>Mar  5 01:02:03 nas dhcpd: lease renewed", 24, 6, "03-05 01:02:03", "nas",
         "dhcpd: lease renewed"},
        {"hello world", 0, 0, kArrival, kSender, "hello world"},
        {"<13>", 8, 5, kArrival, kSender, ""},
        {"<13", 0, 0, kArrival, kSender, "<13"},
        {"<abc>x", 0, 0, kArrival, kSender, "<abc>x"},
        {"<>Oct 11 22:14:15 h t", 0, 0, "10-11 22:14:15", "h", "t"},
        {"<13>99>rest", 8, 5, kArrival, kSender, "99>rest"},
        {"<191>", 184, 7, kArrival, kSender, ""},
        {"<264>", 8, 0, kArrival, kSender, ""},
        // 10^k is 0 modulo 256 for k >= 8, so only the low digits count.
        {"<1000000000000000000000000000000013>", 8, 5, kArrival, kSender, ""},
        {"<" + std::string(60, '9') + ">x", 248, 7, kArrival, kSender, "x"},
        {" <13>Oct 11 22:14:15 h t", 0, 0, kArrival, kSender, " <13>Oct 11 22:14:15 h t"},
        {"<13>mar 15 11:22:33 h t", 8, 5, "03-15 11:22:33", "h", "t"},
        {"<13>Ma 15 11:22:33 h t", 8, 5, kArrival, kSender, "Ma 15 11:22:33 h t"},
        {"<13>MAR 15 11:22:33\t\th\t t", 8, 5, "03-15 11:22:33", "h", "\t t"},
        {"<13>Jan  5 00:00:07 h t", 8, 5, "01-05 00:00:07", "h", "t"},
        {"<13>Mar 15 00:00:00 h t", 8, 5, "03-15 00:00:00", "h", "t"},
        {"<13>Jan 31 23:00:00 h t", 8, 5, "01-31 23:00:00", "h", "t"},
        {"<13>Jan  0 00:07:00 h t", 8, 5, "01-00 00:07:00", "h", "t"},
        {"<13>Oct 11 22:14:15 h  t \t \r\n \r\n", 8, 5, "10-11 22:14:15", "h", "t \t"},
        {"  \r\n \r\n", 0, 0, kArrival, kSender, ""},
        {"\r\nhel\t", 0, 0, kArrival, kSender, "\r\nhel\t"},
        {"<13>Mar 15 11:22:33", 8, 5, "03-15 11:22:33", "", ""},
        // A known month with fewer fields: the host is the timestamp's first word.
        {"Marvin: hi", 0, 0, "03-00 00:00:00", "Marvin:", "hi"},
        {"Mar 5 x", 0, 0, "03-05 00:00:00", "Mar", "5 x"},
        {"<13>Mar 15 11:22 h t", 8, 5, "03-15 11:22:00", "Mar", "15 11:22 h t"},
        {"Mar\t\tx y", 0, 0, "03-00 00:00:00", "Mar", "\t\tx y"},
        {"jan 5 x", 0, 0, "01-05 00:00:00", "jan", "5 x"},
        {"<13>Oct 11 22:14:15 " + std::string(300, 'h') + "  msg", 8, 5, "10-11 22:14:15", cutHost.c_str(),
         "msg"},
    };
    ParseEach(cases, [](const DatagramCase& c, const SyslogMessage& msg, const struct tm& local) {
        char time[64];
        snprintf(time, sizeof time, "%02d-%02d %02d:%02d:%02d", msg.time.tm_mon + 1, msg.time.tm_mday,
                 msg.time.tm_hour, msg.time.tm_min, msg.time.tm_sec);
        EXPECT_STREQ(c.time, time);
        EXPECT_EQ(local.tm_year, msg.time.tm_year);
        EXPECT_EQ(local.tm_isdst, msg.time.tm_isdst);
        if (c.time == kArrival) {  // no timestamp: every field is the arrival's
            EXPECT_EQ(local.tm_wday, msg.time.tm_wday);
            EXPECT_EQ(local.tm_yday, msg.time.tm_yday);
        }
    });
}

// Whole datagrams: every byte up to the largest message, NULs inside
// escaped as "#000", trailing NULs dropped before the trim.
TEST(ParseMessage, WholeMessagesWithNulsEscaped) {
    const std::string nul(1, '\0');
    const struct {
        std::string input;
        std::string text;
    } cases[] = {
        {"<13>" + std::string(65000, 'a'), std::string(65000, 'a')},
        {"<13>" + std::string(70000, 'a'), std::string(kMaxMessage - 4, 'a')},
        {"<13>a" + nul + "b" + nul + nul + "c", "a#000b#000#000c"},
        {"<13>ab \r\n" + nul + nul, "ab"},
        {"<13>ab" + nul + "\r\n", "ab#000"},
        {nul + "x", "#000x"},
        {nul + nul, ""},
        {"<13>" + std::string(70000, '\0'), ""},
    };
    static SyslogMessage msg;
    struct tm local;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input.substr(0, 40));
        Parse(c.input, MakeSender(10, 0, 0, 1, 514), Arrival(&local), &msg);
        EXPECT_EQ(c.text, std::string(msg.message));
        EXPECT_STREQ("10.0.0.1:514", msg.host);
    }
    // The most a text can grow: a message of NULs between two bytes.
    const std::string nuls = "x" + std::string(kMaxMessage - 2, '\0') + "y";
    Parse(nuls, MakeSender(10, 0, 0, 1, 514), Arrival(&local), &msg);
    EXPECT_EQ(size_t(kMaxText - 2 * kNulEscapeLength + 2), strlen(msg.text));
}

// The newer layouts. `time` is "Z YYYY-MM-DD hh:mm:ss" for an exact time
// (given in UTC), "L ..." for a local time without offset, kArrivalTime for
// the arrival (a timestamp "-") and kBsdTime for a datagram read by the BSD rules.
struct FullDateCase {
    std::string input;
    unsigned facility, severity;
    const char* time;
    const char* host;
    std::string text;
    bool markedUtf8;
};

const char* const kArrivalTime = "arrival";
const char* const kBsdTime = "bsd";
const std::string kBom = "\xEF\xBB\xBF";

// Seconds since 1970 of "YYYY-MM-DD hh:mm:ss", read as UTC or as local time.
time_t ExpectedTime(const char* text, bool utc) {
    struct tm t = {};
    sscanf(text, "%d-%d-%d %d:%d:%d", &t.tm_year, &t.tm_mon, &t.tm_mday, &t.tm_hour, &t.tm_min, &t.tm_sec);
    t.tm_year -= 1900, t.tm_mon -= 1, t.tm_isdst = -1;
    return utc ? _mkgmtime(&t) : mktime(&t);
}

TEST(ParseMessage, NewerLayoutsAndTheirFallBack) {
    const std::string sd = "[exampleSDID@32473 iut=\"3\" eventSource=\"Application\" eventID=\"1011\"]";
    const std::string head = "<13>1 2026-12-09T02:03:42Z h app 42 ID ";  // up to STRUCTURED-DATA
    const FullDateCase cases[] = {
        // The examples of RFC 5424, section 6.5.
        {"<34>1 2003-10-11T22:14:15.003Z mymachine.example.com su - ID47 - " + kBom +
             "'su root' failed for lonvick on /dev/pts/8",
         32, 2, "Z 2003-10-11 22:14:15", "mymachine.example.com",
         "su: ID47 'su root' failed for lonvick on /dev/pts/8", true},
        {"<165>1 2003-08-24T05:14:15.000003-07:00 192.0.2.1 myproc 8710 - - %% It's time to make the "
         "do-nuts.",
         160, 5, "Z 2003-08-24 12:14:15", "192.0.2.1", "myproc[8710]: %% It's time to make the do-nuts.",
         false},
        {"<165>1 2003-10-11T22:14:15.003Z mymachine.example.com evntslog - ID47 " + sd + " " + kBom +
             "An application event log entry...",
         160, 5, "Z 2003-10-11 22:14:15", "mymachine.example.com",
         "evntslog: ID47 " + sd + " An application event log entry...", true},
        {"<165>1 2003-10-11T22:14:15.003Z mymachine.example.com evntslog - ID47 " + sd +
             "[examplePriority@32473 class=\"high\"]",
         160, 5, "Z 2003-10-11 22:14:15", "mymachine.example.com",
         "evntslog: ID47 " + sd + "[examplePriority@32473 class=\"high\"]", false},
        // Every field "-": the arrival and the sender, MSG alone or nothing.
        {"<13>1 - - - - - - hello", 8, 5, kArrivalTime, kSender, "hello", false},
        {"<13>1 - - - - - -", 8, 5, kArrivalTime, kSender, "", false},
        {"<13>1 - - - 42 - - x", 8, 5, kArrivalTime, kSender, "[42]: x", false},
        {"<13>1 - h - - - - " + kBom, 8, 5, kArrivalTime, "h", "", true},
        // Offsets, fractions, days checked against their month.
        {"<13>1 2026-12-09T02:03:42+09:00 h a - - - m", 8, 5, "Z 2026-12-08 17:03:42", "h", "a: m", false},
        {"<13>1 2026-12-09T02:03:42-05:30 h a - - - m", 8, 5, "Z 2026-12-09 07:33:42", "h", "a: m", false},
        {"<13>1 2026-12-31T23:59:59.999999999Z h a - - - m", 8, 5, "Z 2026-12-31 23:59:59", "h", "a: m",
         false},
        {"<13>1 2024-02-29T12:00:00.5+00:00 h a - - - m", 8, 5, "Z 2024-02-29 12:00:00", "h", "a: m", false},
        {"<13>1 1969-12-31T23:59:59Z h a - - - m", 8, 5, "Z 1969-12-31 23:59:59", "h", "a: m", false},
        {"<13>1 2026-12-09T02:03:42 h a - - - m", 8, 5, "L 2026-12-09 02:03:42", "h", "a: m", false},
        {"<13>1 2026-13-09T02:03:42Z h a - - - m", 8, 5, kArrivalTime, kSender,
         "1 2026-13-09T02:03:42Z h a - - - m", false},
        {"<13>1 2026-02-29T02:03:42Z h a - - - m", 8, 5, kArrivalTime, kSender,
         "1 2026-02-29T02:03:42Z h a - - - m", false},
        {"<13>1 2026-12-09T02:03:42.Z h a - - - m", 8, 5, kArrivalTime, kSender,
         "1 2026-12-09T02:03:42.Z h a - - - m", false},
        // A header cut short after each field, a field too long, SD followed by
        // anything but a space: all read by the BSD rules.
        {"<13>1", 8, 5, kArrivalTime, kSender, "1", false},
        {"<13>1 2026-12-09T02:03:42Z", 8, 5, kArrivalTime, kSender, "1 2026-12-09T02:03:42Z", false},
        {"<13>1 2026-12-09T02:03:42Z h", 8, 5, kArrivalTime, kSender, "1 2026-12-09T02:03:42Z h", false},
        {"<13>1 2026-12-09T02:03:42Z h app", 8, 5, kArrivalTime, kSender, "1 2026-12-09T02:03:42Z h app",
         false},
        {head.substr(0, head.size() - 4), 8, 5, kArrivalTime, kSender, head.substr(4, head.size() - 8),
         false},
        {head.substr(0, head.size() - 1), 8, 5, kArrivalTime, kSender, head.substr(4, head.size() - 5),
         false},
        {head + "[x y=\"z\"]tail", 8, 5, kArrivalTime, kSender, head.substr(4) + "[x y=\"z\"]tail", false},
        {head + "[x y=z]", 8, 5, kArrivalTime, kSender, head.substr(4) + "[x y=z]", false},
        {"<13>1 - h " + std::string(49, 'a') + " - - - m", 8, 5, kArrivalTime, kSender,
         "1 - h " + std::string(49, 'a') + " - - - m", false},
        {"<13>1 - h " + std::string(48, 'a') + " - - - m", 8, 5, kArrivalTime, "h",
         std::string(48, 'a') + ": m", false},
        // Escapes inside an SD value stay as sent.
        {head + "[id@1 k=\"a\\]b\" q=\"\\\"\\\\\"] msg", 8, 5, "Z 2026-12-09 02:03:42", "h",
         "app[42]: ID [id@1 k=\"a\\]b\" q=\"\\\"\\\\\"] msg", false},
        // RFC 3339 in place of the BSD timestamp: host and text by the BSD rules.
        {"<38>2026-12-09T02:03:42.123+09:00 host tag: msg", 32, 6, "Z 2026-12-08 17:03:42", "host",
         "tag: msg", false},
        {"<38>2026-12-09T02:03:42 localhost prg00000[1234]: x", 32, 6, "L 2026-12-09 02:03:42", "localhost",
         "prg00000[1234]: x", false},
        {"<14>2010-08-30T23:00:05Z X4711", 8, 6, "Z 2010-08-30 23:00:05", "X4711", "", false},
        {"<14>2010-08-30T23:00:05Z \r\n", 8, 6, kArrivalTime, kSender, "2010-08-30T23:00:05Z", false},
        {"2010-08-30T23:00:05Z h t", 0, 0, kArrivalTime, kSender, "2010-08-30T23:00:05Z h t", false},
        // A BSD line whose message looks like a date or a version.
        {"<13>Oct 11 22:14:15 h 2026-12-09T02:03:42Z backup done", 8, 5, kBsdTime, "h",
         "2026-12-09T02:03:42Z backup done", false},
        {"<13>Oct 11 22:14:15 h 1 2026-12-09T02:03:42Z h a - - - m", 8, 5, kBsdTime, "h",
         "1 2026-12-09T02:03:42Z h a - - - m", false},
    };
    ParseEach(cases, [](const FullDateCase& c, const SyslogMessage& msg, const struct tm& local) {
        EXPECT_EQ(c.markedUtf8, msg.markedUtf8);
        bool fullDate = c.time != kArrivalTime && c.time != kBsdTime;
        ASSERT_EQ(fullDate, msg.fullDate);
        if (c.time == kArrivalTime) {
            EXPECT_EQ(local.tm_yday, msg.time.tm_yday);
            EXPECT_EQ(local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec,
                      msg.time.tm_hour * 3600 + msg.time.tm_min * 60 + msg.time.tm_sec);
        }
        if (!fullDate) return;
        // The exact point in time; the clock shows it in local time.
        bool utc = c.time[0] == 'Z';
        time_t expected = ExpectedTime(c.time + 2, utc);
        EXPECT_TRUE(msg.whenKnown);
        EXPECT_EQ(expected, msg.when);
        struct tm clock = {};
        if (utc) {
            const struct tm* shown = localtime(&expected);
            if (shown) clock = *shown;  // before 1970 the clock is the time as written
        }
        if (!utc || expected < 0)
            sscanf(c.time + 2, "%*d-%*d-%*d %d:%d:%d", &clock.tm_hour, &clock.tm_min, &clock.tm_sec);
        EXPECT_EQ(clock.tm_hour, msg.time.tm_hour);
        EXPECT_EQ(clock.tm_min, msg.time.tm_min);
        EXPECT_EQ(clock.tm_sec, msg.time.tm_sec);
    });
}

// A BSD stamp gives every field it has, January's too, and takes the
// arrival's year, but across New Year the year of the other side; a
// message without timestamp is the arrival. Times are local.
TEST(ParseMessage, BsdStampsKeepTheirFieldsAndYearAcrossNewYear) {
    const struct {
        const char* arrival;  // YYYY-MM-DD hh:mm:ss
        const char* input;
        const char* time;  // the message time's fields, as YYYY-MM-DD hh:mm:ss
    } cases[] = {
        {"2024-01-01 00:00:01", "<13>Dec 31 23:59:59 h t", "2023-12-31 23:59:59"},
        {"2024-01-31 12:00:00", "<13>Dec  1 00:00:00 h t", "2023-12-01 00:00:00"},
        {"2024-01-01 00:00:01", "<13>Nov 30 10:00:00 h t", "2024-11-30 10:00:00"},
        {"2024-12-31 23:59:58", "<13>Jan  1 00:00:01 h t", "2025-01-01 00:00:01"},
        {"2024-12-09 10:00:00", "<13>Jan  5 00:00:07 h t", "2025-01-05 00:00:07"},
        {"2024-12-09 10:00:00", "<13>Dec  9 09:00:00 h t", "2024-12-09 09:00:00"},
        {"2024-12-09 10:00:00", "<13>Feb  1 00:00:00 h t", "2024-02-01 00:00:00"},
        {"2024-02-01 00:00:01", "<13>Jan 31 23:59:59 h t", "2024-01-31 23:59:59"},
        {"2024-01-15 08:00:00", "<13>Jan  0 00:00:00 h t", "2024-01-00 00:00:00"},
        {"2024-01-15 08:00:00", "Jan 5 x", "2024-01-05 00:00:00"},  // fields the scan did not read stay 0
        {"2024-12-15 08:00:00", "Jan x", "2025-01-00 00:00:00"},
        {"2024-01-15 08:07:09", "no stamp", "2024-01-15 08:07:09"},
        {"2024-12-31 23:59:58", "<13>1 - h a - - - m", "2024-12-31 23:59:58"},
    };
    static SyslogMessage msg;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.input) + " arriving " + c.arrival);
        time_t arrival = ExpectedTime(c.arrival, false);
        Parse(c.input, MakeSender(192, 0, 2, 7, 40123), arrival, &msg);
        char time[64];
        snprintf(time, sizeof time, "%04d-%02d-%02d %02d:%02d:%02d", msg.time.tm_year + 1900,
                 msg.time.tm_mon + 1, msg.time.tm_mday, msg.time.tm_hour, msg.time.tm_min, msg.time.tm_sec);
        EXPECT_STREQ(c.time, time);
        EXPECT_FALSE(msg.fullDate);
        EXPECT_EQ(localtime(&arrival)->tm_isdst, msg.time.tm_isdst);
    }
}

TEST(CompleteTime, GivenYearStopsAfterTheDaylightFlag) {
    struct tm local, t = {};
    Arrival(&local);
    local.tm_isdst = 1;
    t.tm_year = 99;
    CompleteTime(&t, &local);
    EXPECT_EQ(1, t.tm_isdst);
    EXPECT_EQ(99, t.tm_year);
    EXPECT_EQ(0, t.tm_yday + t.tm_mon + t.tm_mday + t.tm_sec);
}

// PRI 0 and no PRI give the same facility and severity; only hasPri tells
// them apart, in every layout.
TEST(ParseMessage, PriZeroIsNotNoPri) {
    const struct {
        const char* datagram;
        bool hasPri;
    } cases[] = {
        {"<0>Oct 11 22:14:15 h t", true},
        {"<>Oct 11 22:14:15 h t", true},
        {"<0>1 2003-10-11T22:14:15Z h a - - - t", true},
        {"<0>2003-10-11T22:14:15Z h t", true},
        {"Oct 11 22:14:15 h t", false},
        {"<0 Oct 11 22:14:15 h t", false},
        {"<x>t", false},
        {"", false},
    };
    const SenderAddress sender = MakeSender(192, 0, 2, 7, 40123);
    static SyslogMessage msg;
    for (const auto& c : cases) {
        Parse(c.datagram, sender, 1000, &msg);
        EXPECT_EQ(c.hasPri, msg.hasPri) << c.datagram;
        EXPECT_EQ(0, msg.facility + msg.severity) << c.datagram;
    }
}

TEST(LookupName, FirstMatchingRowWins) {
    const struct {
        const NameCode* table;
        int code;
        const char* name;
    } cases[] = {
        {FacilityNames, 32, "auth"},    {FacilityNames, 0, "kern"},   {FacilityNames, 8, "user"},
        {FacilityNames, 184, "local7"}, {FacilityNames, 96, ""},      {FacilityNames, 200, ""},
        {FacilityNames, 248, ""},       {FacilityNames, -1, ""},      {SeverityNames, 0, "emerg"},
        {SeverityNames, 1, "alert"},    {SeverityNames, 2, "crit"},   {SeverityNames, 3, "err"},
        {SeverityNames, 4, "warn"},     {SeverityNames, 5, "notice"}, {SeverityNames, 6, "info"},
        {SeverityNames, 7, "debug"},    {SeverityNames, 16, "none"},  {SeverityNames, 8, ""},
    };
    for (const auto& c : cases) EXPECT_STREQ(c.name, LookupName(c.table, c.code)) << c.code;
}

SenderAddress MakeSender6(std::initializer_list<unsigned> groups, unsigned port, uint32_t scope = 0) {
    SenderAddress s = {kSenderIPv6, static_cast<uint16_t>(port), {}, scope};
    int i = 0;
    for (unsigned g : groups) {
        s.address[i++] = static_cast<uint8_t>(g >> 8);
        s.address[i++] = static_cast<uint8_t>(g);
    }
    return s;
}

// IPv4 as "a.b.c.d:port"; IPv6 as RFC 5952 writes it, in brackets, with the
// scope when there is one.
TEST(FormatSender, AddressAndPortInHostOrder) {
    const struct {
        SenderAddress sender;
        const char* text;
    } cases[] = {
        {MakeSender(192, 0, 2, 7, 40123), "192.0.2.7:40123"},
        {MakeSender(255, 255, 255, 255, 65535), "255.255.255.255:65535"},
        {MakeSender6({0, 0, 0, 0, 0, 0, 0, 1}, 514), "[::1]:514"},
        {MakeSender6({0, 0, 0, 0, 0, 0, 0, 0}, 1), "[::]:1"},
        {MakeSender6({0x2001, 0xdb8, 0, 0, 0, 0, 0, 7}, 40123), "[2001:db8::7]:40123"},
        {MakeSender6({0x2001, 0xdb8, 0, 1, 0, 0, 0, 1}, 1), "[2001:db8:0:1::1]:1"},    // the longer run
        {MakeSender6({0x2001, 0xdb8, 0, 0, 1, 0, 0, 1}, 1), "[2001:db8::1:0:0:1]:1"},  // the first of equals
        {MakeSender6({0x2001, 0xdb8, 0, 1, 1, 1, 1, 1}, 1), "[2001:db8:0:1:1:1:1:1]:1"},  // one zero stays
        {MakeSender6({0xfe80, 0, 0, 0, 0xABCD, 0xEF, 0, 0}, 9, 3), "[fe80::abcd:ef:0:0%3]:9"},
        {MakeSender6({0, 0, 0, 0, 0, 0xffff, 0xc000, 0x0207}, 7), "[::ffff:192.0.2.7]:7"},
        {MakeSender6({0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff}, 65535, 4294967295u),
         "[ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff%4294967295]:65535"},
    };
    for (const auto& c : cases) {
        char out[kSenderTextSize];
        FormatSender(&c.sender, out, sizeof out);
        EXPECT_STREQ(c.text, out);
    }
    char small[8];
    FormatSender(&cases[0].sender, small, sizeof small);
    EXPECT_STREQ("192.0.2", small);
}

}  // namespace
