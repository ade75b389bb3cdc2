// Character sets of message text: the encoding decision and the conversions
// to code page 932. Every conversion writes at most one byte per byte read,
// so it fits where the text itself fits and needs no memory of its own.
#include "syslog/charset.h"

#include <cassert>
#include <cstdint>
#include <cstring>

#include "syslog/cp932_table.h"

namespace {

// Characters that Japanese text converted on other systems carries where
// code page 932 has a look-alike of its own: JIS X 0208 mapped by the
// Unicode consortium's table rather than by the code page's. Sorted.
const uint16_t kLookAlikes[][2] = {
    {0x00A2, 0x8191},  // CENT SIGN: FULLWIDTH CENT SIGN
    {0x00A3, 0x8192},  // POUND SIGN: FULLWIDTH POUND SIGN
    {0x00AC, 0x81CA},  // NOT SIGN: FULLWIDTH NOT SIGN
    {0x2016, 0x8161},  // DOUBLE VERTICAL LINE: PARALLEL TO
    {0x2212, 0x817C},  // MINUS SIGN: FULLWIDTH HYPHEN-MINUS
    {0x301C, 0x8160},  // WAVE DASH: FULLWIDTH TILDE
};

const unsigned char kByteOrderMark[] = {0xEF, 0xBB, 0xBF};

bool HasByteOrderMark(const unsigned char* p, const unsigned char* end) {
    return end - p >= 3 && memcmp(p, kByteOrderMark, 3) == 0;
}

bool IsContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// The length of the valid UTF-8 sequence at `p` (1 to 4) with its character
// in `codePoint`, or 0 when the byte at `p` starts none: a stray continuation
// byte, an overlong form, a surrogate, a character beyond U+10FFFF, or a
// sequence cut short.
size_t DecodeUtf8(const unsigned char* p, const unsigned char* end, uint32_t* codePoint) {
    unsigned char c = p[0];
    if (c < 0x80) {
        *codePoint = c;
        return 1;
    }
    size_t length;
    unsigned char low = 0x80, high = 0xBF;  // the allowed range of the second byte
    if (c < 0xC2) return 0;                 // continuation byte, or overlong (C0, C1)
    if (c < 0xE0) {
        length = 2;
    } else if (c < 0xF0) {
        length = 3;
        if (c == 0xE0) low = 0xA0;   // overlong below U+0800
        if (c == 0xED) high = 0x9F;  // surrogates U+D800 to U+DFFF
    } else if (c < 0xF5) {
        length = 4;
        if (c == 0xF0) low = 0x90;   // overlong below U+10000
        if (c == 0xF4) high = 0x8F;  // beyond U+10FFFF
    } else {
        return 0;
    }
    if (static_cast<size_t>(end - p) < length || p[1] < low || p[1] > high) return 0;
    uint32_t value = c & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        if (!IsContinuation(p[i])) return 0;
        value = (value << 6) | (p[i] & 0x3F);
    }
    *codePoint = value;
    return length;
}

// Writes the code page 932 form `code` (see Cp932FromUnicode), or '?' for none.
char* PutCp932(int code, char* out) {
    if (code < 0) {
        *out++ = '?';
    } else if (code < 0x100) {
        *out++ = static_cast<char>(code);
    } else {
        *out++ = static_cast<char>(code >> 8);
        *out++ = static_cast<char>(code & 0xFF);
    }
    return out;
}

const size_t kBroken = SIZE_MAX;

// Converts UTF-8, a leading byte order mark dropped. Each byte of a broken
// sequence becomes one '?', or with `strict` the conversion stops at the
// first and gives kBroken. `*multiByte` (when given) tells whether a
// sequence of two or more bytes was met.
size_t ConvertUtf8(const unsigned char* p, const unsigned char* end, char* out, bool strict = false,
                   bool* multiByte = nullptr) {
    char* start = out;
    bool multi = false;
    if (HasByteOrderMark(p, end)) p += 3;
    while (p < end) {
        if (*p < 0x80) {
            *out++ = static_cast<char>(*p++);
            continue;
        }
        uint32_t codePoint;
        size_t length = DecodeUtf8(p, end, &codePoint);
        if (length == 0) {
            if (strict) return kBroken;
            *out++ = '?';
            ++p;
            continue;
        }
        // Two to four bytes give at most two.
        out = PutCp932(Cp932FromUnicode(codePoint), out);
        p += length;
        multi = true;
    }
    if (multiByte) *multiByte = multi;
    return static_cast<size_t>(out - start);
}

bool IsEucByte(unsigned char c) {
    return c >= 0xA1 && c <= 0xFE;
}

// JIS X 0208 row and cell bytes (0x21 to 0x7E each) to the Shift-JIS pair:
// two rows share a lead byte, the odd row taking the lower trail bytes.
char* PutJisAsShiftJis(unsigned j1, unsigned j2, char* out) {
    unsigned s1 = (j1 + 1) / 2 + (j1 <= 0x5E ? 0x70 : 0xB0);
    unsigned s2 = (j1 & 1) ? j2 + (j2 <= 0x5F ? 0x1F : 0x20) : j2 + 0x7E;  // 0x7F is no trail byte
    *out++ = static_cast<char>(s1);
    *out++ = static_cast<char>(s2);
    return out;
}

size_t ConvertEucJp(const unsigned char* p, const unsigned char* end, char* out) {
    char* start = out;
    while (p < end) {
        unsigned char c = *p;
        size_t left = static_cast<size_t>(end - p);
        if (c < 0x80) {
            *out++ = static_cast<char>(c);
            p += 1;
        } else if (c == 0x8E && left >= 2 && p[1] >= 0xA1 && p[1] <= 0xDF) {
            *out++ = static_cast<char>(p[1]);  // half-width katakana: the same byte
            p += 2;
        } else if (c == 0x8F && left >= 3 && IsEucByte(p[1]) && IsEucByte(p[2])) {
            *out++ = '?';  // JIS X 0212: no code page 932 form
            p += 3;
        } else if (IsEucByte(c) && left >= 2 && IsEucByte(p[1])) {
            out = PutJisAsShiftJis(c - 0x80u, p[1] - 0x80u, out);
            p += 2;
        } else {
            *out++ = '?';
            p += 1;
        }
    }
    return static_cast<size_t>(out - start);
}

int FindIn(const uint16_t (*rows)[2], size_t count, uint32_t codePoint) {
    size_t low = 0, high = count;
    while (low < high) {
        size_t middle = low + (high - low) / 2;
        if (rows[middle][0] < codePoint)
            low = middle + 1;
        else
            high = middle;
    }
    return low < count && rows[low][0] == codePoint ? rows[low][1] : -1;
}

// The command line's names, in CharsetMode's order.
const char* const kCharsetNames[kCharsetModes] = {"auto", "sjis", "utf8", "eucjp"};

}  // namespace

size_t WholeCharacterPrefix(const char* text, size_t length, size_t limit) {
    size_t fit = 0;
    while (fit < length) {
        size_t step = IsCp932LeadByte(static_cast<unsigned char>(text[fit])) && fit + 1 < length ? 2 : 1;
        if (fit + step > limit) break;
        fit += step;
    }
    return fit;
}

void CopyWholeCharacters(char* out, size_t size, const char* text) {
    if (size == 0) return;
    size_t n = WholeCharacterPrefix(text, strlen(text), size - 1);
    memcpy(out, text, n);
    out[n] = '\0';
}

void AppendWhole(BoundedText* text, const char* bytes, size_t count) {
    if (text->size == 0 || text->full) return;
    size_t fit = WholeCharacterPrefix(bytes, count, text->size - 1 - text->length);
    memcpy(text->out + text->length, bytes, fit);
    text->length += fit;
    text->out[text->length] = '\0';
    text->full = fit < count;
}

void AppendWhole(BoundedText* text, const char* bytes) {
    AppendWhole(text, bytes, strlen(bytes));
}

const char* CharsetName(CharsetMode mode) {
    return mode >= 0 && mode < kCharsetModes ? kCharsetNames[mode] : kCharsetNames[kCharsetAuto];
}

bool ParseCharsetName(const char* name, CharsetMode* mode) {
    for (int i = 0; i < kCharsetModes; ++i) {
        const char* a = name;
        const char* b = kCharsetNames[i];
        for (; *a && *b; ++a, ++b) {
            char lower = (*a >= 'A' && *a <= 'Z') ? static_cast<char>(*a - 'A' + 'a') : *a;
            if (lower != *b) break;
        }
        if (*a == '\0' && *b == '\0') {
            *mode = static_cast<CharsetMode>(i);
            return true;
        }
    }
    return false;
}

size_t ConvertToCp932(TextEncoding encoding, const char* text, size_t length, char* out) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    size_t written;
    switch (encoding) {
        case kTextUtf8:
            written = ConvertUtf8(p, p + length, out);
            break;
        case kTextEucJp:
            written = ConvertEucJp(p, p + length, out);
            break;
        default:
            memmove(out, text, length);
            written = length;
            break;
    }
    assert(written <= length);
    return written;
}

TextEncoding ConvertForView(CharsetMode mode, const char* text, size_t length, bool markedUtf8, char* out,
                            size_t* written) {
    *written = 0;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    TextEncoding encoding = kTextUtf8;
    switch (mode) {
        case kCharsetShiftJis:
            return kTextAsReceived;
        case kCharsetEucJp:
            encoding = kTextEucJp;
            break;
        case kCharsetUtf8:
            break;
        default:
            // A byte order mark decides without a look at the rest. Otherwise
            // the text is checked as it is converted: it stays as received at
            // the first broken sequence, or when it was ASCII throughout.
            if (markedUtf8 || HasByteOrderMark(p, p + length)) break;
            bool multiByte = false;
            size_t n = ConvertUtf8(p, p + length, out, true, &multiByte);
            if (n == kBroken || !multiByte) return kTextAsReceived;
            *written = n;
            return kTextUtf8;
    }
    *written = ConvertToCp932(encoding, text, length, out);
    return encoding;
}

int Cp932FromUnicode(uint32_t codePoint) {
    if (codePoint < 0x80) return static_cast<int>(codePoint);
    int code = FindIn(kLookAlikes, sizeof kLookAlikes / sizeof kLookAlikes[0], codePoint);
    if (code < 0 && codePoint <= 0xFFFF) code = FindIn(kCp932Table, kCp932TableSize, codePoint);
    return code;
}
