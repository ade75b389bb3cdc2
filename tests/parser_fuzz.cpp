// Randomised robustness driver for the datagram parser and the colour command
// reader, meant for a native build under AddressSanitizer and UBSan. Inputs sit
// in exactly sized heap buffers so that any over-read is caught; the results
// are checked against invariants. Usage: parser_fuzz [iterations]
#include "colorview/color_codes.h"
#include "syslog/parser.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// xorshift64 from a fixed rng start value, so every run sees the same inputs.
unsigned long long g_rngState = 0x9E3779B97F4A7C15ull;

unsigned long long NextRandom() {
    g_rngState ^= g_rngState << 13;
    g_rngState ^= g_rngState >> 7;
    g_rngState ^= g_rngState << 17;
    return g_rngState;
}

size_t Below(size_t n) {
    return n == 0 ? 0 : static_cast<size_t>(NextRandom() % n);
}

unsigned long g_iteration = 0;

void Fail(const char* what, const std::string& input) {
    fprintf(stderr, "iteration %lu: %s\ninput (%zu bytes):", g_iteration, what, input.size());
    for (size_t i = 0; i < input.size() && i < 200; ++i)
        fprintf(stderr, " %02X", static_cast<unsigned char>(input[i]));
    fprintf(stderr, "%s\n", input.size() > 200 ? " ..." : "");
    exit(1);
}

char NonNulByte() {
    return static_cast<char>(1 + Below(255));
}

void AddWhitespace(std::string* s) {
    static const char kBlanks[] = " \t\r\n\v\f";
    size_t n = 1 + (Below(8) == 0 ? Below(300) : Below(3));
    for (size_t i = 0; i < n; ++i) s->push_back(Below(2) ? ' ' : kBlanks[Below(6)]);
}

void AddNumber(std::string* s) {
    if (Below(5) == 0) s->push_back("+-"[Below(2)]);
    size_t digits = Below(6) == 0 ? 1 + Below(400) : 1 + Below(3);
    for (size_t i = 0; i < digits; ++i) s->push_back(static_cast<char>('0' + Below(10)));
}

void AddWord(std::string* s) {
    size_t n = Below(10) == 0 ? 200 + Below(3000) : 1 + Below(12);
    for (size_t i = 0; i < n; ++i) {
        char c = NonNulByte();
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f') c = 'w';
        s->push_back(c);
    }
}

void AddMonth(std::string* s) {
    const char* name = MonthNames[Below(12)];
    size_t n = Below(6) == 0 ? 1 + Below(4) : 3;
    for (size_t i = 0; i < n; ++i) {
        char c = i < 3 ? name[i] : 'x';
        if (Below(2)) c = static_cast<char>(c ^ 0x20);
        s->push_back(c);
    }
}

// A datagram that mostly follows the syslog layout, with each part sometimes
// missing, malformed or oversized.
std::string NearSyslog() {
    std::string s;
    if (Below(8) == 0) AddWhitespace(&s);
    if (Below(4)) {
        s.push_back('<');
        if (Below(5)) AddNumber(&s);
        if (Below(6)) s.push_back('>');
    }
    if (Below(5)) AddMonth(&s);
    for (int field = 0; field < 4; ++field) {
        if (Below(10) == 0) break;
        if (field <= 1)
            AddWhitespace(&s);
        else
            s.push_back(Below(10) ? ':' : ' ');
        AddNumber(&s);
    }
    size_t words = Below(6);
    for (size_t i = 0; i < words; ++i) {
        AddWhitespace(&s);
        AddWord(&s);
    }
    if (Below(3)) s += Below(2) ? "\r\n" : "  \r\n ";
    return s;
}

std::string RandomBytes(size_t length) {
    std::string s(length, '\0');
    for (char& c : s) c = NonNulByte();
    return s;
}

std::string MakeInput() {
    switch (Below(8)) {
        case 0:
            return RandomBytes(Below(kMaxDatagram + 1));
        case 1:  // exactly a full datagram, or longer than one before its NUL
            return RandomBytes(size_t(kMaxDatagram) + (Below(2) ? 0 : 1 + Below(3000)));
        case 2: {
            std::string s = NearSyslog();
            while (s.size() < kMaxDatagram + 1000) s += NearSyslog();
            return s;
        }
        default:
            return NearSyslog();
    }
}

// What the working text must be: the datagram's first kMaxDatagram bytes with
// trailing CR, LF and spaces removed.
std::string ExpectedText(const std::string& input) {
    std::string s = input.substr(0, kMaxDatagram);
    while (!s.empty() && (s.back() == '\r' || s.back() == '\n' || s.back() == ' ')) s.pop_back();
    return s;
}

void CheckMessage(const std::string& input, const SyslogMessage* msg) {
    const char* textEnd = static_cast<const char*>(memchr(msg->text, '\0', sizeof msg->text));
    if (textEnd == nullptr) Fail("working text not terminated", input);
    if (std::string(msg->text, textEnd) != ExpectedText(input))
        Fail("working text differs from the trimmed datagram", input);
    if (msg->message < msg->text || msg->message > textEnd)
        Fail("message position outside the working text", input);
    if (memchr(msg->host, '\0', sizeof msg->host) == nullptr)
        Fail("host not terminated within its field", input);
    if (msg->facility > 248 || msg->facility % 8 != 0) Fail("facility out of range", input);
    if (msg->severity > 7) Fail("severity out of range", input);
    if (msg->time.tm_mon < 0 || msg->time.tm_mon > 11) Fail("month outside 0 to 11", input);
}

void RunParser(const std::string& input, const sockaddr_in* sender, time_t arrival) {
    char* buffer = static_cast<char*>(malloc(input.size() + 1));
    memcpy(buffer, input.data(), input.size());
    buffer[input.size()] = '\0';
    SyslogMessage* msg = static_cast<SyslogMessage*>(malloc(sizeof(SyslogMessage)));
    memset(msg, 0xA5, sizeof *msg);
    ParseMessage(buffer, sender, arrival, msg);
    CheckMessage(input, msg);
    free(msg);
    free(buffer);
}

void RunColorCommand() {
    static const char kAlphabet[] = "0123456789,,,x\x03\xFF";
    std::string s(Below(7), '\0');
    for (char& c : s) c = Below(4) ? kAlphabet[Below(sizeof kAlphabet - 1)] : NonNulByte();
    char* buffer = static_cast<char*>(malloc(s.size() + 1));
    memcpy(buffer, s.data(), s.size() + 1);
    unsigned char flags = 0, colors = 0x5A;
    const char* end = ParseColorCommand(buffer, &flags, &colors);
    if (end < buffer || end > buffer + s.size() || end - buffer > 5)
        Fail("colour command end out of range", s);
    if ((flags & ~0x07) != 0 || flags == 0) Fail("colour command flags wrong", s);
    if ((flags & kAttrReset) != 0 && (end != buffer || colors != 0x5A))
        Fail("reset consumed bytes or changed colours", s);
    free(buffer);

    char* code = static_cast<char*>(malloc(3));
    ColorValue color =
        Below(2) ? PaletteColor(static_cast<int>(Below(16))) : static_cast<ColorValue>(NextRandom());
    char* codeEnd = ColorToCode(color, code);
    if (codeEnd != nullptr &&
        (codeEnd < code + 1 || codeEnd > code + 2 || *codeEnd != '\0' || PaletteColor(atoi(code)) != color))
        Fail("colour code wrong", s);
    free(code);
}

}  // namespace

int main(int argc, char** argv) {
    unsigned long iterations = argc > 1 ? strtoul(argv[1], nullptr, 10) : 200000;
    alignas(8) unsigned char senderBytes[16] = {2, 0};
    for (g_iteration = 0; g_iteration < iterations; ++g_iteration) {
        for (int i = 2; i < 8; ++i) senderBytes[i] = static_cast<unsigned char>(NextRandom());
        time_t arrival = static_cast<time_t>(Below(4000000000ull));
        RunParser(MakeInput(), reinterpret_cast<const sockaddr_in*>(senderBytes), arrival);
        RunColorCommand();
    }
    printf("parser_fuzz: %lu iterations passed\n", iterations);
    return 0;
}
