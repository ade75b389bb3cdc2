// Entry text: an entry's fields, read once on arrival and packed into one
// record for the window thread, and the view text (colour commands
// included) and the log line of one entry or status line composed from
// them, each built whole so that it reaches the view in one append and the
// log file in one write. The block state that decides headers and
// separators is the caller's record, passed in. Pure code: no window
// headers, so it is fuzzed natively.
#pragma once

#include "colorview/color_codes.h"
#include "syslog/charset.h"
#include "syslog/parser.h"

#include <cstddef>
#include <ctime>

// A host as entries show it: every byte may take its escape (see
// IsEscapedByte).
enum { kShownHostSize = (kHostSize - 1) * kByteEscapeLength + 1 };

// What the next entry is compared with: the previous sender and the host of
// the block being shown (as shown). Zero-filled, apart from the counter,
// before the first.
struct BlockState {
    SenderAddress lastSender;  // family 0 before the first entry, so the first opens a block
    char lastHost[kShownHostSize];
    int hostCounter;  // host blocks so far; starts at 1
    TimeCache times;  // the conversions of the thread that builds entries
};
void StartBlockState(BlockState* blocks);

enum {
    kTimeTextSize = 256,
    kLabelSize = kTimeTextSize + 32,
    kSeparatorLength = 52,  // 50 hyphens, CR, LF
    // The longest entry: header, separator, label, host label, message; the
    // host with every byte escaped, the message as kMaxText allows for it.
    kEntryLogSize = 2 + (kSenderTextSize - 1) + 3 + kSeparatorLength + (kLabelSize - 1) + 1 + 1 +
                    (kHostSize - 1) * kByteEscapeLength + 1 + kMaxNameLength + 1 + kMaxNameLength + 2 +
                    kMaxText + 2 + 1,
    // Status line texts are the program's own and much shorter than this.
    kMaxStatusText = 4096,
    kClosedCommandLength = 6,  // 0x03, two digits, comma, two digits
    kEntryColors = 5,          // colour commands of one entry
    kMaxAppends = 5,           // a hot marker in the host and in the message split an entry in five
    kEntryViewSize = kEntryLogSize + kEntryColors * kClosedCommandLength + kMaxAppends,
};

// The text of one entry or status line. `view` holds the view's appends back
// to back, each NUL-terminated; `log` the same text pieces without colour
// commands. A piece that does not fit is left out of both and sets
// `overflow`; the sizes above make that impossible for entries. Each side
// is written only when `parts` asks for it: the reception thread needs the
// log line alone, the window thread the view text alone.
enum ComposeParts { kComposeView = 1, kComposeLog = 2, kComposeBoth = 3 };
struct EntryText {
    char view[kEntryViewSize];
    size_t viewLength;  // bytes of `view` in use, NULs of closed appends included
    size_t openStart;   // where the append being filled begins
    // Bytes of the text pieces written to the view, colour commands left
    // out: what the view's text grows by when no piece holds an in-band code.
    size_t viewTextBytes;
    char log[kEntryLogSize];
    size_t logLength;  // bytes before the log's NUL
    bool overflow;
    int parts;  // ComposeParts
};

void StartEntryText(EntryText* entry, int parts = kComposeBoth);
// A text piece, for the log and the view. A piece holding the hot marker 0xFF
// becomes an append of its own (see entry_text.cpp).
void WriteText(EntryText* entry, const char* text);
// A colour command, for the view only; false, with nothing written, when
// either colour is not in the palette.
bool WriteColor(EntryText* entry, ColorValue fore, ColorValue back);
// Closes the last append.
void FinishEntryText(EntryText* entry);
// The appends in order: FirstAppend, then NextAppend until nullptr.
const char* FirstAppend(const EntryText* entry);
const char* NextAppend(const EntryText* entry, const char* append);

// MakeColorCommand with a two-digit background ("15,00"): the reader takes at
// most two digits, so no digit of the text that follows joins the command.
bool MakeClosedColorCommand(ColorValue fore, ColorValue back, char* out);

// The clock text of a time: two digits per field in 0..99, any other value as
// the plain number, so a malformed timestamp shows what it carried.
void FormatClock(int hour, int minute, int second, char* out, size_t size);
// "time(difference)" with the difference receive - message in seconds, or
// "time(?)" when the message time is (time_t)-1, mktime's "cannot represent".
void FormatLabel(char* out, size_t size, const char* timeText, time_t receive, time_t message);

// Records an entry's sender and host in the block state. `source` gets the
// sender's text when the sender differs from the last one, else ""; returns
// true when a new block opens (new sender or host), which counts it.
bool NoteBlock(BlockState* blocks, const SenderAddress* sender, const char* host, char* source, size_t size);

// What an entry's view text and log line are made of, worked out once, on
// arrival: times and the character set are those of the arrival, so that
// the entry shows the same whenever and however often it is shown again. A
// status line has a clock as its label, its text, and nothing else.
struct EntryFields {
    bool status;
    SenderAddress sender;
    bool hasPri;   // false: no PRI, and facility and severity are 0
    int facility;  // PRI & 0xF8
    int severity;  // PRI & 7
    const char* host;
    const char* label;  // "time(difference)", or a status line's clock
    // The message text as the view shows it (code page 932) and as the log
    // file gets it (as received); both NUL-terminated. Unpacked fields have
    // the view's alone (logText null).
    const char* viewText;
    size_t viewLength;
    const char* logText;
    size_t logLength;
};

// The scratch of reading one entry: the parse, the label, the host and the
// message text escaped, and the text converted for the view. Large: the
// caller keeps one.
struct EntryWork {
    SyslogMessage msg;
    char label[kLabelSize];
    char host[kShownHostSize];
    char text[kMaxText + 1];
    char shown[kMaxText + 1];
};

// The fields of the entry of `length` bytes of `datagram` received at
// `receiveTime` from `sender`, pointing into `work`: host and message text
// with their control bytes escaped, for every view and the log file alike.
// `charset` decides how the view shows the message text (see
// ConvertForView); host and log text stay as received otherwise.
void ReadEntryFields(TimeCache* times, EntryWork* work, const SenderAddress* sender, time_t receiveTime,
                     const char* datagram, size_t length, CharsetMode charset, EntryFields* fields);
// The fields of a status line "hh:mm:ss text", the clock from `now` written
// into `clock` (kTimeTextSize bytes). `text` is at most kMaxStatusText bytes.
void ReadStatusFields(TimeCache* times, time_t now, const char* text, char* clock, EntryFields* fields);

// The entry's view text and (or) log line, after its block decision in
// `blocks`, which a status line leaves alone. The log line is made over
// every entry, the view over the entries it shows: each with its own state.
void ComposeEntry(BlockState* blocks, const EntryFields* fields, EntryText* entry, int parts);

// Both at once, as the tests and benchmarks build an entry; updates the
// block state.
void BuildEntry(BlockState* blocks, EntryWork* work, EntryText* entry, const SenderAddress* sender,
                time_t receiveTime, const char* datagram, size_t length, CharsetMode charset);
// "hh:mm:ss text" in blue and red, the clock from `now`; the block state stays.
// `text` is at most kMaxStatusText bytes.
void BuildStatusLine(TimeCache* times, EntryText* entry, time_t now, const char* text);

// The fields as one record of bytes, the way they go from the reception
// thread to the window thread and stay there: a fixed head, then host,
// label and view text, each with its NUL. The log text is not part of it.
enum {
    kPackedHead = 36,
    kMaxPackedFields = kPackedHead + kShownHostSize + kLabelSize + kMaxText + 1,
};
// The record's size, or 0 when the fields do not fit one (a host, label or
// text beyond the sizes above).
size_t PackedFieldsSize(const EntryFields* fields);
// Writes the record into `out` (`size` bytes); its size, or 0, with nothing
// of use written, when it does not fit.
size_t PackEntryFields(const EntryFields* fields, char* out, size_t size);
// The fields of a record made by PackEntryFields, pointing into it (which
// must stay); false for bytes that are no such record.
bool UnpackEntryFields(const char* record, size_t length, EntryFields* fields);
