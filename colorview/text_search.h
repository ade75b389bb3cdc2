// Finding text in the view's text: byte arithmetic only (no window headers),
// so that it builds natively and is tested fast. A match starts
// at a character start, never on the trail byte of a double-byte character,
// and covers whole characters; without kSearchMatchCase an ASCII letter of
// a one-byte character matches either case (never a trail byte, which would
// turn one double-byte character into another).
#pragma once

#include "colorview/lead_bytes.h"

enum : unsigned {
    kSearchBackward = 0x1,
    kSearchMatchCase = 0x2,
};

struct TextMatch {
    int start;     // -1 when there is no match
    int end;       // just after the match
    bool wrapped;  // found only by going round from the end to the start (or back)
};

// Finds `pattern` (NUL-terminated) in text[0, length), which has its NUL at
// `length`. Forward: the first match that starts at or after `selectionHigh`;
// if there is none, the first match from the start of the text. Backward: the
// last match that starts before `selectionLow`; if there is none, the last
// match of the text. An empty pattern matches nothing.
TextMatch FindText(const char* text, int length, const char* pattern, unsigned options, int selectionLow,
                   int selectionHigh, const LeadBytes* leadBytes);
