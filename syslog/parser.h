// Parser for one received syslog datagram in the BSD layout:
//   [<PRI>][Mmm dd hh:mm:ss ]host message
// It never rejects anything: a missing PRI gives facility and severity 0, a
// missing timestamp gives the sender's address as host and the arrival time.
// Pure code: no window or socket headers, so it builds and tests natively too.
#pragma once

#include <cstddef>
#include <ctime>

struct sockaddr_in;  // the sender as the socket layer wrote it (16 bytes)

enum {
    kMaxDatagram = 4095,   // bytes of one datagram that are looked at
    kHostSize = 256,       // host field, NUL included
    kSenderTextSize = 24,  // "255.255.255.255:65535" and its NUL
    kMaxNameLength = 8,    // longest facility or severity name ("authpriv", "warning")
};

struct SyslogMessage {
    char text[kMaxDatagram + 1];  // working text: the trimmed datagram
    char* message;                // text position inside `text`
    unsigned short facility;      // PRI & 0xF8
    unsigned short severity;      // PRI & 7
    struct tm time;               // message time; 0 in a field means "not given"
    char host[kHostSize];
};

// One row of a name table; a table ends with { nullptr, -1 }.
struct NameCode {
    const char* name;
    int code;
};

extern const char* const MonthNames[12];
extern const NameCode FacilityNames[];
extern const NameCode SeverityNames[];

void ParseMessage(const char* datagram, const sockaddr_in* sender, time_t receiveTime, SyslogMessage* msg);
void TrimTrailing(char* text);
void ParsePri(SyslogMessage* msg);
bool ParseTimestamp(SyslogMessage* msg);
int LookupMonth(const char* word);
void CompleteTime(struct tm* t, const struct tm* arrival);
const char* LookupName(const NameCode* table, int code);

// localtime and mktime, remembering their last answer: the datagrams of a
// burst arrive within one second and name the same times, and every
// conversion asks the system for its time zone (under Wine a round trip to
// the server and a look at the zone file). LocalTimeOf is false when the
// time cannot be converted; MakeLocalTime leaves its argument as it is.
bool LocalTimeOf(time_t t, struct tm* out);
time_t MakeLocalTime(const struct tm* t);

// "a.b.c.d:port" of a sender, the port in host order; used for the host of a
// message without timestamp and for the formatter's source header.
void FormatSender(const sockaddr_in* sender, char* out, size_t size);
