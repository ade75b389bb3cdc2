// libFuzzer target for the formatter's pure pieces: the clock text, the label
// with its difference, the block decision, the character set decision and
// conversion, and the view text and log line of an entry and of a status
// line. The head of the input chooses the numbers, the block state and the
// character set; the rest is the datagram (an exactly sized heap buffer).
#include "syslog/entry_text.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/encoding_reference.h"
#include "tests/fuzz/fuzz_target.h"

extern const char kTargetName[] = "entry text";

namespace {

// Clock text into a buffer of exactly `size` bytes: always terminated inside
// it, and when it has room, the fields read back, two digits for 0 to 99.
void CheckClock(int hour, int minute, int second, size_t size) {
    char* out = static_cast<char*>(malloc(size));
    FormatClock(hour, minute, second, out, size);
    Check(memchr(out, '\0', size) != nullptr, "clock text terminated in its buffer");
    if (size >= 36) {
        int fields[3] = {hour, minute, second}, read[3] = {};
        Check(sscanf(out, "%d:%d:%d", &read[0], &read[1], &read[2]) == 3, "clock text has three fields");
        const char* field = out;
        for (int i = 0; i < 3; ++i) {
            Check(read[i] == fields[i], "clock fields read back");
            size_t width = strcspn(field, ":");
            if (fields[i] >= 0 && fields[i] <= 99) Check(width == 2, "two digits from 0 to 99");
            field += width + 1;
        }
    }
    free(out);
}

void CheckLabel(time_t receive, time_t message) {
    char label[kLabelSize];
    FormatLabel(label, sizeof label, "t", receive, message);
    if (message == static_cast<time_t>(-1)) {
        Check(strcmp(label, "t(?)") == 0, "an unrepresentable time shows ?");
        return;
    }
    size_t length = strlen(label);
    Check(length > 3 && strncmp(label, "t(", 2) == 0 && label[length - 1] == ')', "label form");
    double shown = strtod(label + 2, nullptr);
    Check(shown == static_cast<double>(receive) - static_cast<double>(message), "label difference");
}

// A conversion to code page 932 under every mode: never longer than the
// text, never a hot marker, whole characters only (a lead byte always has
// its trail byte), and the text unchanged where nothing is converted.
void CheckConversion(const std::string& text) {
    std::vector<char> out(text.size() + 1, '\x01');
    for (int mode = 0; mode < kCharsetModes; ++mode) {
        TextEncoding encoding =
            ReferenceEncoding(static_cast<CharsetMode>(mode), text.data(), text.size(), false);
        size_t n = ConvertToCp932(encoding, text.data(), text.size(), out.data());
        Check(n <= text.size() && out[text.size()] == '\x01', "a conversion never grows");
        std::string shown(out.data(), n);
        bool ascii = std::all_of(text.begin(), text.end(), [](char c) { return (c & 0x80) == 0; });
        if (encoding == kTextAsReceived || ascii) {
            Check(shown == text, "nothing converted, nothing changed");
            continue;
        }
        for (size_t i = 0; i < n; ++i) {
            unsigned char c = static_cast<unsigned char>(shown[i]);
            Check(c != 0xFF && c != 0x80 && c != 0xA0 && c < 0xFD, "only code page 932 characters");
            if ((c >= 0x81 && c <= 0x9F) || c >= 0xE0) {
                unsigned char trail = i + 1 < n ? static_cast<unsigned char>(shown[i + 1]) : 0;
                Check(trail >= 0x40 && trail <= 0xFC && trail != 0x7F, "a lead byte has its trail byte");
                ++i;
            }
        }
    }
}

// What an entry must hold, stated plainly: text pieces for both, colour
// commands (all of them palette colours) for the view only.
struct Expected {
    std::string view, log;
    void Text(const std::string& s) { view += s, log += s; }
    void Color(int index) {
        char command[kColorCommandSize];
        Check(MakeClosedColorCommand(PaletteColor(index), PaletteColor(0), command), "palette colour");
        view += command;
    }
};

std::string JoinAppends(const EntryText& entry, size_t* count) {
    std::string joined;
    *count = 0;
    for (const char* a = FirstAppend(&entry); a != nullptr; a = NextAppend(&entry, a)) {
        Check(*a != '\0', "no empty append");
        joined += a;
        ++*count;
    }
    return joined;
}

bool HasHotMarker(const std::string& s) {
    return s.find('\xFF') != std::string::npos;
}

// A host or message text as an entry shows it: "#ooo" for every byte below
// 0x20 but TAB and the view's five style codes, and for DEL.
std::string Escaped(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        bool kept = c >= 0x20 ? c != 0x7F
                              : c == '\t' || c == 0x02 || c == 0x03 || c == 0x14 || c == 0x16 || c == 0x1F;
        char escape[8];
        snprintf(escape, sizeof escape, "#%03o", c);
        out += kept ? std::string(1, static_cast<char>(c)) : std::string(escape);
    }
    return out;
}

// The entry's fields packed as the queue carries them and unpacked on the
// other side give the same view text when composed there, and the count of
// its text bytes; a record cut short or with a wrong length is refused.
void CheckPacked(const BlockState& before, const SenderAddress* sender, time_t receive,
                 const std::string& datagram, CharsetMode charset, const std::string& view, size_t textBytes) {
    static EntryWork work;
    static TimeCache times;
    static char packed[kMaxPackedFields];
    static BlockState blocks;
    static EntryText entry;
    EntryFields fields, unpacked;
    ReadEntryFields(&times, &work, sender, receive, datagram.data(), datagram.size(), charset, &fields);
    size_t length = PackEntryFields(&fields, packed, sizeof packed);
    Check(length == PackedFieldsSize(&fields) && length > 0, "every entry packs");
    Check(PackEntryFields(&fields, packed, length - 1) == 0, "packing needs the whole size");
    PackEntryFields(&fields, packed, length);
    Check(!UnpackEntryFields(packed, length - 1, &unpacked), "a record cut short is refused");
    Check(UnpackEntryFields(packed, length, &unpacked), "a packed record unpacks");
    Check(strcmp(unpacked.host, fields.host) == 0 && strcmp(unpacked.label, fields.label) == 0 &&
              unpacked.viewLength == fields.viewLength &&
              memcmp(unpacked.viewText, fields.viewText, fields.viewLength) == 0 &&
              unpacked.hasPri == fields.hasPri && unpacked.facility == fields.facility &&
              unpacked.severity == fields.severity && !unpacked.status &&
              memcmp(&unpacked.sender, sender, sizeof *sender) == 0,
          "unpacked fields are the packed ones");
    blocks = before;
    ComposeEntry(&blocks, &unpacked, &entry, kComposeView);
    size_t appends = 0;
    Check(JoinAppends(entry, &appends) == view && entry.logLength == 0, "the view's text from the fields");
    Check(entry.viewTextBytes == textBytes, "text bytes counted");
    packed[8] ^= 1;  // the text's length
    Check(!UnpackEntryFields(packed, length, &unpacked), "a record with a wrong length is refused");
}

void CheckEntry(const BlockState& before, const SenderAddress* sender, time_t receive,
                const std::string& datagram, CharsetMode charset) {
    static SyslogMessage msg;
    static TimeCache times;
    ParseMessage(datagram.data(), datagram.size(), sender, receive, &times, &msg);
    char senderText[kSenderTextSize];
    FormatSender(sender, senderText, sizeof senderText);
    // Blocks are decided on the host as shown, escaped.
    const std::string host = Escaped(msg.host);
    bool newSender = memcmp(sender, &before.lastSender, sizeof *sender) != 0;
    bool opens = newSender || strcmp(host.c_str(), before.lastHost) != 0;

    // The block decision alone.
    static BlockState blocks;
    blocks = before;
    char source[kSenderTextSize];
    Check(NoteBlock(&blocks, sender, host.c_str(), source, sizeof source) == opens,
          "a block opens on a new sender or host");
    Check(strcmp(source, newSender ? senderText : "") == 0, "source text only for a new sender");
    Check(memcmp(&blocks.lastSender, sender, sizeof *sender) == 0 && strcmp(blocks.lastHost, host.c_str()) == 0,
          "block state follows");
    Check(!opens || blocks.hostCounter != before.hostCounter, "a new block is counted");
    Check(opens || blocks.hostCounter == before.hostCounter, "the same block is not counted");
    int counter = blocks.hostCounter;

    // The whole entry.
    blocks = before;
    static EntryWork work;
    static EntryText entry;
    BuildEntry(&blocks, &work, &entry, sender, receive, datagram.data(), datagram.size(), charset);
    Check(!entry.overflow, "an entry always fits");
    Check(blocks.hostCounter == counter, "the entry counts as the decision did");

    char clock[kTimeTextSize], label[kLabelSize];
    FormatClock(msg.time.tm_hour, msg.time.tm_min, msg.time.tm_sec, clock, sizeof clock);
    struct tm t = msg.time;
    if (!msg.fullDate)
        FormatLabel(label, sizeof label, clock, receive, mktime(&t));
    else if (msg.whenKnown)  // exact: not even -1 stands for "unknown"
        snprintf(label, sizeof label, "%s(%.0f)", clock, static_cast<double>(receive) - msg.when);
    else
        snprintf(label, sizeof label, "%s(?)", clock);
    // The view shows the message text converted, the log gets it as received;
    // both with the control bytes escaped.
    std::string message = Escaped(msg.message);
    std::vector<char> converted(message.size() + 1);
    TextEncoding encoding = ReferenceEncoding(charset, message.data(), message.size(), msg.markedUtf8);
    std::string shown(converted.data(),
                      ConvertToCp932(encoding, message.data(), message.size(), converted.data()));
    Expected e;
    if (newSender) e.Color(1), e.Text(std::string("<<") + senderText + ">> ");
    if (opens) e.Color(9), e.Text(std::string(50, '-') + "\r\n");
    e.Color(15), e.Text(std::string(label) + " ");
    e.Color(10 + ((counter % 5) + 5) % 5), e.Text("<"), e.Text(host);
    if (msg.facility != 0 && msg.severity != 0)
        e.Text(std::string(" ") + LookupName(FacilityNames, msg.facility) + "." +
               LookupName(SeverityNames, msg.severity));
    e.Text("> ");
    e.Color(msg.severity == 0 ? 9 : msg.severity + 1);
    e.view += shown, e.log += message;
    e.Text("\r\n");

    Check(std::string(entry.log, entry.logLength) == e.log && strlen(entry.log) == entry.logLength,
          "log line");
    size_t appends = 0;
    Check(JoinAppends(entry, &appends) == e.view, "view text");
    // The host and the message go alone when they hold a hot marker.
    Check(appends == 1 + 2 * (HasHotMarker(host) + HasHotMarker(shown)), "appends");
    for (const char* a = FirstAppend(&entry); a != nullptr; a = NextAppend(&entry, a)) {
        if (HasHotMarker(a)) Check(a == host || a == shown, "hot piece alone");
    }
    CheckPacked(before, sender, receive, datagram, charset, e.view,
                e.log.size() - message.size() + shown.size());
}

void CheckStatusLine(time_t now, const char* text) {
    static EntryText entry;
    static TimeCache times;
    BuildStatusLine(&times, &entry, now, text);
    Check(!entry.overflow, "a status line of kMaxStatusText bytes fits");
    const struct tm* local = localtime(&now);
    char clock[kTimeTextSize];
    FormatClock(local ? local->tm_hour : 0, local ? local->tm_min : 0, local ? local->tm_sec : 0, clock,
                sizeof clock);
    Expected e;
    e.Color(15), e.Text(std::string(clock) + " "), e.Color(1), e.Text(text), e.Text("\r\n");
    Check(std::string(entry.log, entry.logLength) == e.log, "status log line");
    size_t appends = 0;
    Check(JoinAppends(entry, &appends) == e.view, "status view text");
    Check(appends == 1 + 2 * HasHotMarker(text), "status appends");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    uint8_t mode = in.ConsumeIntegral<uint8_t>();
    int hour = in.ConsumeIntegral<int>(), minute = in.ConsumeIntegral<int>(),
        second = in.ConsumeIntegral<int>();
    size_t clockSize = in.ConsumeIntegralInRange<size_t>(1, 48);
    time_t receive = in.ConsumeIntegral<int64_t>();
    time_t message = in.ConsumeIntegral<int64_t>();
    static BlockState before;
    StartBlockState(&before);
    before.hostCounter = in.ConsumeIntegral<int>();
    // An IPv4 or IPv6 sender; the scope counts too.
    SenderAddress sender = {};
    sender.family = (mode & 0x01) ? kSenderIPv6 : kSenderIPv4;
    sender.port = in.ConsumeIntegral<uint16_t>();
    std::vector<uint8_t> address = in.ConsumeBytes<uint8_t>(sender.family == kSenderIPv6 ? 16 : 4);
    if (!address.empty()) memcpy(sender.address, address.data(), address.size());
    if (sender.family == kSenderIPv6 && (mode & 0x10)) sender.scopeId = in.ConsumeIntegral<uint32_t>();
    if (mode & 0x02) receive = static_cast<time_t>(static_cast<uint64_t>(receive) % 8000000000ull);
    // The datagram in a buffer of exactly its size, NULs and all.
    std::string datagram = in.ConsumeRemainingBytesAsString();

    CheckClock(hour, minute, second, clockSize);
    CheckLabel(receive, message);
    CheckLabel(receive, -1);

    // The previous entry: the same sender or not, the same host or not.
    if (mode & 0x04) before.lastSender = sender;
    if (mode & 0x08) {
        static SyslogMessage msg;
        static TimeCache times;
        ParseMessage(datagram.data(), datagram.size(), &sender, receive, &times, &msg);
        snprintf(before.lastHost, sizeof before.lastHost, "%s", Escaped(msg.host).c_str());
    }
    CheckEntry(before, &sender, receive, datagram, static_cast<CharsetMode>((mode >> 5) % kCharsetModes));
    CheckConversion(datagram);

    std::string status(datagram.c_str(), strnlen(datagram.c_str(), kMaxStatusText));
    CheckStatusLine(receive, status.c_str());
    return 0;
}
