// Readers for RFC 5424 headers and RFC 3339 dates (grammar in parser5424.h),
// and the calendar arithmetic that turns a zoned date into a point in time
// without the C run-time's time zone.
#include "syslog/parser5424.h"

#include <cstring>

namespace {

enum {
    kMaxHostName = 255,
    kMaxAppName = 48,
    kMaxProcId = 128,
    kMaxMsgId = 32,
    kMaxSdName = 32,
};

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsPrintUsAscii(char c) {
    return c >= 33 && c <= 126;
}

bool IsSdNameChar(char c) {
    return IsPrintUsAscii(c) && c != '=' && c != ']' && c != '"';
}

// The readers below take nullptr (an earlier piece failed) and pass it on.

// Exactly `digits` decimal digits at `p` with a value from `low` to `high`.
const char* ReadNumber(const char* p, int digits, int low, int high, int* value) {
    if (!p) return nullptr;
    int v = 0;
    for (int i = 0; i < digits; ++i) {
        if (!IsDigit(p[i])) return nullptr;
        v = v * 10 + (p[i] - '0');
    }
    if (v < low || v > high) return nullptr;
    *value = v;
    return p + digits;
}

const char* Expect(const char* p, char c) {
    return p && *p == c ? p + 1 : nullptr;
}

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 1970-01-01 to the date, by counting whole 400-year eras from a
// calendar that starts its years on 1 March, so that the leap day ends a year.
int64_t DaysFromCivil(int year, int month, int day) {
    int64_t y = year - (month <= 2 ? 1 : 0);
    int64_t era = (y >= 0 ? y : y - 399) / 400;
    int64_t yearOfEra = y - era * 400;                                             // 0 to 399
    int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;  // from 1 March
    int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;  // 719468: days from 0000-03-01 to 1970-01-01
}

// A field of 1 to `maximum` printable ASCII characters followed by a space;
// "-" gives length 0. Returns the position after the space.
const char* ReadField(const char* p, size_t maximum, Field* field) {
    if (!p) return nullptr;
    size_t length = 0;
    while (IsPrintUsAscii(p[length])) {
        if (++length > maximum) return nullptr;
    }
    if (length == 0 || p[length] != ' ') return nullptr;
    field->start = p;
    field->length = (length == 1 && *p == '-') ? 0 : length;
    return p + length + 1;
}

const char* ReadSdName(const char* p) {
    if (!p) return nullptr;
    size_t length = 0;
    while (IsSdNameChar(p[length])) {
        if (++length > kMaxSdName) return nullptr;
    }
    return length > 0 ? p + length : nullptr;
}

// '"' value '"', the value running to the first quote that is not escaped.
const char* ReadParamValue(const char* p) {
    p = Expect(p, '"');
    if (!p) return nullptr;
    while (*p != '"') {
        if (*p == '\0') return nullptr;
        if (*p == '\\' && (p[1] == '"' || p[1] == '\\' || p[1] == ']'))
            p += 2;
        else
            p += 1;
    }
    return p + 1;
}

const char* ReadSdElement(const char* p) {
    p = ReadSdName(Expect(p, '['));
    while (p && *p == ' ') {
        p = ReadSdName(p + 1);
        p = ReadParamValue(Expect(p, '='));
    }
    return Expect(p, ']');
}

}  // namespace

const char* ReadDateTime(const char* p, DateTime* out) {
    DateTime t = {};
    p = ReadNumber(p, 4, 0, 9999, &t.year);
    p = ReadNumber(Expect(p, '-'), 2, 1, 12, &t.month);
    if (!p) return nullptr;  // the day's range needs the month
    p = ReadNumber(Expect(p, '-'), 2, 1, DaysInMonth(t.year, t.month), &t.day);
    p = ReadNumber(Expect(p, 'T'), 2, 0, 23, &t.hour);
    p = ReadNumber(Expect(p, ':'), 2, 0, 59, &t.minute);
    p = ReadNumber(Expect(p, ':'), 2, 0, 60, &t.second);
    if (!p) return nullptr;
    if (*p == '.') {
        if (!IsDigit(p[1])) return nullptr;
        for (++p; IsDigit(*p); ++p) {
        }
    }
    if (*p == 'Z') {
        t.zoned = true;
        ++p;
    } else if (*p == '+' || *p == '-') {
        int sign = *p == '-' ? -1 : 1, hours = 0, minutes = 0;
        p = ReadNumber(p + 1, 2, 0, 23, &hours);
        p = ReadNumber(Expect(p, ':'), 2, 0, 59, &minutes);
        if (!p) return nullptr;
        t.zoned = true;
        t.offsetSeconds = sign * (hours * 3600 + minutes * 60);
    }
    *out = t;
    return p;
}

int64_t SecondsSinceEpoch(const DateTime& t) {
    int64_t days = DaysFromCivil(t.year, t.month, t.day);
    return days * 86400 + t.hour * 3600 + t.minute * 60 + t.second - t.offsetSeconds;
}

bool ReadHeader5424(const char* p, Header5424* out) {
    Header5424 h = {};
    if (p[0] != '1' || p[1] != ' ') return false;
    p += 2;
    if (p[0] == '-' && p[1] == ' ') {
        p += 1;
    } else {
        p = ReadDateTime(p, &h.time);
        h.timed = true;
    }
    p = ReadField(Expect(p, ' '), kMaxHostName, &h.host);
    p = ReadField(p, kMaxAppName, &h.appName);
    p = ReadField(p, kMaxProcId, &h.procId);
    p = ReadField(p, kMaxMsgId, &h.msgId);
    if (!p) return false;

    h.structuredData.start = p;
    if (*p == '-') {
        ++p;
    } else {
        if (*p != '[') return false;
        while (p && *p == '[') p = ReadSdElement(p);
        if (!p) return false;
        h.structuredData.length = static_cast<size_t>(p - h.structuredData.start);
    }
    if (*p != '\0' && *p != ' ') return false;

    const char* msg = *p == ' ' ? p + 1 : p;
    if (msg[0] == '\xEF' && msg[1] == '\xBB' && msg[2] == '\xBF') {  // stops at a NUL
        h.byteOrderMark = true;
        msg += 3;
    }
    h.msg.start = msg;
    h.msg.length = strlen(msg);
    *out = h;
    return true;
}

size_t ComposeText5424(const Header5424& h, char* out) {
    char* w = out;
    // memmove: a piece may overlap the place it is written to.
    auto put = [&w](const char* bytes, size_t n) {
        memmove(w, bytes, n);
        w += n;
    };
    auto separate = [&w, out]() {
        if (w != out) *w++ = ' ';
    };
    if (h.appName.length != 0 || h.procId.length != 0) {
        put(h.appName.start, h.appName.length);
        if (h.procId.length != 0) {
            *w++ = '[';
            put(h.procId.start, h.procId.length);
            *w++ = ']';
        }
        *w++ = ':';
    }
    const Field* rest[] = {&h.msgId, &h.structuredData, &h.msg};
    for (const Field* field : rest) {
        if (field->length == 0) continue;
        separate();
        put(field->start, field->length);
    }
    *w = '\0';
    return static_cast<size_t>(w - out);
}
