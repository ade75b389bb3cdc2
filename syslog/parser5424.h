// The two layouts of newer senders, read after the PRI: RFC 5424's header
// and an RFC 3339 date and time in place of the BSD timestamp. Only the
// grammar and the calendar arithmetic live here; parser.cpp decides which
// layout a datagram has and fills the message. Pure code: no window headers.
//
//   date-time  = YYYY "-" MM "-" DD "T" hh ":" mm ":" ss [ "." 1*DIGIT ] [ offset ]
//   offset     = "Z" / ( "+" / "-" ) hh ":" mm
//   header5424 = "1" SP ( date-time / "-" ) SP HOSTNAME SP APP-NAME SP PROCID SP MSGID
//                SP STRUCTURED-DATA [ SP MSG ]
//   STRUCTURED-DATA = "-" / 1*( "[" SD-NAME *( SP SD-NAME "=" DQUOTE value DQUOTE ) "]" )
//
// Months 01-12, the day checked against its month (leap years included),
// hours 00-23, minutes 00-59, seconds 00-60 (a leap second counts as the
// next second); the fraction is dropped. Header fields are 1 to 255 (host),
// 48 (APP-NAME), 128 (PROCID) and 32 (MSGID) printable ASCII characters, "-"
// for none; SD-NAME 1 to 32 of them except '=', space, ']' and '"'. A value
// runs to the first '"' that no backslash escapes (\" \\ and \] are the
// escapes); its other bytes are not looked at. Anything else breaks the
// layout, and the reader says so: nothing is reported.
#pragma once

#include <cstddef>
#include <cstdint>

// A date and time as written, not yet converted.
struct DateTime {
    int year, month, day;  // month 1-12
    int hour, minute, second;
    bool zoned;         // an offset was given ("Z" is +00:00)
    int offsetSeconds;  // east of UTC
};

// Reads a date-time at `p`. Returns the position just after it, or nullptr
// when the text there is no date-time.
const char* ReadDateTime(const char* p, DateTime* out);

// The point in time of a zoned date-time, in seconds since
// 1970-01-01T00:00:00Z (negative before), by the Gregorian calendar.
int64_t SecondsSinceEpoch(const DateTime& time);

// One RFC 5424 header as read. Each field points into the text read, with
// its length; a field given as "-" has length 0.
struct Field {
    const char* start;
    size_t length;
};
struct Header5424 {
    bool timed;     // TIMESTAMP was a date-time, not "-"
    DateTime time;  // with `timed`
    Field host, appName, procId, msgId, structuredData;
    Field msg;           // to the end of the text; empty when there is none
    bool byteOrderMark;  // MSG began with a UTF-8 byte order mark (not in `msg`)
};

// Reads the header that follows the PRI at `p`, up to the end of the NUL-
// terminated text. False when the text breaks the layout anywhere up to and
// including STRUCTURED-DATA and the space after it.
bool ReadHeader5424(const char* p, Header5424* out);

// Writes the message text of a header to `out`: APP-NAME with "[PROCID]" and
// ":", MSGID, STRUCTURED-DATA as received and MSG, each left out when not
// given, joined by single spaces, then a NUL. `out` may lie inside the text
// the header was read from, at its version digit or before: the pieces then
// move towards the start and never overtake what is still to be read (the
// text from the version to APP-NAME is at least 6 bytes, the pieces grow by
// at most 2). Returns the length written.
size_t ComposeText5424(const Header5424& header, char* out);
