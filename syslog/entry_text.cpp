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

}  // namespace

void StartBlockState(BlockState* blocks) {
    memset(blocks, 0, sizeof *blocks);
    blocks->hostCounter = 1;
}

void StartEntryText(EntryText* entry) {
    entry->viewLength = 0;
    entry->openStart = 0;
    entry->view[0] = '\0';
    entry->logLength = 0;
    entry->log[0] = '\0';
    entry->overflow = false;
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
namespace {

// The view's part of a piece of `n` bytes; false, with nothing written, when
// it does not fit.
bool PutViewPiece(EntryText* entry, const char* text, size_t n) {
    bool alone = memchr(text, kCodeHot, n) != nullptr;
    // Room for the piece and the NULs that close it (and what came before).
    size_t viewNeed = n + 1 + (alone && AppendOpen(entry) ? 1 : 0);
    if (entry->viewLength + viewNeed > sizeof entry->view) return false;
    if (alone) CloseAppend(entry);
    PutView(entry, text, n);
    if (alone) CloseAppend(entry);
    return true;
}

// Writes `length` bytes of datagram text after the log's end, each control
// byte as its escape, and NUL-terminates them; the log's length stays, so
// the caller commits the bytes only once the view has taken them too.
// False when they do not fit. Returns their length in `*written`.
bool EscapeAfterLog(EntryText* entry, const char* text, size_t length, size_t* written) {
    char* out = entry->log + entry->logLength;
    size_t room = sizeof entry->log - entry->logLength;  // the NUL included
    size_t n = 0;
    for (size_t i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        size_t need = IsEscapedByte(c) ? kByteEscapeLength : 1;
        if (n + need >= room) {
            out[0] = '\0';
            return false;
        }
        if (need == 1)
            out[n] = static_cast<char>(c);
        else
            WriteByteEscape(c, out + n);
        n += need;
    }
    out[n] = '\0';
    *written = n;
    return true;
}

}  // namespace

void WriteText(EntryText* entry, const char* text) {
    size_t n = strlen(text);
    if (entry->logLength + n >= sizeof entry->log) {
        entry->overflow = true;
        return;
    }
    memcpy(entry->log + entry->logLength, text, n + 1);
    if (!PutViewPiece(entry, text, n)) {
        entry->log[entry->logLength] = '\0';
        entry->overflow = true;
        return;
    }
    entry->logLength += n;
}

void WriteHostText(EntryText* entry, const char* host) {
    size_t n = 0;
    const char* escaped = entry->log + entry->logLength;
    if (!EscapeAfterLog(entry, host, strlen(host), &n) || !PutViewPiece(entry, escaped, n)) {
        entry->log[entry->logLength] = '\0';
        entry->overflow = true;
        return;
    }
    entry->logLength += n;
}

void WriteMessageText(EntryText* entry, const char* text, size_t length, CharsetMode charset,
                      bool markedUtf8) {
    size_t n = 0;
    const char* escaped = entry->log + entry->logLength;
    // The room the text shown as received would need: the converted text is never longer.
    if (!EscapeAfterLog(entry, text, length, &n) || entry->viewLength + n + 1 > sizeof entry->view) {
        entry->log[entry->logLength] = '\0';
        entry->overflow = true;
        return;
    }
    char* view = entry->view + entry->viewLength;
    size_t converted;
    if (ConvertForView(charset, escaped, n, markedUtf8, view, &converted) == kTextAsReceived) {
        if (!PutViewPiece(entry, escaped, n)) {
            entry->log[entry->logLength] = '\0';
            entry->overflow = true;
            return;
        }
    } else {
        assert(converted <= n && memchr(view, kCodeHot, converted) == nullptr);
        entry->viewLength += converted;
    }
    entry->logLength += n;
}

bool WriteColor(EntryText* entry, ColorValue fore, ColorValue back) {
    char command[kColorCommandSize];
    if (!MakeClosedColorCommand(fore, back, command)) return false;
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

void BuildEntry(BlockState* blocks, SyslogMessage* work, EntryText* entry, const SenderAddress* sender,
                time_t receiveTime, const char* datagram, size_t length, CharsetMode charset) {
    SyslogMessage& msg = *work;
    ParseMessage(datagram, length, sender, receiveTime, &blocks->times, &msg);
    char source[kSenderTextSize];
    bool opensBlock = NoteBlock(blocks, sender, msg.host, source, sizeof source);

    // The clock shows the fields as parsed; the conversion normalises a copy.
    // A full date is exact already, years included.
    char timeText[kTimeTextSize];
    FormatClock(msg.time.tm_hour, msg.time.tm_min, msg.time.tm_sec, timeText, sizeof timeText);
    char label[kLabelSize];
    if (msg.fullDate) {
        FormatKnownLabel(label, sizeof label, timeText, receiveTime, msg.when, msg.whenKnown);
    } else {
        time_t messageTime = MakeLocalTime(&blocks->times, &msg.time);
        FormatLabel(label, sizeof label, timeText, receiveTime, messageTime);
    }

    StartEntryText(entry);
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
    WriteText(entry, label);
    WriteText(entry, " ");

    // Names only when both are non-zero, so "kern" and "emerg" never show.
    WriteColor(entry, HostColor(blocks->hostCounter), kColorWhite);
    WriteText(entry, "<");
    WriteHostText(entry, msg.host);
    if (msg.facility != 0 && msg.severity != 0) {
        WriteText(entry, " ");
        WriteText(entry, LookupName(FacilityNames, msg.facility));
        WriteText(entry, ".");
        WriteText(entry, LookupName(SeverityNames, msg.severity));
    }
    WriteText(entry, "> ");

    // Only the message text is ever converted, and only for the view.
    WriteColor(entry, TextColor(msg.severity), kColorWhite);
    WriteMessageText(entry, msg.message, strlen(msg.message), charset, msg.markedUtf8);
    WriteText(entry, "\r\n");
    FinishEntryText(entry);
}

void BuildStatusLine(TimeCache* times, EntryText* entry, time_t now, const char* text) {
    struct tm local;
    char timeText[kTimeTextSize];
    if (LocalTimeOf(times, now, &local))
        FormatClock(local.tm_hour, local.tm_min, local.tm_sec, timeText, sizeof timeText);
    else
        FormatClock(0, 0, 0, timeText, sizeof timeText);

    StartEntryText(entry);
    WriteColor(entry, kColorBlue, kColorWhite);
    WriteText(entry, timeText);
    WriteText(entry, " ");
    WriteColor(entry, kColorRed, kColorWhite);
    WriteText(entry, text);
    WriteText(entry, "\r\n");
    FinishEntryText(entry);
}
