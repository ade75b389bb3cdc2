// The log file's name as a pattern of date fields: "%Y" (four digits), "%m",
// "%d" and "%H" (two digits each) stand for the local year, month, day and
// hour of a line's time, "%%" for a percent sign, and every other byte for
// itself. The pattern is checked once (the command line), expanded for each
// file the writer starts, and read backwards by the retention: which
// existing names it made, and which date each one names. Pure code.
#pragma once

#include <cstddef>

// The two refusals come last: a kind above kPatternDated is a bad pattern.
enum LogPatternKind {
    kPatternPlain,         // no field at all: the name as it is
    kPatternUndated,       // "%%" only: no date in the name
    kPatternDated,         // at least one of %Y %m %d %H
    kPatternUnknownField,  // "%" before anything but Y m d H %
    kPatternLonePercent,   // "%" as the last byte
};

enum { kKeepEveryDay = -1 };  // the retention's days when none is asked for

// A local date and hour; in a name read back, 0 for a field the pattern lacks.
struct LogDate {
    int year;   // 1..9999
    int month;  // 1..12
    int day;    // 1..31
    int hour;   // 0..23
};

// What `pattern` is. For the two refusals, `*badAt` (when given) is the
// offset of the '%' that is wrong.
LogPatternKind CheckLogPattern(const char* pattern, size_t* badAt);

// The name `pattern` gives at `date`, into `out` of `size` bytes; false, with
// "" in `out`, when it does not fit or the pattern is refused.
bool ExpandLogPattern(const char* pattern, const LogDate& date, char* out, size_t size);

// Whether `nameLength` bytes of `name` are what the first `patternLength`
// bytes of a pattern expand to at some date: every other byte the same,
// each field exactly its count of digits, a field given twice the same both
// times, and the values those of a real date and hour. `date` (when given)
// gets the fields, 0 for those the pattern lacks.
bool MatchLogPattern(const char* pattern, size_t patternLength, const char* name, size_t nameLength,
                     LogDate* date);

// Whether a file whose name gives `named` (fields 0 where the pattern has
// none) is expired on `today` when `keepDays` days are kept: its newest date
// up to today lies more than `keepDays` days before today. A name without a
// year stands for its latest date up to today, and one all in the future is
// kept.
bool LogDateExpired(const LogDate& named, const LogDate& today, int keepDays);
