// Character sets of message text, for the view, which shows code page 932:
// which encoding a message's text is in, and its conversion to code page
// 932. The log file never sees a conversion. Pure code: no window headers,
// so it is tested natively and fuzzed.
#pragma once

#include <cstddef>
#include <cstdint>

// The user's choice (the View menu): decide per message, or take every
// message as one encoding.
enum CharsetMode {
    kCharsetAuto = 0,  // UTF-8 where the text says so (see ConvertForView), else as received
    kCharsetShiftJis,  // never convert
    kCharsetUtf8,      // always convert from UTF-8
    kCharsetEucJp,     // always convert from EUC-JP
    kCharsetModes,
};

// What one message's text is taken as.
enum TextEncoding {
    kTextAsReceived,  // Shift-JIS or ASCII: shown byte for byte
    kTextUtf8,
    kTextEucJp,
};

// "auto", "sjis", "utf8" or "eucjp" (the command line's names), in any
// letter case; false, with `mode` untouched, for anything else.
bool ParseCharsetName(const char* name, CharsetMode* mode);
// The command line's name of `mode`, in lower case ("auto" for a value out of range).
const char* CharsetName(CharsetMode mode);

// The lead bytes of code page 932's double-byte characters, for texts that
// are code page 932 whatever the system's code page (the program's own
// texts, what the user typed into a filter).
inline bool IsCp932LeadByte(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// How many of the first `length` bytes of code page 932 text fit in `limit`
// bytes without splitting a double-byte character (a lead byte with nothing
// behind it counts as one byte). For cutting texts to the room they have.
size_t WholeCharacterPrefix(const char* text, size_t length, size_t limit);
// Copies as much of the NUL-terminated `text` into out[size] as fits between
// whole characters, NUL-terminated (nothing when `size` is 0).
void CopyWholeCharacters(char* out, size_t size, const char* text);
// A text written piece by piece into out[size], NUL-terminated, never past
// it: a piece that does not fit is cut between whole characters, sets
// `full`, and nothing is written after it.
struct BoundedText {
    char* out;
    size_t size;
    size_t length;
    bool full;
};
void AppendWhole(BoundedText* text, const char* bytes, size_t count);
void AppendWhole(BoundedText* text, const char* bytes);

// Converts `length` bytes of `text` from `encoding` to code page 932 into
// `out`, which holds at least `length` bytes; returns the bytes written. The
// result is never longer than the text and never holds the byte 0xFF:
// - UTF-8: a leading byte order mark is dropped; each character without a
//   code page 932 form, and each byte that is not part of a valid sequence
//   (overlong, truncated, surrogate, beyond U+10FFFF), becomes one '?'.
// - EUC-JP: JIS X 0208 pairs become Shift-JIS pairs by arithmetic, 0x8E
//   pairs half-width katakana, 0x8F triples (JIS X 0212) one '?' each, any
//   other byte above 0x7F one '?'.
// - as received: copied unchanged.
size_t ConvertToCp932(TextEncoding encoding, const char* text, size_t length, char* out);

// The view's form of `length` bytes of message text under `mode`: the
// encoding taken, with `*written` bytes of the conversion in `out` (which
// holds at least `length` bytes). For kTextAsReceived `*written` is 0 and
// `out` holds nothing of use: the text is shown as it is. In the automatic
// mode the text is UTF-8 when it starts with a UTF-8 byte order mark, when
// `markedUtf8` (the message's framing carried one, already removed), or when
// the whole text is valid UTF-8 with at least one multi-byte sequence;
// otherwise as received. The other modes take every text as their encoding.
TextEncoding ConvertForView(CharsetMode mode, const char* text, size_t length, bool markedUtf8, char* out,
                            size_t* written);

// The code page 932 form of a Unicode character: its byte (below 0x100) or
// lead byte * 256 + trail byte; -1 for none. ASCII maps to itself. Besides
// the code page's exact forms, characters that Japanese text converted
// elsewhere carries for the code page's own (WAVE DASH for FULLWIDTH TILDE,
// and the like) take those forms.
int Cp932FromUnicode(uint32_t codePoint);
