// Entry text: the view text (colour commands included) and the log line of
// one entry or status line, each built whole so that it reaches the view in
// one append and the log file in one write. The block state that decides
// headers and separators is the caller's record, passed in. Pure code: no
// window headers, so it is fuzzed natively.
#pragma once

#include "colorview/color_codes.h"
#include "syslog/charset.h"
#include "syslog/parser.h"

#include <cstddef>
#include <ctime>

// What the next entry is compared with: the previous sender and the host of
// the block being shown. Zero-filled, apart from the counter, before the first.
struct BlockState {
    SenderAddress lastSender;  // family 0 before the first entry, so the first opens a block
    char lastHost[kHostSize];
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
// `overflow`; the sizes above make that impossible for entries.
struct EntryText {
    char view[kEntryViewSize];
    size_t viewLength;  // bytes of `view` in use, NULs of closed appends included
    size_t openStart;   // where the append being filled begins
    char log[kEntryLogSize];
    size_t logLength;  // bytes before the log's NUL
    bool overflow;
};

void StartEntryText(EntryText* entry);
// A text piece, for the log and the view. A piece holding the hot marker 0xFF
// becomes an append of its own (see entry_text.cpp).
void WriteText(EntryText* entry, const char* text);
// A host: as WriteText, with the control bytes escaped (IsEscapedByte).
void WriteHostText(EntryText* entry, const char* host);
// A message text piece of `length` bytes, its control bytes escaped: the
// log gets its bytes as they are, the view the same text in code page 932 as
// `charset` decides (see ConvertForView). Converted text is never longer and
// never holds a hot marker, so it joins the open append; text shown as
// received goes as WriteText's does.
void WriteMessageText(EntryText* entry, const char* text, size_t length, CharsetMode charset,
                      bool markedUtf8);
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

// The entry of `length` bytes of `datagram` received at `receiveTime` from
// `sender`; updates the block state. `work` is the parse's scratch record
// (large: the caller keeps one). `charset` decides how the view shows the
// message text (see ConvertForView); host and log line stay as received.
void BuildEntry(BlockState* blocks, SyslogMessage* work, EntryText* entry, const SenderAddress* sender,
                time_t receiveTime, const char* datagram, size_t length, CharsetMode charset);
// "hh:mm:ss text" in blue and red, the clock from `now`; the block state stays.
// `text` is at most kMaxStatusText bytes.
void BuildStatusLine(TimeCache* times, EntryText* entry, time_t now, const char* text);
