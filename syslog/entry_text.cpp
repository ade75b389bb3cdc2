// Entry text. An entry is a sequence of pieces (colour commands for the view,
// text pieces for the view and the log); the pieces are gathered into one
// append so the view re-lays out once, and the log line into one write so
// each entry lands whole in the file.
#include "syslog/entry_text.h"

#include <cassert>
#include <climits>
#include <cstdio>
#include <cstring>

static_assert(sizeof(time_t) == 8, "time differences assume a 64-bit time_t");

namespace {

const ColorValue kColorWhite = 0xFFFFFF;  // background of every piece
const ColorValue kColorBlue = 0xFF0000;   // times
const ColorValue kColorRed = 0x0000FF;    // status text and source header

enum {
    kSeparatorColorIndex = 9,  // grey; entry 7 holds the same value
    kFirstHostColorIndex = 10,
    kHostColorCount = 5,
};

const char kSeparator[] = "--------------------------------------------------\r\n";
static_assert(sizeof kSeparator - 1 == kSeparatorLength, "separator length");

ColorValue TextColor(unsigned severity) {
    return PaletteColor(severity == 0 ? kSeparatorColorIndex : static_cast<int>(severity) + 1);
}

ColorValue HostColor(int counter) {
    int slot = counter % kHostColorCount;
    if (slot < 0)  // a counter set below zero still picks one of the five
        slot += kHostColorCount;
    return PaletteColor(kFirstHostColorIndex + slot);
}

// Counts a block. Past INT_MAX the count starts again low, on the colour
// that comes next, rather than overflowing (undefined behaviour).
void CountBlock(BlockState* blocks) {
    if (blocks->hostCounter == INT_MAX) blocks->hostCounter = INT_MAX % kHostColorCount;
    ++blocks->hostCounter;
}

// Field as strftime's %H/%M/%S would print it when in range; the plain number
// otherwise (a malformed timestamp must never reach strftime, whose range
// check in the C run-time may abort the process).
void FormatClockField(int value, char* out, size_t size) {
    if (value >= 0 && value <= 99)
        snprintf(out, size, "%02d", value);
    else
        snprintf(out, size, "%d", value);
}

bool AppendOpen(const EntryText* entry) {
    return entry->viewLength > entry->openStart;
}

void CloseAppend(EntryText* entry) {
    if (!AppendOpen(entry)) return;
    entry->view[entry->viewLength++] = '\0';
    entry->openStart = entry->viewLength;
}

void PutView(EntryText* entry, const char* bytes, size_t n) {
    memcpy(entry->view + entry->viewLength, bytes, n);
    entry->viewLength += n;
}

// "time(difference)", or "time(?)" when the message time is not known.
void FormatKnownLabel(char* out, size_t size, const char* timeText, time_t receive, time_t message,
                      bool known) {
    if (!known) {
        snprintf(out, size, "%s(?)", timeText);
        return;
    }
    // Subtracting as doubles cannot overflow; it is exact below 2^53 seconds,
    // which holds any two times of the years 0 to 9999.
    double difference = static_cast<double>(receive) - static_cast<double>(message);
    snprintf(out, size, "%s(%.0f)", timeText, difference);
}

// A text piece whose view form (`view`, NUL-terminated) may differ from its
// log form: the message text converted for the view. A view piece holding a
// hot marker goes alone; converted text never holds one.
void WritePiece(EntryText* entry, const char* view, size_t viewBytes, const char* log, size_t logBytes) {
    bool toView = (entry->parts & kComposeView) != 0, toLog = (entry->parts & kComposeLog) != 0;
    bool alone = toView && memchr(view, kCodeHot, viewBytes) != nullptr;
    // Room for the piece and the NULs that close it (and what came before).
    size_t viewNeed = viewBytes + 1 + (alone && AppendOpen(entry) ? 1 : 0);
    if ((toLog && entry->logLength + logBytes >= sizeof entry->log) ||
        (toView && entry->viewLength + viewNeed > sizeof entry->view)) {
        entry->overflow = true;
        return;
    }
    if (toLog) {
        memcpy(entry->log + entry->logLength, log, logBytes);
        entry->logLength += logBytes;
        entry->log[entry->logLength] = '\0';
    }
    if (!toView) return;
    if (alone) CloseAppend(entry);
    PutView(entry, view, viewBytes);
    entry->viewTextBytes += viewBytes;
    if (alone) CloseAppend(entry);
}

}  // namespace

void StartBlockState(BlockState* blocks) {
    memset(blocks, 0, sizeof *blocks);
    blocks->hostCounter = 1;
}

void StartEntryText(EntryText* entry, int parts) {
    entry->viewLength = 0;
    entry->openStart = 0;
    entry->viewTextBytes = 0;
    entry->view[0] = '\0';
    entry->logLength = 0;
    entry->log[0] = '\0';
    entry->overflow = false;
    entry->parts = parts;
}

// Sending every piece as an append of its own was the original form, and
// one append must leave the view with the same bytes and attributes. The
// view's per-append state (open hot region, the colour a region returns to,
// reverse and underline tracking) only matters once a hot marker opens a
// region, and only datagram bytes can hold one: such a piece goes alone, so
// a region it opens ends with it and it starts on fresh state, as before.
// Otherwise the pieces join safely because no piece that follows datagram
// bytes starts with a digit, a comma or an in-band code, and colour commands
// are closed (MakeClosedColorCommand).
void WriteText(EntryText* entry, const char* text) {
    size_t n = strlen(text);
    WritePiece(entry, text, n, text, n);
}

bool WriteColor(EntryText* entry, ColorValue fore, ColorValue back) {
    char command[kColorCommandSize];
    if (!MakeClosedColorCommand(fore, back, command)) return false;
    if (!(entry->parts & kComposeView)) return true;
    size_t n = strlen(command);
    if (entry->viewLength + n + 1 > sizeof entry->view) {
        entry->overflow = true;
        return false;
    }
    PutView(entry, command, n);
    return true;
}

void FinishEntryText(EntryText* entry) {
    CloseAppend(entry);
}

const char* FirstAppend(const EntryText* entry) {
    return entry->viewLength > 0 ? entry->view : nullptr;
}

const char* NextAppend(const EntryText* entry, const char* append) {
    const char* next = append + strlen(append) + 1;
    return next < entry->view + entry->viewLength ? next : nullptr;
}

bool MakeClosedColorCommand(ColorValue fore, ColorValue back, char* out) {
    if (!MakeColorCommand(fore, back, out)) return false;
    char* background = strchr(out, ',') + 1;
    if (background[1] == '\0') {  // one digit: a leading zero keeps the value
        background[1] = background[0];
        background[0] = '0';
        background[2] = '\0';
    }
    return true;
}

void FormatClock(int hour, int minute, int second, char* out, size_t size) {
    if (size == 0) return;
    char fields[3][16];
    FormatClockField(hour, fields[0], sizeof fields[0]);
    FormatClockField(minute, fields[1], sizeof fields[1]);
    FormatClockField(second, fields[2], sizeof fields[2]);
    snprintf(out, size, "%s:%s:%s", fields[0], fields[1], fields[2]);
}

void FormatLabel(char* out, size_t size, const char* timeText, time_t receive, time_t message) {
    // mktime gives -1 for a time it cannot represent (under the Windows C
    // run-time: before 1970 or after 3000); a difference from it would be a
    // made-up number, so the label says "?" instead.
    FormatKnownLabel(out, size, timeText, receive, message, message != static_cast<time_t>(-1));
}

bool NoteBlock(BlockState* blocks, const SenderAddress* sender, const char* host, char* source, size_t size) {
    // A changed sender (family, address, scope or port) announces a source.
    source[0] = '\0';
    bool newSender = memcmp(sender, &blocks->lastSender, sizeof blocks->lastSender) != 0;
    if (newSender) {
        blocks->lastSender = *sender;
        FormatSender(sender, source, size);
    }
    if (strcmp(host, blocks->lastHost) == 0 && !newSender) return false;
    CountBlock(blocks);
    snprintf(blocks->lastHost, sizeof blocks->lastHost, "%s", host);
    return true;
}

namespace {

// `length` bytes of datagram text into `out` (room for kByteEscapeLength
// bytes each and a NUL), each control byte as its escape; returns the bytes
// written. One entry stays one line in the view and the log file.
size_t EscapeControlBytes(const char* text, size_t length, char* out) {
    size_t n = 0;
    for (size_t i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (IsEscapedByte(c)) {
            WriteByteEscape(c, out + n);
            n += kByteEscapeLength;
        } else {
            out[n++] = static_cast<char>(c);
        }
    }
    out[n] = '\0';
    return n;
}

}  // namespace

void ReadEntryFields(TimeCache* times, EntryWork* work, const SenderAddress* sender, time_t receiveTime,
                     const char* datagram, size_t length, CharsetMode charset, EntryFields* fields) {
    SyslogMessage& msg = work->msg;
    ParseMessage(datagram, length, sender, receiveTime, times, &msg);

    // The clock shows the fields as parsed; the conversion normalises a copy.
    // A full date is exact already, years included.
    char timeText[kTimeTextSize];
    FormatClock(msg.time.tm_hour, msg.time.tm_min, msg.time.tm_sec, timeText, sizeof timeText);
    if (msg.fullDate) {
        FormatKnownLabel(work->label, sizeof work->label, timeText, receiveTime, msg.when, msg.whenKnown);
    } else {
        time_t messageTime = MakeLocalTime(times, &msg.time);
        FormatLabel(work->label, sizeof work->label, timeText, receiveTime, messageTime);
    }

    fields->status = false;
    fields->sender = *sender;
    fields->hasPri = msg.hasPri;
    fields->facility = msg.facility;
    fields->severity = msg.severity;
    // Host and text as every view and the log file show them: escaped.
    EscapeControlBytes(msg.host, strlen(msg.host), work->host);
    fields->host = work->host;
    fields->label = work->label;
    // The parse's text is kMaxText at the most with its NULs escaped, and no
    // byte is escaped twice: the escaped text fits kMaxText as well.
    fields->logLength = EscapeControlBytes(msg.message, strlen(msg.message), work->text);
    fields->logText = work->text;
    // Only the message text is ever converted, and only for the view.
    size_t converted = 0;
    if (ConvertForView(charset, work->text, fields->logLength, msg.markedUtf8, work->shown, &converted) ==
        kTextAsReceived) {
        fields->viewText = work->text;
        fields->viewLength = fields->logLength;
        return;
    }
    assert(converted <= fields->logLength && memchr(work->shown, kCodeHot, converted) == nullptr);
    work->shown[converted] = '\0';
    fields->viewText = work->shown;
    fields->viewLength = converted;
}

void ReadStatusFields(TimeCache* times, time_t now, const char* text, char* clock, EntryFields* fields) {
    struct tm local;
    if (LocalTimeOf(times, now, &local))
        FormatClock(local.tm_hour, local.tm_min, local.tm_sec, clock, kTimeTextSize);
    else
        FormatClock(0, 0, 0, clock, kTimeTextSize);
    memset(fields, 0, sizeof *fields);
    fields->status = true;
    fields->host = "";
    fields->label = clock;
    fields->viewText = fields->logText = text;
    fields->viewLength = fields->logLength = strlen(text);
}

namespace {

// The message text: the view's form and the log's (unpacked fields have none).
void WriteMessage(EntryText* entry, const EntryFields* f) {
    WritePiece(entry, f->viewText, f->viewLength, f->logText ? f->logText : "", f->logText ? f->logLength : 0);
}

void ComposeStatusLine(const EntryFields* f, EntryText* entry) {
    WriteColor(entry, kColorBlue, kColorWhite);
    WriteText(entry, f->label);
    WriteText(entry, " ");
    WriteColor(entry, kColorRed, kColorWhite);
    WriteMessage(entry, f);
    WriteText(entry, "\r\n");
}

}  // namespace

void ComposeEntry(BlockState* blocks, const EntryFields* f, EntryText* entry, int parts) {
    StartEntryText(entry, parts);
    if (f->status) {
        ComposeStatusLine(f, entry);
        FinishEntryText(entry);
        return;
    }
    char source[kSenderTextSize];
    bool opensBlock = NoteBlock(blocks, &f->sender, f->host, source, sizeof source);
    // The header has no line break: the separator continues its line.
    if (source[0] != '\0') {
        WriteColor(entry, kColorRed, kColorWhite);
        WriteText(entry, "<<");
        WriteText(entry, source);
        WriteText(entry, ">> ");
    }
    if (opensBlock) {
        WriteColor(entry, PaletteColor(kSeparatorColorIndex), kColorWhite);
        WriteText(entry, kSeparator);
    }

    WriteColor(entry, kColorBlue, kColorWhite);
    WriteText(entry, f->label);
    WriteText(entry, " ");

    // Names only when both are non-zero, so "kern" and "emerg" never show.
    WriteColor(entry, HostColor(blocks->hostCounter), kColorWhite);
    WriteText(entry, "<");
    // The host comes escaped already (ReadEntryFields).
    WriteText(entry, f->host);
    if (f->facility != 0 && f->severity != 0) {
        WriteText(entry, " ");
        WriteText(entry, LookupName(FacilityNames, f->facility));
        WriteText(entry, ".");
        WriteText(entry, LookupName(SeverityNames, f->severity));
    }
    WriteText(entry, "> ");

    WriteColor(entry, TextColor(static_cast<unsigned>(f->severity)), kColorWhite);
    WriteMessage(entry, f);
    WriteText(entry, "\r\n");
    FinishEntryText(entry);
}

void BuildEntry(BlockState* blocks, EntryWork* work, EntryText* entry, const SenderAddress* sender,
                time_t receiveTime, const char* datagram, size_t length, CharsetMode charset) {
    EntryFields fields;
    ReadEntryFields(&blocks->times, work, sender, receiveTime, datagram, length, charset, &fields);
    ComposeEntry(blocks, &fields, entry, kComposeBoth);
}

void BuildStatusLine(TimeCache* times, EntryText* entry, time_t now, const char* text) {
    char clock[kTimeTextSize];
    EntryFields fields;
    ReadStatusFields(times, now, text, clock, &fields);
    ComposeEntry(nullptr, &fields, entry, kComposeBoth);
}

namespace {

enum : unsigned char { kPackedEntry = 0, kPackedStatus = 1, kPackedHasPri = 1 };

void PutU16(char* at, size_t value) {
    uint16_t v = static_cast<uint16_t>(value);
    memcpy(at, &v, sizeof v);
}
void PutU32(char* at, size_t value) {
    uint32_t v = static_cast<uint32_t>(value);
    memcpy(at, &v, sizeof v);
}
size_t GetU16(const char* at) {
    uint16_t v;
    memcpy(&v, at, sizeof v);
    return v;
}
size_t GetU32(const char* at) {
    uint32_t v;
    memcpy(&v, at, sizeof v);
    return v;
}

}  // namespace

// The head: kind, flags, facility, severity (a byte each), the host's and
// the label's lengths (16 bits each), the text's (32 bits), the sender.
static_assert(kPackedHead == 12 + sizeof(SenderAddress), "packed head");

size_t PackedFieldsSize(const EntryFields* f) {
    size_t host = strlen(f->host), label = strlen(f->label);
    if (host >= kShownHostSize || label >= kLabelSize || f->viewLength > kMaxText) return 0;
    return kPackedHead + host + 1 + label + 1 + f->viewLength + 1;
}

size_t PackEntryFields(const EntryFields* f, char* out, size_t size) {
    size_t total = PackedFieldsSize(f);
    if (total == 0 || total > size) return 0;
    size_t host = strlen(f->host), label = strlen(f->label);
    out[0] = static_cast<char>(f->status ? kPackedStatus : kPackedEntry);
    out[1] = static_cast<char>(f->hasPri ? kPackedHasPri : 0);
    out[2] = static_cast<char>(f->facility & 0xF8);
    out[3] = static_cast<char>(f->severity & 7);
    PutU16(out + 4, host);
    PutU16(out + 6, label);
    PutU32(out + 8, f->viewLength);
    memcpy(out + 12, &f->sender, sizeof f->sender);
    char* at = out + kPackedHead;
    memcpy(at, f->host, host + 1);
    at += host + 1;
    memcpy(at, f->label, label + 1);
    at += label + 1;
    memcpy(at, f->viewText, f->viewLength);
    at[f->viewLength] = '\0';
    return total;
}

bool UnpackEntryFields(const char* record, size_t length, EntryFields* f) {
    if (length < kPackedHead) return false;
    unsigned char kind = static_cast<unsigned char>(record[0]);
    size_t host = GetU16(record + 4), label = GetU16(record + 6), text = GetU32(record + 8);
    if (kind > kPackedStatus || host >= kShownHostSize || label >= kLabelSize || text > kMaxText ||
        kPackedHead + host + 1 + label + 1 + text + 1 != length)
        return false;
    const char* at = record + kPackedHead;
    if (at[host] != '\0' || at[host + 1 + label] != '\0' || at[host + 1 + label + 1 + text] != '\0') return false;
    f->status = kind == kPackedStatus;
    f->hasPri = (record[1] & kPackedHasPri) != 0;
    f->facility = static_cast<unsigned char>(record[2]);
    f->severity = static_cast<unsigned char>(record[3]);
    memcpy(&f->sender, record + 12, sizeof f->sender);
    f->host = at;
    f->label = at + host + 1;
    f->viewText = at + host + 1 + label + 1;
    f->viewLength = text;
    f->logText = nullptr;
    f->logLength = 0;
    return true;
}
