// libFuzzer target for the grammar of appended text: arbitrary bytes read
// into exactly sized buffers, with code page 932's lead bytes.
//  - Codes that steer the grammar never reach the text: a code byte at a
//    character start of the text is a literal 0xFF or lies in a hot region
//    (where the byte after an underline code is text).
//  - One attribute pair per text byte: nothing is written outside the
//    stretch from the old write position to the new one.
//  - The same bytes without any code byte come through unchanged, and leave
//    the attributes alone.
// Input: [1 byte of attribute flags pending at the write position] then the text.
#include "colorview/code_reader.h"
#include "colorview/color_codes.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "tests/cp932_lead_bytes.h"
#include "tests/fuzz/fuzz_target.h"

extern const char kTargetName[] = "code reader";

namespace {

const LeadBytes kLeadBytes = CodePage932();

bool IsCode(unsigned char b) {
    return b == kCodeBold || b == kCodeColor || b == kCodeItalic || b == kCodeReverse || b == kCodeUnderline ||
           b == kCodeHot;
}

const int kBefore = 3;                  // text already in the buffers
const unsigned char kUntouched = 0xA5;  // attribute bytes the reader must not write

// Reads `in` (with its NUL) behind kBefore bytes of text, into exactly sized
// buffers, and checks the bounds of what it wrote. Returns the text from the
// old write position with its NUL, the attribute bytes from there to the new
// write position, and the line feeds counted.
struct Read {
    std::vector<unsigned char> text, flags, colors;
    int lineFeeds;
};
Read ReadInto(const std::vector<unsigned char>& in, unsigned char pending) {
    const size_t room = kBefore + in.size();
    std::vector<unsigned char> text(room, 'x'), flags(room + 1, kUntouched), colors(room + 1, kUntouched);
    std::fill(flags.begin() + kBefore, flags.end() - 1, 0);
    std::fill(colors.begin() + kBefore, colors.end() - 1, 0);
    flags[kBefore] = pending;
    CodedTextTarget target = {reinterpret_cast<char*>(text.data()), flags.data(), colors.data(), kBefore};
    Read r;
    r.lineFeeds = ReadCodedText(in.data(), &target, &kLeadBytes);
    const size_t end = static_cast<size_t>(target.length);
    Check(end >= kBefore && end < room, "no more text than input");
    Check(text[end] == 0 && strlen(reinterpret_cast<char*>(&text[kBefore])) == end - kBefore, "one NUL, at the end");
    for (size_t i = 0; i <= room; i++) {
        bool written = i >= kBefore && i <= end;
        Check(i >= kBefore || text[i] == 'x', "the text before stays");
        Check(written || flags[i] == (i < kBefore || i == room ? kUntouched : 0), "no flag written outside");
        Check(written || colors[i] == (i < kBefore || i == room ? kUntouched : 0), "no colour written outside");
    }
    r.text.assign(text.begin() + kBefore, text.begin() + end + 1);
    r.flags.assign(flags.begin() + kBefore, flags.begin() + end + 1);
    r.colors.assign(colors.begin() + kBefore, colors.begin() + end + 1);
    return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    // Only codes leave attributes pending; the hot bit comes with text bytes.
    const unsigned char pending = data[0] & ~kAttrHot;
    std::vector<unsigned char> in(data + 1, data + size);
    in.erase(std::remove(in.begin(), in.end(), 0), in.end());
    in.push_back(0);

    Read r = ReadInto(in, pending);
    int lineFeeds = 0;
    const char* text = reinterpret_cast<const char*>(r.text.data());
    for (int i = 0; text[i]; i += CharBytesIn(&kLeadBytes, text, i)) {
        unsigned char b = r.text[i];
        lineFeeds += b == '\n';
        if (IsCode(b)) Check(b == kCodeHot || (r.flags[i] & kAttrHot), "a code byte in the text");
    }
    Check(lineFeeds == r.lineFeeds, "the line feeds counted are those written");

    // Without code bytes the text comes through as it is.
    std::vector<unsigned char> plain;
    for (unsigned char b : in)
        if (!IsCode(b)) plain.push_back(b);
    Read p = ReadInto(plain, pending);
    Check(p.text == plain, "plain text unchanged");
    Check(p.flags[0] == pending && p.colors[0] == 0, "the pending attributes stay on the first byte");
    for (size_t i = 1; i < p.flags.size(); i++) Check(p.flags[i] == 0 && p.colors[i] == 0, "plain text styles nothing");
    return 0;
}
