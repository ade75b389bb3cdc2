// libFuzzer target for the datagram parser, all three layouts. The input is
// one datagram, held in an exactly sized heap buffer, so that
// AddressSanitizer catches any read past it; the sender and the arrival time
// come from a hash of the input. Every result is checked against the
// parser's invariants.
#include "syslog/parser.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "tests/fuzz/fuzz_target.h"

extern const char kTargetName[] = "parser";

namespace {

// The working text the parser must keep: at most kMaxMessage bytes of the
// datagram without its trailing NULs, each NUL inside as "#000", without
// trailing CR, LF and spaces.
std::string ExpectedText(const uint8_t* data, size_t size) {
    std::string s(reinterpret_cast<const char*>(data), size < kMaxMessage ? size : kMaxMessage);
    while (!s.empty() && s.back() == '\0') s.pop_back();
    std::string escaped;
    for (char c : s) escaped += c == '\0' ? std::string("#000") : std::string(1, c);
    while (!escaped.empty() && (escaped.back() == '\r' || escaped.back() == '\n' || escaped.back() == ' '))
        escaped.pop_back();
    return escaped;
}

int Done(char* datagram) {
    free(datagram);
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    char* datagram = static_cast<char*>(malloc(size ? size : 1));
    memcpy(datagram, data, size);

    uint64_t h = Hash(data, size);
    // An IPv4 or IPv6 sender from the hash.
    SenderAddress sender = {};
    sender.family = (h & 1) ? kSenderIPv6 : kSenderIPv4;
    sender.port = static_cast<uint16_t>(h >> 8);
    for (int i = 0; i < (sender.family == kSenderIPv6 ? 16 : 4); ++i)
        sender.address[i] = static_cast<uint8_t>(h >> (8 * (i % 8)) ^ i);
    if (sender.family == kSenderIPv6 && (h & 2)) sender.scopeId = static_cast<uint32_t>(h >> 32);
    time_t arrival = static_cast<time_t>(h % 8000000000ull) - 1000000000;  // 1938 to 2223

    static SyslogMessage* msg = static_cast<SyslogMessage*>(malloc(sizeof(SyslogMessage)));
    static TimeCache times;
    memset(msg, 0xA5, sizeof *msg);  // nothing may be left as it was
    ParseMessage(datagram, size, &sender, arrival, &times, msg);

    const char* textEnd = static_cast<const char*>(memchr(msg->text, '\0', sizeof msg->text));
    Check(textEnd != nullptr, "working text terminated");
    const std::string expected = ExpectedText(data, size);
    const std::string text(msg->text, static_cast<size_t>(textEnd - msg->text));
    Check(msg->message >= msg->text && msg->message <= textEnd, "message text inside the working text");
    size_t at = static_cast<size_t>(msg->message - msg->text);
    // Only an RFC 5424 header is rewritten: into its message text, in place,
    // right after the PRI, and never longer than what followed the PRI.
    bool rewritten = text != expected;
    Check(text.compare(0, at, expected, 0, at) == 0, "the text before the message is the datagram's");
    if (rewritten) {
        Check(at > 0 && msg->text[at - 1] == '>' && expected.compare(at, 2, "1 ") == 0,
              "only an RFC 5424 header after a PRI is rewritten");
        // "1 TS HOST " goes (6 bytes or more); "[", "]" and ":" add at most 2.
        Check(strlen(msg->message) + 4 <= expected.size() - at,
              "the composed text is shorter than the header");
    }
    Check(!msg->markedUtf8 || rewritten, "only RFC 5424 carries a byte order mark");
    Check(memchr(msg->host, '\0', sizeof msg->host) != nullptr, "host terminated within its field");
    char senderText[kSenderTextSize];
    FormatSender(&sender, senderText, sizeof senderText);
    Check(strlen(senderText) + 1 < sizeof senderText, "sender text never cut");
    Check(strcmp(msg->host, senderText) == 0 || expected.find(msg->host) != std::string::npos,
          "host is the sender or a word of the datagram");
    Check(msg->facility <= 248 && msg->facility % 8 == 0, "facility in range");
    Check(msg->severity <= 7, "severity in range");
    Check(msg->time.tm_mon >= 0 && msg->time.tm_mon <= 11, "month 0 to 11");
    if (!msg->fullDate) {
        // The BSD parser never reads a year: it is the arrival's, or across
        // New Year the one before (a December stamp arriving in January) or
        // after (a January stamp arriving in December).
        const struct tm* local = localtime(&arrival);
        int year = local ? local->tm_year : 0, month = local ? local->tm_mon : 0;
        year += (month == 0 && msg->time.tm_mon == 11) ? -1 : (month == 11 && msg->time.tm_mon == 0) ? 1 : 0;
        Check(msg->time.tm_year == year, "year of the arrival, or of the other side of New Year");
        return Done(datagram);
    }
    // A full date: its clock is the local time of `when`, or the time as
    // written (tm_isdst -1) for a local time or one without a local answer.
    Check(msg->time.tm_hour >= 0 && msg->time.tm_hour <= 23 && msg->time.tm_min >= 0 &&
              msg->time.tm_min <= 59 && msg->time.tm_sec >= 0 && msg->time.tm_sec <= 60,
          "clock of a full date in range");
    Check(msg->when >= -62167219200LL - 86400 && msg->when <= 253402300799LL + 86400,
          "a full date lies in the years 0 to 9999");
    if (msg->time.tm_isdst != -1) {
        const struct tm* local = localtime(&msg->when);
        Check(local && local->tm_hour == msg->time.tm_hour && local->tm_min == msg->time.tm_min &&
                  local->tm_sec == msg->time.tm_sec,
              "the clock is the local time of the point in time");
    } else if (msg->whenKnown) {
        struct tm written = msg->time;
        Check(mktime(&written) == msg->when || localtime(&msg->when) == nullptr,
              "a local time as written converts to its point in time");
    }

    return Done(datagram);
}
