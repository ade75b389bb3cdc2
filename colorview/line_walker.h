// The one walk through the characters of the view's text. Layout, painting,
// hit testing and the caret all step with it, so the double-byte rule, the
// lone carriage return, tab stops, the bold toggles and the run-width rule
// are applied in one place and the units cannot disagree on where a
// character stands.
#pragma once

#include "colorview/view_state.h"

struct LineWalker {
    ViewState* vs;
    // The character just taken.
    int pos;     // its offset
    int bytes;   // 2 for a double-byte pair, else 1
    int x;       // its left edge
    int width;   // 0 for CR and LF, whole tab stops for a tab
    int column;  // tab column at its left edge; a double-byte character counts 2
    int bold;    // the bold state it is measured in, its own toggle applied
    // Where the walk goes on; a caller that starts a new row (layout) sets
    // nextX and nextColumn itself.
    int next;
    int nextX;
    int nextColumn;
    int counted;  // counted bytes taken (CR and LF are not counted)
    int limit;    // counted bytes after which the walk ends
};

// Starts at offset `pos`, at x = leftMargin and column 0, in the bold state
// `bold`, ending after `limit` counted bytes or at the end of the text.
void StartWalk(LineWalker* w, ViewState* vs, int pos, int bold, int limit);

// Starts at the first byte of display line `line`, ending at its end.
void StartLineWalk(LineWalker* w, ViewState* vs, int line, int bold);

// Takes the next character: true with the fields above describing it, or
// false at the end, with `pos` and `x` then giving the end position and its x
// (for a display line, the position in front of its CR or LF).
// A line feed ends its logical line: the bold state after it is off.
bool TakeCharacter(LineWalker* w);
