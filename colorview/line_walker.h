// The one walk through the characters of the view's text. Layout, painting,
// hit testing and the caret all step with it, so the double-byte rule, the
// lone carriage return, tab stops, the bold toggles and the run-width rule
// are applied in one place and the units cannot disagree on where a
// character stands.
#pragma once

#include "colorview/color_codes.h"
#include "colorview/fonts.h"
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

// The end of the stretch from `pos` (a character start) whose characters
// take one avgCharWidth per byte in a fixed-pitch font while bold is off:
// characters other than NUL, CR, LF and tab, none carrying a bold toggle.
// Layout places such a stretch by arithmetic instead of character by
// character (most of the text is of this kind). `pos` when its character is
// not of the kind. `hasPairs` tells whether the stretch holds a double-byte
// character, which a row never splits.
int PlainStretchEnd(const ViewState* vs, int pos, bool* hasPairs);

// Takes the next character: true with the fields above describing it, or
// false at the end, with `pos` and `x` then giving the end position and its x
// (for a display line, the position in front of its CR or LF).
// A line feed ends its logical line: the bold state after it is off.
// Inline: layout takes every character of the text on a width change.
inline bool TakeCharacter(LineWalker* w) {
    ViewState* vs = w->vs;
    w->pos = w->next;
    w->x = w->nextX;
    w->column = w->nextColumn;
    w->bytes = w->width = 0;
    const char c = vs->text[w->pos];
    if (w->counted >= w->limit || c == 0) return false;

    // Attributes count at character starts only: a bold code that landed on
    // a trail byte lies inside its character and switches nothing.
    if (vs->attrFlags[w->pos] & kAttrBold) w->bold = !w->bold;
    if (c == '\r' || c == '\n') {
        w->bytes = 1;  // no room, not counted
    } else if (c == '\t') {
        int columns = vs->tabWidth - w->column % vs->tabWidth;
        w->bytes = 1;
        w->width = columns * vs->avgCharWidth;
        w->nextColumn = w->column + columns;
    } else {
        w->bytes = CharBytes(vs, w->pos);
        w->width = RunWidth(vs, w->pos, w->bytes, w->bold);
        w->nextColumn = w->column + w->bytes;
    }
    if (c != '\r' && c != '\n') w->counted += w->bytes;
    w->next = w->pos + w->bytes;
    w->nextX = w->x + w->width;
    if (c == '\n') {
        // The logical line ends: the next character starts a row in plain.
        w->nextX = vs->leftMargin;
        w->nextColumn = 0;
        w->bold = 0;
    }
    return true;
}
