// The log file's name pattern: its check, its expansion, and the way back
// from a name to its date. Dates are counted in days with the proleptic
// Gregorian calendar, so that "more than N days before today" is a
// subtraction.
#include "logfile/log_pattern.h"

#include <cstdio>
#include <cstring>

namespace {

enum {
    // The longest a name without a year waits to stand for a date again:
    // 29 February, eight years at a century that is not a leap year.
    kLongestRecurrenceDays = 8 * 366 + 1,
};

// The digits a field takes in a name, 0 for a byte that is no field.
int FieldDigits(char field) {
    switch (field) {
        case 'Y':
            return 4;
        case 'm':
        case 'd':
        case 'H':
            return 2;
        default:
            return 0;
    }
}

int* FieldOf(LogDate* date, char field) {
    switch (field) {
        case 'Y':
            return &date->year;
        case 'm':
            return &date->month;
        case 'd':
            return &date->day;
        default:
            return &date->hour;
    }
}

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// Days of `month` (1..12); a month of no known year may have 29 February.
int DaysInMonth(int year, int month) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && (year == 0 || IsLeapYear(year))) return 29;
    return kDays[month - 1];
}

// Days since 1970-01-01 of a date, and back (H. Hinnant's civil calendar).
long long DaysFromCivil(long long year, int month, int day) {
    year -= month <= 2;
    long long era = (year >= 0 ? year : year - 399) / 400;
    long long yearOfEra = year - era * 400;
    long long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    long long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

void CivilFromDays(long long days, LogDate* date) {
    days += 719468;
    long long era = (days >= 0 ? days : days - 146096) / 146097;
    long long dayOfEra = days - era * 146097;
    long long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    long long mp = (5 * dayOfYear + 2) / 153;
    date->day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
    date->month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    date->year = static_cast<int>(yearOfEra + era * 400 + (date->month <= 2));
}

bool SameDay(const LogDate& named, const LogDate& day) {
    return (named.year == 0 || named.year == day.year) && (named.month == 0 || named.month == day.month) &&
           (named.day == 0 || named.day == day.day);
}

// The fields a name read back gave: those of a real date and hour.
bool RealDate(const LogDate& d, const bool given[4]) {
    if (given[0] && (d.year < 1 || d.year > 9999)) return false;
    if (given[1] && (d.month < 1 || d.month > 12)) return false;
    if (given[2] && (d.day < 1 || d.day > (given[1] ? DaysInMonth(d.year, d.month) : 31))) return false;
    return !given[3] || d.hour <= 23;
}

}  // namespace

LogPatternKind CheckLogPattern(const char* pattern, size_t* badAt) {
    LogPatternKind kind = kPatternPlain;
    for (size_t i = 0; pattern[i] != '\0'; i++) {
        if (pattern[i] != '%') continue;
        char field = pattern[i + 1];
        if (field == '\0' || (field != '%' && FieldDigits(field) == 0)) {
            if (badAt) *badAt = i;
            return field == '\0' ? kPatternLonePercent : kPatternUnknownField;
        }
        if (field != '%')
            kind = kPatternDated;
        else if (kind == kPatternPlain)
            kind = kPatternUndated;
        i++;
    }
    return kind;
}

bool ExpandLogPattern(const char* pattern, const LogDate& date, char* out, size_t size) {
    if (size == 0) return false;
    out[0] = '\0';
    if (CheckLogPattern(pattern, nullptr) > kPatternDated) return false;
    LogDate fields = date;
    size_t length = 0;
    for (const char* p = pattern; *p != '\0'; p++) {
        char piece[16] = {*p, '\0'};
        if (*p == '%' && *++p != '%')
            snprintf(piece, sizeof piece, "%0*d", FieldDigits(*p), *FieldOf(&fields, *p));
        size_t n = strlen(piece);
        if (length + n >= size) {
            out[0] = '\0';
            return false;
        }
        memcpy(out + length, piece, n + 1);
        length += n;
    }
    return true;
}

bool MatchLogPattern(const char* pattern, size_t patternLength, const char* name, size_t nameLength,
                     LogDate* date) {
    LogDate read = {0, 0, 0, 0};
    bool given[4] = {false, false, false, false};
    size_t at = 0;
    for (size_t i = 0; i < patternLength; i++) {
        char c = pattern[i];
        if (c == '%' && i + 1 < patternLength && pattern[i + 1] != '%') {
            char field = pattern[++i];
            int digits = FieldDigits(field);
            if (digits == 0 || nameLength - at < static_cast<size_t>(digits)) return false;
            int value = 0;
            for (int k = 0; k < digits; k++) {
                char digit = name[at++];
                if (digit < '0' || digit > '9') return false;
                value = value * 10 + (digit - '0');
            }
            int slot = field == 'Y' ? 0 : field == 'm' ? 1 : field == 'd' ? 2 : 3;
            int* kept = FieldOf(&read, field);
            if (given[slot] && *kept != value) return false;
            given[slot] = true;
            *kept = value;
            continue;
        }
        if (c == '%') i++;  // "%%" is one percent sign
        if (at == nameLength || name[at] != c) return false;
        at++;
    }
    if (at != nameLength || !RealDate(read, given)) return false;
    if (date) *date = read;
    return true;
}

bool LogDateExpired(const LogDate& named, const LogDate& today, int keepDays) {
    if (keepDays < 0) return false;
    long long now = DaysFromCivil(today.year, today.month, today.day);
    long long from = now, to = now - kLongestRecurrenceDays;
    if (named.year != 0) {
        long long first = DaysFromCivil(named.year, 1, 1), last = DaysFromCivil(named.year, 12, 31);
        if (first > now) return false;
        from = last < now ? last : now;
        to = first;
    }
    // The newest day up to today that the name stands for.
    for (long long d = from; d >= to; d--) {
        LogDate day;
        CivilFromDays(d, &day);
        if (SameDay(named, day)) return now - d > keepDays;
    }
    return false;  // a name that stands only for days after today
}
