// Parser for one received syslog datagram. After an optional PRI it reads
// the first of three layouts that fits the text:
//   <PRI>1 TIMESTAMP HOSTNAME APP-NAME PROCID MSGID STRUCTURED-DATA [ MSG]   RFC 5424
//   <PRI>YYYY-MM-DDThh:mm:ss[.frac][Z|+hh:mm|-hh:mm] host message          RFC 3339 stamp
//   [<PRI>][Mmm dd hh:mm:ss ]host message                                  BSD
// The first two need the PRI (their grammar in detail is in parser5424.h).
// RFC 5424's fields become the message text "APP[PROCID]: MSGID SD MSG",
// each part left out when it is "-", MSG without a leading byte order mark;
// HOSTNAME "-" gives the sender and TIMESTAMP "-" the arrival, as for a BSD
// datagram without timestamp. The RFC 3339 stamp is followed by a space,
// then host and message by the BSD rules. Both give a
// full date, converted exactly (an offset applied by arithmetic, a time
// without one read as local time); a BSD time is completed from the arrival.
// Text that breaks either newer layout anywhere in its header is read by
// the BSD rules, which never reject anything: a missing PRI gives facility
// and severity 0, a missing timestamp the sender's address as host and the
// arrival time.
// The datagram comes with its length: trailing NUL bytes are dropped, and
// every NUL left inside becomes the four characters "#000" before anything
// else is read, so the rest of the parse works on a plain C string. The
// other control bytes stay in the host and text for the parse (a line break
// still ends the host); the entry escapes them where it writes them.
// Pure code: no window or socket headers, so it builds and tests natively too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>

enum {
    kMaxMessage = 65536,    // bytes of one message that are looked at: a whole UDP datagram or TCP frame
    kByteEscapeLength = 4,  // "#" and three octal digits in place of one control byte
    kNulEscapeLength = kByteEscapeLength,        // "#000" in place of each NUL inside a message
    kMaxText = kMaxMessage * kByteEscapeLength,  // the working text after the escape; also the
                                                 // most an escaped text of a message can take
    kHostSize = 256,                             // host field, NUL included
    // "[" IPv6 text (at most 45) "%" scope id (at most 10) "]:" port (at most 5) and the NUL.
    kSenderTextSize = 1 + 45 + 1 + 10 + 2 + 5 + 1,
    kMaxNameLength = 8,  // longest facility or severity name ("authpriv", "warning")
};

// The sender of a datagram or connection as the socket layer gave it. The
// block decision compares all of it: family, address, scope and port.
enum : uint16_t { kSenderIPv4 = 4, kSenderIPv6 = 6 };
struct SenderAddress {
    uint16_t family;      // kSenderIPv4 or kSenderIPv6; 0 for no sender yet
    uint16_t port;        // host order
    uint8_t address[16];  // network order; IPv4 in the first four bytes, the rest zero
    uint32_t scopeId;     // IPv6 only; 0 for none
};
static_assert(sizeof(SenderAddress) == 24, "no padding: senders compare byte for byte");

// The last answers of localtime and mktime, two of each. Each thread that
// builds entries keeps its own: a datagram burst arrives within one second
// and names the same times, and every conversion asks the system for its
// time zone (under Wine a round trip to the server and a look at the zone
// file). Two, because the arrival of a BSD datagram and the full date of a
// newer one take turns when senders of both kinds send at once.
struct TimeCache {
    struct Local {
        time_t from;
        struct tm local;
        bool known;
    } local[2];
    struct Made {
        struct tm from;
        time_t made;
        bool known;
    } made[2];
    unsigned localNext, madeNext;  // the slot that the next new answer takes
};

struct SyslogMessage {
    // Working text: the trimmed datagram, NULs escaped. An RFC 5424 message
    // text is composed in place over its header.
    char text[kMaxText + 1];
    char* message;            // text position inside `text`
    // Without a PRI both are 0, as for PRI 0: `hasPri` tells them apart.
    bool hasPri;
    unsigned short facility;  // PRI & 0xF8
    unsigned short severity;  // PRI & 7
    // BSD: the message time as read, with the arrival's year (see
    // CompleteTime); without a timestamp the arrival's local time. With
    // `fullDate`: only the clock to show.
    struct tm time;
    char host[kHostSize];
    // The message gave a full date (RFC 5424 or RFC 3339): `when` is its
    // point in time, and `time` the local time of it (or the time as written
    // where the local time has no answer).
    bool fullDate;
    bool whenKnown;   // false for a time without offset that the C run-time cannot represent
    time_t when;      // seconds since 1970 (UTC)
    bool markedUtf8;  // the RFC 5424 MSG began with a UTF-8 byte order mark, left out of `message`
};

// One row of a name table; a table ends with { nullptr, -1 }.
struct NameCode {
    const char* name;
    int code;
};

extern const char* const MonthNames[12];
extern const NameCode FacilityNames[];
extern const NameCode SeverityNames[];

// One entry is one line in the view and in the log file, and no sender's
// byte can move the cursor of whoever reads the file: every byte below 0x20
// and DEL in a host or message text shows as "#" and three octal digits
// (LF "#012", ESC "#033", NUL "#000"), except TAB and the five colour-command
// bytes the view understands (0x02, 0x03, 0x14, 0x16, 0x1F). Bytes from 0x80
// up are characters and stay.
bool IsEscapedByte(unsigned char c);
// Writes the kByteEscapeLength bytes of the escape of `c` at `out`, no NUL.
void WriteByteEscape(unsigned char c, char* out);

// Parses `length` bytes of `datagram` (at most kMaxMessage are looked at).
void ParseMessage(const char* datagram, size_t length, const SenderAddress* sender, time_t receiveTime,
                  TimeCache* times, SyslogMessage* msg);
void TrimTrailing(char* text);
void ParsePri(SyslogMessage* msg);
bool ParseTimestamp(SyslogMessage* msg);
int LookupMonth(const char* word);
// Gives a BSD message time read from a stamp what the stamp cannot say:
// the arrival's daylight-saving flag when it has none, and the arrival's
// year when it has none, the year before for a December stamp that arrives
// in January and the year after for a January stamp that arrives in
// December. Every other field stays as read, zeros included.
void CompleteTime(struct tm* t, const struct tm* arrival);
const char* LookupName(const NameCode* table, int code);

// localtime and mktime through the caller's cache (see TimeCache). A
// zero-filled cache is empty. LocalTimeOf is false when the time cannot be
// converted; MakeLocalTime leaves its argument as it is.
bool LocalTimeOf(TimeCache* times, time_t t, struct tm* out);
time_t MakeLocalTime(TimeCache* times, const struct tm* t);

// The text of a sender, used for the host of a message without timestamp and
// for the source header: "a.b.c.d:port" for IPv4, "[address]:port" for IPv6
// with the address as RFC 5952 writes it and "%scope" when the scope id is
// not 0. The port is in host order.
void FormatSender(const SenderAddress* sender, char* out, size_t size);
