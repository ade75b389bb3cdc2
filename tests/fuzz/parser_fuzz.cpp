// libFuzzer target for the datagram parser. The input is one datagram, held
// in an exactly sized heap buffer with its NUL, so that AddressSanitizer
// catches any read past it; the sender and the arrival time come from a hash
// of the input. Every result is checked against the parser's invariants.
#include "syslog/parser.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace {

void Check(bool holds, const char* what) {
    if (holds) return;
    fprintf(stderr, "parser invariant broken: %s\n", what);
    abort();
}

uint64_t Hash(const uint8_t* data, size_t size) {
    uint64_t h = 0xCBF29CE484222325ull;  // FNV-1a
    for (size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 0x100000001B3ull;
    return h;
}

// The working text the parser must keep: the datagram up to its first NUL,
// at most kMaxDatagram bytes, without trailing CR, LF and spaces.
std::string ExpectedText(const char* datagram) {
    std::string s(datagram, strnlen(datagram, kMaxDatagram));
    while (!s.empty() && (s.back() == '\r' || s.back() == '\n' || s.back() == ' ')) s.pop_back();
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    char* datagram = static_cast<char*>(malloc(size + 1));
    memcpy(datagram, data, size);
    datagram[size] = '\0';

    uint64_t h = Hash(data, size);
    alignas(8) unsigned char sender[16] = {2, 0};  // AF_INET, the rest from the hash, zero padding
    for (int i = 2; i < 8; ++i) sender[i] = static_cast<unsigned char>(h >> (8 * i));
    time_t arrival = static_cast<time_t>(h % 8000000000ull) - 1000000000;  // 1938 to 2223
    const sockaddr_in* senderRecord = reinterpret_cast<const sockaddr_in*>(sender);

    SyslogMessage* msg = static_cast<SyslogMessage*>(malloc(sizeof(SyslogMessage)));
    memset(msg, 0xA5, sizeof *msg);  // nothing may be left as it was
    ParseMessage(datagram, senderRecord, arrival, msg);

    const char* textEnd = static_cast<const char*>(memchr(msg->text, '\0', sizeof msg->text));
    Check(textEnd != nullptr, "working text terminated");
    Check(std::string(msg->text, static_cast<size_t>(textEnd - msg->text)) == ExpectedText(datagram),
          "working text is the trimmed datagram");
    Check(msg->message >= msg->text && msg->message <= textEnd, "message text inside the working text");
    Check(memchr(msg->host, '\0', sizeof msg->host) != nullptr, "host terminated within its field");
    char senderText[kSenderTextSize];
    FormatSender(senderRecord, senderText, sizeof senderText);
    Check(strcmp(msg->host, senderText) == 0 || strstr(msg->text, msg->host) != nullptr,
          "host is the sender or a word of the datagram");
    Check(msg->facility <= 248 && msg->facility % 8 == 0, "facility in range");
    Check(msg->severity <= 7, "severity in range");
    Check(msg->time.tm_mon >= 0 && msg->time.tm_mon <= 11, "month 0 to 11");
    // The parser never sets a year: it is always the arrival's.
    const struct tm* local = localtime(&arrival);
    Check(msg->time.tm_year == (local ? local->tm_year : 0), "year of the arrival");

    free(msg);
    free(datagram);
    return 0;
}
