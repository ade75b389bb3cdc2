// The grammar of appended text with in-band codes (see the header for what it
// accepts): a single pass that turns codes into attribute bits at the write
// position and copies the text bytes.
#include "colorview/code_reader.h"

#include "colorview/color_codes.h"

int ReadCodedText(const unsigned char* in, CodedTextTarget* out, const LeadBytes* leadBytes) {
    char* text = out->text;
    unsigned char* flags = out->flags;
    unsigned char* colors = out->colors;
    int w = out->length;
    int lineFeeds = 0;
    int colorInForce = -1;  // colour byte a hot region returns to; -1: the defaults
    bool reverseOn = false, underlineOn = false, inHot = false, plain = false;

    while (*in) {
        unsigned char b = *in;
        if (b == kCodeBold || b == kCodeItalic || b == kCodeReverse) {
            if (b == kCodeReverse) reverseOn = !reverseOn;
            flags[w] ^= b == kCodeBold ? kAttrBold : b == kCodeItalic ? kAttrItalic : kAttrReverse;
            in++;
            continue;
        }
        if (b == kCodeUnderline) {
            underlineOn = !underlineOn;
            in++;
            if (!inHot || plain) {
                flags[w] ^= kAttrUnderline;
                continue;
            }
            // Inside a styled hot region the byte after the code is plain text.
            if (!*in) break;
            b = *in;
        } else if (b == kCodeColor) {
            in = reinterpret_cast<const unsigned char*>(
                ParseColorCommand(reinterpret_cast<const char*>(in + 1), &flags[w], &colors[w]));
            if (flags[w] & kAttrReset) {
                if (inHot && !plain && !reverseOn) {
                    flags[w] |= kAttrFore;  // the hot colour stays in force
                    colors[w] = kHotColorIndex;
                }
                colorInForce = -1;
            } else {
                colorInForce = colors[w];
            }
            continue;
        } else if (b == kCodeHot && !inHot && in[1] == kCodeHot) {
            in++;  // a doubled marker stands for one literal 0xFF byte
        } else if (b == kCodeHot && !inHot) {
            inHot = true;
            in++;
            plain = *in == kCodeColor;
            if (plain) {
                in++;
            } else {
                if (!underlineOn) flags[w] ^= kAttrUnderline;
                if (!reverseOn) {
                    flags[w] |= kAttrFore;
                    colors[w] = kHotColorIndex;
                }
            }
            continue;
        } else if (b == kCodeHot) {
            inHot = false;
            in++;
            if (!plain) {
                if (!underlineOn) flags[w] |= kAttrUnderline;
                if (!reverseOn) {
                    if (colorInForce < 0) {
                        flags[w] |= kAttrReset;
                    } else {
                        flags[w] |= kAttrFore;
                        colors[w] = static_cast<unsigned char>(colorInForce);
                    }
                }
            }
            plain = false;
            continue;
        }

        // A text byte.
        if (inHot) flags[w] |= kAttrHot;
        if (b == '\r' || b == '\n') {
            colorInForce = -1;
            reverseOn = underlineOn = false;
            lineFeeds += b == '\n';
        }
        text[w++] = static_cast<char>(b);
        if (IsPairIn(leadBytes, b, in[1])) {
            text[w++] = static_cast<char>(in[1]);
            in++;
        }
        in++;
    }
    text[w] = 0;
    out->length = w;
    return lineFeeds;
}
