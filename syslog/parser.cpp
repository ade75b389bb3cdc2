// Parser for one received syslog datagram: PRI, timestamp, host and message
// text, with the message time completed from the local time of arrival.
// Deliberately lenient: every datagram gives a result, nothing is reported.
#include "parser.h"

#include <cstdio>
#include <cstring>

const char* const MonthNames[12] = {
    "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec",
};

// Row order matters: a lookup returns the first row with the code, so aliases
// that follow an earlier row with the same code are never produced.
constexpr NameCode FacilityNames[] = {
    {"auth", 32},    {"authpriv", 80}, {"cron", 72},    {"daemon", 24},  {"ftp", 88},      {"kern", 0},
    {"lpr", 48},     {"mail", 16},     {"mark", 192},   {"news", 56},    {"security", 32}, {"syslog", 40},
    {"user", 8},     {"uucp", 64},     {"local0", 128}, {"local1", 136}, {"local2", 144},  {"local3", 152},
    {"local4", 160}, {"local5", 168},  {"local6", 176}, {"local7", 184}, {nullptr, -1},
};

constexpr NameCode SeverityNames[] = {
    {"alert", 1}, {"crit", 2},   {"debug", 7}, {"emerg", 0}, {"err", 3},     {"error", 3},  {"info", 6},
    {"none", 16}, {"notice", 5}, {"panic", 0}, {"warn", 4},  {"warning", 4}, {nullptr, -1},
};

// The formatter sizes its line buffers by kMaxNameLength; a longer name
// added to a table must not compile.
constexpr bool NamesFit(const NameCode* table) {
    for (; table->name != nullptr; ++table) {
        size_t length = 0;
        while (table->name[length] != '\0') ++length;
        if (length > kMaxNameLength) return false;
    }
    return true;
}
static_assert(NamesFit(FacilityNames) && NamesFit(SeverityNames), "a name is longer than kMaxNameLength");

// The whitespace of scanf in the C locale; own test so that bytes 0x80-0xFF
// never reach the library's classification tables.
static bool IsScanSpace(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

static unsigned char AsciiLower(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

void TrimTrailing(char* text) {
    size_t length = strlen(text);
    while (length > 0) {
        char c = text[length - 1];
        if (c != '\r' && c != '\n' && c != ' ') break;
        text[--length] = '\0';
    }
}

void ParsePri(SyslogMessage* msg) {
    const char* p = msg->text;
    if (*p != '<') return;
    ++p;
    // Unsigned wrap-around is intended: only the value modulo 256 is used.
    unsigned int value = 0;
    while (*p >= '0' && *p <= '9') {
        value = value * 10u + static_cast<unsigned int>(*p - '0');
        ++p;
    }
    if (*p != '>') return;
    msg->facility = static_cast<unsigned short>(value & 0xF8u);
    msg->severity = static_cast<unsigned short>(value & 7u);
    msg->message = msg->text + (p + 1 - msg->text);
}

int LookupMonth(const char* word) {
    for (int month = 0; month < 12; ++month) {
        const char* name = MonthNames[month];
        int i = 0;
        while (i < 3 && AsciiLower(static_cast<unsigned char>(word[i])) ==
                            AsciiLower(static_cast<unsigned char>(name[i])))
            ++i;
        if (i == 3) return month;
    }
    return -1;
}

bool ParseTimestamp(SyslogMessage* msg) {
    char* s = msg->message;
    while (*s == ' ') ++s;

    char word[4] = "";
    int day = 0, hour = 0, minute = 0, second = 0;
    // Some C libraries skip a trailing %n at the end of input; -1 tells that apart.
    int consumed = -1;
    int assigned = sscanf(s, "%3s %d %d:%d:%d %n", word, &day, &hour, &minute, &second, &consumed);
    if (assigned < 1) return false;
    int month = LookupMonth(word);
    if (month < 0) return false;

    msg->time.tm_mon = month;
    msg->time.tm_mday = day;
    msg->time.tm_hour = hour;
    msg->time.tm_min = minute;
    msg->time.tm_sec = second;
    if (assigned == 5) msg->message = (consumed >= 0) ? s + consumed : s + strlen(s);
    return true;
}

void CompleteTime(struct tm* t, const struct tm* arrival) {
    if (t->tm_isdst == 0) t->tm_isdst = arrival->tm_isdst;
    if (t->tm_year != 0) return;
    t->tm_year = arrival->tm_year;
    if (t->tm_yday == 0) t->tm_yday = arrival->tm_yday;
    if (t->tm_mon != 0) return;
    t->tm_mon = arrival->tm_mon;
    if (t->tm_mday == 0) t->tm_mday = arrival->tm_mday;
    if (t->tm_wday == 0) t->tm_wday = arrival->tm_wday;
    if (t->tm_hour != 0) return;
    t->tm_hour = arrival->tm_hour;
    if (t->tm_min != 0) return;
    t->tm_min = arrival->tm_min;
    if (t->tm_sec == 0) t->tm_sec = arrival->tm_sec;
}

const char* LookupName(const NameCode* table, int code) {
    for (const NameCode* row = table; row->name != nullptr; ++row) {
        if (row->code == code) return row->name;
    }
    return "";
}

void FormatSender(const sockaddr_in* sender, char* out, size_t size) {
    if (size == 0) return;
    if (sender == nullptr) {
        out[0] = '\0';
        return;
    }
    // The record's layout is fixed by the wire format: family (2 bytes), port
    // in network order (2), IPv4 address in network order (4), padding (8).
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(sender);
    unsigned int port = (static_cast<unsigned int>(bytes[2]) << 8) | bytes[3];
    snprintf(out, size, "%u.%u.%u.%u:%u", bytes[4], bytes[5], bytes[6], bytes[7], port);
}

// Moves past the host word after a timestamp and copies at most the first
// kHostSize - 1 bytes of it.
static void ReadHost(SyslogMessage* msg) {
    const char* p = msg->message;
    while (IsScanSpace(static_cast<unsigned char>(*p))) ++p;
    size_t length = 0;
    while (p[length] != '\0' && !IsScanSpace(static_cast<unsigned char>(p[length]))) ++length;
    size_t kept = length < kHostSize - 1 ? length : kHostSize - 1;
    memcpy(msg->host, p, kept);
    msg->host[kept] = '\0';
    p += length;
    while (*p == ' ') ++p;
    msg->message = msg->text + (p - msg->text);
}

void ParseMessage(const char* datagram, const sockaddr_in* sender, time_t receiveTime, SyslogMessage* msg) {
    size_t length = 0;
    while (length < kMaxDatagram && datagram[length] != '\0') ++length;
    memcpy(msg->text, datagram, length);
    msg->text[length] = '\0';
    TrimTrailing(msg->text);

    msg->facility = 0;
    msg->severity = 0;
    msg->host[0] = '\0';
    memset(&msg->time, 0, sizeof msg->time);
    msg->message = msg->text;

    ParsePri(msg);

    struct tm arrival;
    if (!LocalTimeOf(receiveTime, &arrival)) memset(&arrival, 0, sizeof arrival);

    if (ParseTimestamp(msg))
        ReadHost(msg);
    else
        FormatSender(sender, msg->host, kHostSize);

    CompleteTime(&msg->time, &arrival);
}

bool LocalTimeOf(time_t t, struct tm* out) {
    static time_t lastTime;
    static struct tm lastLocal;
    static bool known = false;
    if (!known || t != lastTime) {
        const struct tm* local = localtime(&t);
        if (local == nullptr) return false;
        lastTime = t;
        lastLocal = *local;
        known = true;
    }
    *out = lastLocal;
    return true;
}

time_t MakeLocalTime(const struct tm* t) {
    static struct tm lastTm;
    static time_t lastTime;
    static bool known = false;
    if (!known || memcmp(t, &lastTm, sizeof lastTm) != 0) {
        struct tm copy = *t;  // mktime normalises what it is given
        lastTime = mktime(&copy);
        lastTm = *t;
        known = true;
    }
    return lastTime;
}
