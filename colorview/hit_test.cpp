// Hit testing: the text position a caret would take at a client point. It
// steps through the target line with the same walker as layout and painting,
// in the bold state the line's logical line has reached there, so a click
// lands on the character painted under it.
#include "colorview/hit_test.h"

#include "colorview/line_walker.h"

int PositionFromPoint(HWND, ViewState* vs, int x, int y) {
    int target = LineAtY(vs, y);
    if (target < 0) return 0;
    if (target >= vs->lineCount) return vs->length;

    // Position k is the answer while x is at or right of X(k) - avgCharWidth / 2,
    // X(k) being the left edge of its character as painting places it. A
    // carriage return inside the line takes no room: the position after it wins.
    const int half = vs->avgCharWidth / 2;
    LineWalker w;
    StartLineWalk(&w, vs, target, BoldAt(vs, vs->lineStart[target]));
    int candidate = w.pos;
    while (TakeCharacter(&w)) {
        if (w.x - half > x) return candidate;
        candidate = w.pos;
    }
    // The line's end position: in front of its line break, or at the start
    // of the next display line after a soft wrap.
    return w.x - half > x ? candidate : w.pos;
}
