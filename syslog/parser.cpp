// Parser for one received syslog datagram: PRI, timestamp, host and message
// text. A BSD message time is completed from the local time of arrival; the
// newer layouts give a full date, converted exactly. Deliberately lenient:
// every datagram gives a result, nothing is reported.
#include "syslog/parser.h"

#include <cstdio>
#include <cstring>

#include "syslog/parser5424.h"

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
    // A stamp sent just before New Year and received just after it, or the
    // other way round across a clock a little ahead.
    const int kJanuary = 0, kDecember = 11;
    if (arrival->tm_mon == kJanuary && t->tm_mon == kDecember) t->tm_year--;
    if (arrival->tm_mon == kDecember && t->tm_mon == kJanuary) t->tm_year++;
}

const char* LookupName(const NameCode* table, int code) {
    for (const NameCode* row = table; row->name != nullptr; ++row) {
        if (row->code == code) return row->name;
    }
    return "";
}

// RFC 5952: lower-case hex without leading zeros, the longest run of two or
// more zero groups (the first of equal runs) written "::", and an IPv4-mapped
// address with its IPv4 part dotted. `out` holds at least 46 bytes.
static void FormatIPv6(const uint8_t* a, char* out) {
    unsigned groups[8];
    for (int i = 0; i < 8; ++i) groups[i] = (static_cast<unsigned>(a[2 * i]) << 8) | a[2 * i + 1];
    int zerosAt = -1, zeros = 1;  // a single zero group is written "0"
    for (int i = 0; i < 8;) {
        int start = i;
        while (i < 8 && groups[i] == 0) ++i;
        if (i - start > zeros) zerosAt = start, zeros = i - start;
        if (i == start) ++i;
    }
    if (zerosAt == 0 && zeros == 5 && groups[5] == 0xFFFF) {
        sprintf(out, "::ffff:%u.%u.%u.%u", a[12], a[13], a[14], a[15]);
        return;
    }
    char* p = out;
    for (int i = 0; i < 8; ++i) {
        if (i == zerosAt) {
            p += sprintf(p, "::");
            i += zeros - 1;
        } else {
            p += sprintf(p, i == 0 || i == zerosAt + zeros ? "%x" : ":%x", groups[i]);
        }
    }
    *p = '\0';
}

void FormatSender(const SenderAddress* sender, char* out, size_t size) {
    if (size == 0) return;
    out[0] = '\0';
    if (sender == nullptr) return;
    const uint8_t* a = sender->address;
    if (sender->family == kSenderIPv6) {
        char address[64];
        FormatIPv6(a, address);
        if (sender->scopeId != 0)
            snprintf(out, size, "[%s%%%lu]:%u", address, static_cast<unsigned long>(sender->scopeId),
                     static_cast<unsigned>(sender->port));
        else
            snprintf(out, size, "[%s]:%u", address, static_cast<unsigned>(sender->port));
        return;
    }
    snprintf(out, size, "%u.%u.%u.%u:%u", a[0], a[1], a[2], a[3], static_cast<unsigned>(sender->port));
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

bool IsEscapedByte(unsigned char c) {
    const unsigned char kDelete = 0x7F;
    if (c == kDelete) return true;
    if (c >= 0x20) return false;
    // TAB, and bold, colour, italic, reverse and underline of the view.
    return c != '\t' && c != 0x02 && c != 0x03 && c != 0x14 && c != 0x16 && c != 0x1F;
}

void WriteByteEscape(unsigned char c, char* out) {
    out[0] = '#';
    out[1] = static_cast<char>('0' + (c >> 6));
    out[2] = static_cast<char>('0' + ((c >> 3) & 7));
    out[3] = static_cast<char>('0' + (c & 7));
}

// Copies the message into the working text: trailing NULs dropped, every
// NUL left inside written as "#000", at most kMaxMessage bytes looked at.
static void CopyEscapingNuls(const char* datagram, size_t length, char* text) {
    if (length > kMaxMessage) length = kMaxMessage;
    while (length > 0 && datagram[length - 1] == '\0') --length;
    const char* end = datagram + length;
    char* out = text;
    while (datagram < end) {
        const char* nul =
            static_cast<const char*>(memchr(datagram, '\0', static_cast<size_t>(end - datagram)));
        size_t run = static_cast<size_t>((nul ? nul : end) - datagram);
        memcpy(out, datagram, run);
        out += run;
        datagram += run;
        if (nul) {
            WriteByteEscape(0, out);
            out += kByteEscapeLength;
            ++datagram;
        }
    }
    *out = '\0';
}

// The message time of a full date: a zoned one converted by arithmetic and
// shown in local time, one without offset read as local time.
static void SetFullDate(SyslogMessage* msg, const DateTime& date, TimeCache* times) {
    struct tm written = {};
    written.tm_year = date.year - 1900;
    written.tm_mon = date.month - 1;
    written.tm_mday = date.day;
    written.tm_hour = date.hour;
    written.tm_min = date.minute;
    written.tm_sec = date.second;
    written.tm_isdst = -1;
    msg->fullDate = true;
    if (date.zoned) {
        msg->when = static_cast<time_t>(SecondsSinceEpoch(date));
        msg->whenKnown = true;
        if (!LocalTimeOf(times, msg->when, &msg->time)) msg->time = written;
    } else {
        msg->when = MakeLocalTime(times, &written);
        msg->whenKnown = msg->when != static_cast<time_t>(-1);
        msg->time = written;
    }
}

// RFC 5424 after the PRI at `afterPri`. On success the host, the time and
// the message text (composed over the header) are set.
static bool ParseRfc5424(SyslogMessage* msg, char* afterPri, const SenderAddress* sender, TimeCache* times) {
    Header5424 header;
    if (!ReadHeader5424(afterPri, &header)) return false;
    if (header.host.length == 0) {
        FormatSender(sender, msg->host, kHostSize);
    } else {
        memcpy(msg->host, header.host.start, header.host.length);  // at most 255 bytes
        msg->host[header.host.length] = '\0';
    }
    if (header.timed) SetFullDate(msg, header.time, times);  // "-": the arrival, as without timestamp
    msg->markedUtf8 = header.byteOrderMark;
    ComposeText5424(header, afterPri);
    msg->message = afterPri;
    return true;
}

// An RFC 3339 date-time right after the PRI, then a space; the host and the
// text follow by the BSD rules. A date-time that ends the (trimmed) text is
// no such stamp: the BSD rules read that datagram as they always have.
static bool ParseRfc3339Stamp(SyslogMessage* msg, TimeCache* times) {
    DateTime date;
    const char* end = ReadDateTime(msg->message, &date);
    if (!end || *end != ' ') return false;
    SetFullDate(msg, date, times);
    msg->message = msg->text + (end - msg->text);
    ReadHost(msg);
    return true;
}

void ParseMessage(const char* datagram, size_t length, const SenderAddress* sender, time_t receiveTime,
                  TimeCache* times, SyslogMessage* msg) {
    CopyEscapingNuls(datagram, length, msg->text);
    TrimTrailing(msg->text);

    msg->facility = 0;
    msg->severity = 0;
    msg->host[0] = '\0';
    memset(&msg->time, 0, sizeof msg->time);
    msg->message = msg->text;
    msg->fullDate = false;
    msg->whenKnown = false;
    msg->when = 0;
    msg->markedUtf8 = false;

    ParsePri(msg);
    msg->hasPri = msg->message != msg->text;
    bool stamped = false;
    if (msg->hasPri && ParseRfc5424(msg, msg->message, sender, times)) {
        if (msg->fullDate) return;  // else TIMESTAMP was "-": the arrival, as without timestamp
    } else if (msg->hasPri && ParseRfc3339Stamp(msg, times)) {
        return;
    } else if (ParseTimestamp(msg)) {
        stamped = true;
        ReadHost(msg);
    } else {
        FormatSender(sender, msg->host, kHostSize);
    }

    // Only a message time that is not a full date needs the arrival's: a
    // BSD stamp its year, a message without timestamp all of it.
    struct tm arrival;
    if (!LocalTimeOf(times, receiveTime, &arrival)) memset(&arrival, 0, sizeof arrival);
    if (stamped)
        CompleteTime(&msg->time, &arrival);
    else
        msg->time = arrival;
}

bool LocalTimeOf(TimeCache* times, time_t t, struct tm* out) {
    for (const TimeCache::Local& slot : times->local) {
        if (slot.known && slot.from == t) {
            *out = slot.local;
            return true;
        }
    }
    // The run-time's localtime keeps its answer per thread.
    const struct tm* local = localtime(&t);
    if (local == nullptr) return false;
    TimeCache::Local& slot = times->local[times->localNext];
    times->localNext ^= 1;
    slot.from = t;
    slot.local = *local;
    slot.known = true;
    *out = slot.local;
    return true;
}

time_t MakeLocalTime(TimeCache* times, const struct tm* t) {
    for (const TimeCache::Made& slot : times->made) {
        if (slot.known && memcmp(t, &slot.from, sizeof slot.from) == 0) return slot.made;
    }
    TimeCache::Made& slot = times->made[times->madeNext];
    times->madeNext ^= 1;
    struct tm copy = *t;  // mktime normalises what it is given
    slot.made = mktime(&copy);
    slot.from = *t;
    slot.known = true;
    return slot.made;
}
