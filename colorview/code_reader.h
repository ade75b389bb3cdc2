// The grammar of appended text: text bytes with in-band codes, read into
// text bytes and the two attribute bytes beside each of them. Pure code (no
// window headers), so that it builds natively and is fuzzed: datagram bytes
// reach it unchanged.
//
// What it accepts, byte by byte (A is the attribute pair at the write
// position, which the next text byte takes):
//   0x02, 0x14, 0x16   toggle bold, italic, reverse in A
//   0x1F               toggles underline in A; inside a styled hot region
//                      it writes nothing and the byte after it is text
//   0x03 fg[,bg]       a colour command (ParseColorCommand); without digits
//                      it resets both colours
//   0xFF 0xFF          outside a hot region: one literal 0xFF text byte
//   0xFF 0x03          outside a hot region: opens a plain one (no colour,
//                      no underline)
//   0xFF               outside a hot region: opens a styled one (underline
//                      and colour 12); inside one: closes it and puts back
//                      the underline and the colour in force before it
//   anything else      text; a lead byte and a following byte that is not
//                      NUL, CR or LF are one character, copied as a pair,
//                      so a trail byte is never read as a code
// Every byte string is accepted: there is no bad input. A hot region still
// open at the end simply ends there; a CR or LF forgets the colour in force,
// reverse and underline for the regions that follow.
#pragma once

#include "colorview/lead_bytes.h"

struct CodedTextTarget {
    char* text;             // text bytes go to text[length] on, then a NUL
    unsigned char* flags;   // attribute flags, one per text byte
    unsigned char* colors;  // colour indexes, one per text byte
    int length;             // the write position: updated to the new length
};

// Reads NUL-terminated `in` to the write position of `out`, whose buffers
// must hold length + strlen(in) + 1 bytes. Attribute bytes are written only
// from the old write position to the new one (inclusive: codes at the end
// wait there for the next text). Returns the line feeds written.
int ReadCodedText(const unsigned char* in, CodedTextTarget* out, const LeadBytes* leadBytes);
