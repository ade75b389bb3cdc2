// The encoding rule of the view's character sets, written out plainly as
// the tests' reference: the program decides and converts in one pass
// (ConvertForView), and its answer must be this one.
#pragma once

#include <cstddef>
#include <cstring>

#include "syslog/charset.h"

// Whether the bytes are well-formed UTF-8 (the Unicode standard's table of
// well-formed sequences) holding at least one multi-byte sequence.
inline bool ReferenceMultiByteUtf8(const unsigned char* p, size_t length) {
    bool multiByte = false;
    for (size_t i = 0; i < length;) {
        unsigned c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t n;
        unsigned low = 0x80, high = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            n = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            n = 3;
            low = c == 0xE0 ? 0xA0 : 0x80;
            high = c == 0xED ? 0x9F : 0xBF;
        } else if (c >= 0xF0 && c <= 0xF4) {
            n = 4;
            low = c == 0xF0 ? 0x90 : 0x80;
            high = c == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (length - i < n || p[i + 1] < low || p[i + 1] > high) return false;
        for (size_t k = 2; k < n; ++k)
            if ((p[i + k] & 0xC0) != 0x80) return false;
        multiByte = true;
        i += n;
    }
    return multiByte;
}

// The encoding a message's text is taken as under `mode`. In the automatic
// mode: UTF-8 when the text starts with a UTF-8 byte order mark, when
// `markedUtf8` (the message's framing carried one), or when the whole text
// is valid UTF-8 with at least one multi-byte sequence; else as received.
inline TextEncoding ReferenceEncoding(CharsetMode mode, const char* text, size_t length, bool markedUtf8) {
    switch (mode) {
        case kCharsetShiftJis:
            return kTextAsReceived;
        case kCharsetUtf8:
            return kTextUtf8;
        case kCharsetEucJp:
            return kTextEucJp;
        default:
            break;
    }
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    if (markedUtf8 || (length >= 3 && memcmp(p, "\xEF\xBB\xBF", 3) == 0)) return kTextUtf8;
    return ReferenceMultiByteUtf8(p, length) ? kTextUtf8 : kTextAsReceived;
}
